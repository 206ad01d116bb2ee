#pragma once
// The prepared statements of one attachment. Each "?" of a statement text is prepared as
// cast(? as varchar(n) character set <the attachment's>): every value arrives as a text, and the
// server converts it as it converts a quoted text literal (to the column's type where it is
// assigned, as a text where it is compared), with the same results and errors. A text is
// prepared once (once more for values longer than 256 bytes) and the 128 statements used last
// are kept. Texts that are not worth keeping (DDL) run as they are, without values.
#include "import/db/firebird/firebird_fields.h"
#include "import/db/row_recordset.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <list>

namespace fb {

class StatementCache {
public:
    StatementCache(Firebird::IUtil* util, Firebird::ThrowStatusWrapper& status, Firebird::IAttachment* attachment,
                   bool utf8);
    // Frees the kept statements: before the attachment is detached.
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // Runs a statement in `tra`; its text and values in the attachment's character set. Throws
    // FbException, or a Failure when the values do not fit its "?".
    void execute(Firebird::ITransaction* tra, const QByteArray& text, const QList<QByteArray>& values);
    // Runs a select in `tra` and reads its first row, if any, into `row`.
    bool fetchFirst(Firebird::ITransaction* tra, const QByteArray& text, const QList<QByteArray>& values,
                    RowRecordset::Row& row);

private:
    struct Prepared {
        QByteArray key;
        Firebird::IStatement* statement;
        Firebird::IMessageMetadata* input;   // the casts' texts, in order
        unsigned type;
    };

    // The kept statement for the text and the lengths of its values, prepared when missing;
    // null for a text not worth keeping (then run as it is).
    Prepared* prepared(Firebird::ITransaction* tra, const QByteArray& text, const QList<QByteArray>& values);
    QByteArray bind(const Prepared& p, const QList<QByteArray>& values);
    void release(Prepared& p) noexcept;
    void clear() noexcept;
    void evict(QByteArray key) noexcept;   // a copy: the kept one goes with the entry

    Firebird::ThrowStatusWrapper& status_;
    Firebird::IAttachment* attachment_;
    bool utf8_;
    FieldReader fields_;
    // The kept statements, the most recently used first.
    std::list<Prepared> statements_;
    QHash<QByteArray, std::list<Prepared>::iterator> index_;
};

} // namespace fb
