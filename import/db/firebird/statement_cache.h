#pragma once
// Statements of the same shape share one prepared statement: the single-quoted literals of a text
// become "?" parameters bound as VARCHARs of the attachment's character set, so the server
// converts them as it converts literals. The cache belongs to one attachment and keeps the 128
// statements used last. A text that does not prepare that way, DDL, and values that do not
// convert to the parameter's type run as the text itself, with the results and errors of literals.
#include "import/db/firebird/firebird_fields.h"
#include "import/db/row_recordset.h"

#include <QByteArray>
#include <QHash>
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

    // Runs a statement, its text in the attachment's character set, in `tra`. Throws FbException.
    void execute(Firebird::ITransaction* tra, const QByteArray& text);
    // Runs a select in `tra` and reads its first row, if any, into `row`. Throws FbException.
    bool fetchFirst(Firebird::ITransaction* tra, const QByteArray& text, RowRecordset::Row& row);

private:
    struct Bound;

    struct CachedStatement {
        QByteArray key;
        Firebird::IStatement* statement;   // null: this shape does not take parameters, run the text as it is
        unsigned type;
    };

    void freeStatement(Firebird::IStatement* statement) noexcept;
    void clear() noexcept;
    void evict(const QByteArray& key) noexcept;
    void remember(const QByteArray& key, Firebird::IStatement* statement, unsigned type);
    bool takesParameters(Firebird::IStatement* statement, qsizetype count);
    bool bind(Firebird::ITransaction* tra, const QByteArray& text, Bound& bound);

    Firebird::ThrowStatusWrapper& status_;
    Firebird::IAttachment* attachment_;
    bool utf8_;
    FieldReader fields_;
    // Prepared statements by shape, the most recently used first.
    std::list<CachedStatement> statements_;
    QHash<QByteArray, std::list<CachedStatement>::iterator> statementIndex_;
};

} // namespace fb
