#include "import/db/firebird/firebird_connection.h"

#include "core/text_codec.h"
#include "import/db/row_recordset.h"
#include "import/sql_text.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <QHash>
#include <algorithm>
#include <cstring>
#include <list>
#include <type_traits>
#include <utility>

using namespace Firebird;

namespace {

constexpr unsigned kCharsetOctets = 1;
constexpr unsigned kCharsetUtf8 = 4;
constexpr unsigned kCharsetWin1252 = 53;
// The longest VARCHAR a message can carry.
constexpr qsizetype kMaxParameterBytes = 32765;
// Prepared statements kept per attachment.
constexpr std::size_t kStatementCacheSize = 128;

// A statement text with its single-quoted string literals turned into "?" parameters, and the
// literal values in order ('' inside a literal is one apostrophe). The import splices every value
// between quotes, so statements of the same shape share one prepared statement.
struct Shape {
    QByteArray text;
    QList<QByteArray> values;
    bool ok = false;   // false: the text is left as it is
};

bool isIdentifierByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

// Works on the text already in the attachment's character set: in Windows-1252 and in UTF-8 the
// bytes of ' " - / * are never part of another character.
Shape parameterize(const QByteArray& sql)
{
    Shape shape;
    shape.text.reserve(sql.size());
    const qsizetype n = sql.size();
    const char* s = sql.constData();
    qsizetype i = 0;
    while (i < n) {
        const char c = s[i];
        if (c == '"') {
            // A quoted identifier ("" inside) is copied as it stands.
            qsizetype j = i + 1;
            for (;; ++j) {
                if (j >= n)
                    return {};
                if (s[j] == '"') {
                    if (j + 1 < n && s[j + 1] == '"') {
                        ++j;
                        continue;
                    }
                    break;
                }
            }
            shape.text.append(s + i, j + 1 - i);
            i = j + 1;
        } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            qsizetype j = sql.indexOf('\n', i);
            if (j < 0)
                j = n;
            shape.text.append(s + i, j - i);
            i = j;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            const qsizetype j = sql.indexOf("*/", i + 2);
            if (j < 0)
                return {};
            shape.text.append(s + i, j + 2 - i);
            i = j + 2;
        } else if (c == '\'') {
            // A literal glued to a word (_WIN1252'x', X'41', Q'{...}') is not a plain value.
            if (i > 0 && isIdentifierByte(s[i - 1]))
                return {};
            QByteArray value;
            qsizetype j = i + 1;
            for (;; ++j) {
                if (j >= n)
                    return {};
                if (s[j] == '\'') {
                    if (j + 1 < n && s[j + 1] == '\'') {
                        value.append('\'');
                        ++j;
                        continue;
                    }
                    break;
                }
                value.append(s[j]);
            }
            if (value.size() > kMaxParameterBytes)
                return {};
            shape.values.append(value);
            shape.text.append('?');
            i = j + 1;
        } else {
            shape.text.append(c);
            ++i;
        }
    }
    shape.ok = true;
    return shape;
}

bool isCacheable(unsigned type)
{
    switch (type) {
    case isc_info_sql_stmt_select:
    case isc_info_sql_stmt_select_for_upd:
    case isc_info_sql_stmt_insert:
    case isc_info_sql_stmt_update:
    case isc_info_sql_stmt_delete:
    case isc_info_sql_stmt_exec_procedure:
        return true;
    default:
        return false;
    }
}

bool isSelect(unsigned type)
{
    return type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
}

// Releases an interface on scope exit unless it was handed over (set to null) by a successful
// close()/free()/commit()/rollback()/detach(), which release it themselves.
template <typename T>
struct Held {
    T* p = nullptr;
    Held() = default;
    explicit Held(T* q) : p(q) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { reset(); }
    void reset()
    {
        if (p) {
            if constexpr (std::is_base_of_v<IReferenceCounted, T>)
                p->release();
            else
                p->dispose();
        }
        p = nullptr;
    }
    T* operator->() const { return p; }
    T* get() const { return p; }
    T* take() { return std::exchange(p, nullptr); }
};

// Digits of a scaled integer written exactly: 15090 with scale -2 is "150.90".
QString scaledText(qint64 value, int scale)
{
    const bool negative = value < 0;
    // Work on the magnitude as unsigned so the smallest INT64 has one too.
    const quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
    QString digits = QString::number(magnitude);
    if (scale > 0) {
        digits.append(QString(scale, QLatin1Char('0')));
    } else if (scale < 0) {
        const int decimals = -scale;
        if (digits.size() <= decimals)
            digits.prepend(QString(decimals - digits.size() + 1, QLatin1Char('0')));
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
    }
    if (negative)
        digits.prepend(QLatin1Char('-'));
    return digits;
}

class FirebirdConnection final : public IConnection {
public:
    FirebirdConnection(const QString& database, const QString& user, const QString& password)
        : master_(fb_get_master_interface()),
          util_(master_->getUtilInterface()),
          status_(master_->getStatus()),
          description_(QStringLiteral("Firebird ") + database)
    {
        try {
            provider_ = master_->getDispatcher();
            attach(database, user, password, false);
            const QString charset = databaseCharset();
            if (charset == QLatin1String("UTF8") || charset == QLatin1String("UNICODE_FSS")) {
                detach();
                attach(database, user, password, true);
            }
        } catch (...) {
            cleanUp();
            throw;
        }
    }

    ~FirebirdConnection() override { cleanUp(); }

    void execute(const QString& sql) override
    {
        const QByteArray text = encode(sql);
        run([&](ITransaction* tra) {
            Bound bound;
            if (bind(tra, text, bound) && !isSelect(bound.type)) {
                try {
                    bound.statement->execute(&status_, tra, bound.meta.get(), bound.buffer.data(), nullptr, nullptr);
                    return;
                } catch (const FbException& e) {
                    if (!valuesDidNotConvert(e)) {
                        evict(bound.key);
                        throw;
                    }
                }
            }
            attachment_->execute(&status_, tra, text.size(), text.constData(), SQL_DIALECT_V6,
                                 nullptr, nullptr, nullptr, nullptr);
        });
    }

    std::unique_ptr<IRecordset> open(const QString& sql) override
    {
        const QByteArray text = encode(sql);
        RowRecordset::Row row;
        bool hasRow = false;
        run([&](ITransaction* tra) { hasRow = fetchFirst(tra, text, row); }, true);
        return std::make_unique<RowRecordset>(std::move(row), hasRow);
    }

    void begin() override
    {
        if (transaction_)
            throw DatabaseError(QStringLiteral("Já existe uma transação aberta nesta conexão."));
        transaction_ = guarded([&] { return startTransaction(); });
    }

    void commit() override
    {
        if (!transaction_)
            throw DatabaseError(QStringLiteral("Nenhuma transação aberta para confirmar."));
        ITransaction* tra = std::exchange(transaction_, nullptr);
        commitOrDiscard(tra);
    }

    void rollback() override
    {
        if (ITransaction* tra = std::exchange(transaction_, nullptr))
            discard(tra);
    }

    bool inTransaction() const override { return transaction_ != nullptr; }

    QString description() const override { return description_; }

    void setWarningHandler(std::function<void(const QString&)> handler) override { warn_ = std::move(handler); }

private:
    [[noreturn]] void raise(const FbException& e) const
    {
        char buffer[2048];
        util_->formatStatus(buffer, sizeof buffer, e.getStatus());
        const int code = int(isc_sqlcode(e.getStatus()->getErrors()));
        // Server texts come in the attachment's character set.
        QString message = utf8_ ? QString::fromUtf8(buffer) : text::fromCp1252(QByteArray(buffer));
        throw DatabaseError(message.trimmed(), code);
    }

    template <typename F>
    auto guarded(F&& f) -> decltype(f())
    {
        try {
            return f();
        } catch (const FbException& e) {
            raise(e);
        }
    }

    void attach(const QString& database, const QString& user, const QString& password, bool utf8)
    {
        guarded([&] {
            Held<IXpbBuilder> dpb(util_->getXpbBuilder(&status_, IXpbBuilder::DPB, nullptr, 0));
            if (!user.isEmpty())
                dpb->insertString(&status_, isc_dpb_user_name, user.toUtf8().constData());
            if (!password.isEmpty())
                dpb->insertString(&status_, isc_dpb_password, password.toUtf8().constData());
            dpb->insertString(&status_, isc_dpb_lc_ctype, utf8 ? "UTF8" : "WIN1252");
            dpb->insertInt(&status_, isc_dpb_sql_dialect, SQL_DIALECT_V6);
            // The file name goes to the client library in the system's encoding (UTF-8 here).
            const QByteArray name = database.toUtf8();
            attachment_ = provider_->attachDatabase(&status_, name.constData(), dpb->getBufferLength(&status_),
                                                    dpb->getBuffer(&status_));
        });
        utf8_ = utf8;
    }

    void detach()
    {
        if (transaction_)
            discard(std::exchange(transaction_, nullptr));
        clearStatements();
        if (!attachment_)
            return;
        try {
            attachment_->detach(&status_);
        } catch (const FbException&) {
            attachment_->release();
        }
        attachment_ = nullptr;
    }

    void cleanUp()
    {
        detach();
        if (provider_) {
            provider_->release();
            provider_ = nullptr;
        }
        status_.dispose();
    }

    QString databaseCharset()
    {
        auto rs = open(QStringLiteral("select trim(rdb$character_set_name) as cs from rdb$database"));
        if (rs->eof())
            return QString();
        return rs->field(QStringLiteral("cs")).text.trimmed().toUpper();
    }

    // Read committed, record versions, waiting at most a minute for a locked row: the ERP is
    // used by people at the same time. A read-only one (a lone select) is cheap to start and to
    // commit: it writes nothing to the database.
    ITransaction* startTransaction(bool readOnly = false)
    {
        Held<IXpbBuilder> tpb(util_->getXpbBuilder(&status_, IXpbBuilder::TPB, nullptr, 0));
        tpb->insertTag(&status_, readOnly ? isc_tpb_read : isc_tpb_write);
        tpb->insertTag(&status_, isc_tpb_read_committed);
        tpb->insertTag(&status_, isc_tpb_rec_version);
        tpb->insertTag(&status_, isc_tpb_wait);
        tpb->insertInt(&status_, isc_tpb_lock_timeout, 60);
        return attachment_->startTransaction(&status_, tpb->getBufferLength(&status_), tpb->getBuffer(&status_));
    }

    // Rolls back and releases, never throws.
    void discard(ITransaction* tra) noexcept
    {
        try {
            tra->rollback(&status_);
        } catch (const FbException&) {
            tra->release();
        }
    }

    // Commits and releases; a failing commit is rolled back, released and raised.
    void commitOrDiscard(ITransaction* tra)
    {
        try {
            tra->commit(&status_);
        } catch (const FbException& e) {
            discard(tra);
            raise(e);
        }
    }

    // Runs `work` in the explicit transaction, or in one of its own committed at once.
    template <typename Work>
    void run(Work&& work, bool readOnly = false)
    {
        if (transaction_) {
            guarded([&] { work(transaction_); });
            return;
        }
        ITransaction* tra = guarded([&] { return startTransaction(readOnly); });
        try {
            work(tra);
        } catch (const FbException& e) {
            discard(tra);
            raise(e);
        } catch (...) {
            discard(tra);
            throw;
        }
        commitOrDiscard(tra);
    }

    QByteArray encode(const QString& sql)
    {
        if (utf8_)
            return sql.toUtf8();
        QString replaced;
        QByteArray bytes = text::toCp1252(sql, &replaced);
        if (!replaced.isEmpty() && warn_) {
            QStringList list;
            for (qsizetype i = 0; i < replaced.size(); ++i) {
                // Surrogate pairs stay together.
                if (replaced[i].isHighSurrogate() && i + 1 < replaced.size())
                    list << replaced.mid(i++, 2);
                else
                    list << QString(replaced[i]);
            }
            warn_(QStringLiteral("Caracteres sem representação no banco de dados (Windows-1252) gravados como \"?\": %1")
                      .arg(list.join(QStringLiteral(" "))));
        }
        return bytes;
    }

    QString decodeText(const char* data, unsigned length, unsigned charset) const
    {
        const QByteArray bytes(data, length);
        if (charset == kCharsetOctets)
            return QString::fromLatin1(bytes);
        return utf8_ ? QString::fromUtf8(bytes) : text::fromCp1252(bytes);
    }

    QString readBlob(ITransaction* tra, const ISC_QUAD* id, unsigned charset)
    {
        ISC_QUAD blobId = *id;
        Held<IBlob> blob(attachment_->openBlob(&status_, tra, &blobId, 0, nullptr));
        QByteArray bytes;
        char buffer[16384];
        for (;;) {
            unsigned got = 0;
            const int result = blob->getSegment(&status_, sizeof buffer, buffer, &got);
            if (result == IStatus::RESULT_OK || result == IStatus::RESULT_SEGMENT)
                bytes.append(buffer, got);
            else
                break;
        }
        blob->close(&status_);
        blob.take();
        return decodeText(bytes.constData(), unsigned(bytes.size()), charset);
    }

    Field readField(ITransaction* tra, IMessageMetadata* meta, unsigned i, const unsigned char* buffer)
    {
        Field f;
        if (meta->isNullable(&status_, i)
            && *reinterpret_cast<const ISC_SHORT*>(buffer + meta->getNullOffset(&status_, i)) == -1) {
            f.kind = Field::Kind::Null;
            return f;
        }
        const unsigned char* data = buffer + meta->getOffset(&status_, i);
        const unsigned type = meta->getType(&status_, i) & ~1u;
        const int scale = meta->getScale(&status_, i);
        const unsigned charset = meta->getCharSet(&status_, i);
        auto integer = [&](qint64 v) {
            f.kind = scale < 0 ? Field::Kind::Decimal : Field::Kind::Integer;
            f.text = scaledText(v, scale);
        };
        switch (type) {
        case SQL_VARYING: {
            ISC_USHORT length;
            std::memcpy(&length, data, sizeof length);
            f.kind = charset == kCharsetOctets ? Field::Kind::Other : Field::Kind::Text;
            f.text = decodeText(reinterpret_cast<const char*>(data) + sizeof length, length, charset);
            break;
        }
        case SQL_TEXT: {
            const unsigned length = meta->getLength(&status_, i);
            f.kind = charset == kCharsetOctets ? Field::Kind::Other : Field::Kind::Text;
            f.text = decodeText(reinterpret_cast<const char*>(data), length, charset);
            // A UTF8 CHAR(n) arrives as 4n bytes padded with blanks: keep n characters.
            if (utf8_ && charset == kCharsetUtf8 && f.text.size() > qsizetype(length / 4)) {
                const QString tail = f.text.mid(length / 4);
                if (tail.trimmed().isEmpty())
                    f.text.truncate(length / 4);
            }
            break;
        }
        case SQL_SHORT: {
            ISC_SHORT v;
            std::memcpy(&v, data, sizeof v);
            integer(v);
            break;
        }
        case SQL_LONG: {
            ISC_LONG v;
            std::memcpy(&v, data, sizeof v);
            integer(v);
            break;
        }
        case SQL_INT64: {
            ISC_INT64 v;
            std::memcpy(&v, data, sizeof v);
            integer(v);
            break;
        }
        case SQL_FLOAT: {
            float v;
            std::memcpy(&v, data, sizeof v);
            f.kind = Field::Kind::Decimal;
            f.text = sql::regionalNumber(double(v));
            break;
        }
        case SQL_DOUBLE:
        case SQL_D_FLOAT: {
            double v;
            std::memcpy(&v, data, sizeof v);
            f.kind = Field::Kind::Decimal;
            f.text = sql::regionalNumber(v);
            break;
        }
        case SQL_TYPE_DATE: {
            ISC_DATE v;
            std::memcpy(&v, data, sizeof v);
            unsigned y, m, d;
            util_->decodeDate(v, &y, &m, &d);
            f.kind = Field::Kind::Other;
            f.text = QStringLiteral("%1-%2-%3").arg(y, 4, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'));
            break;
        }
        case SQL_TYPE_TIME: {
            ISC_TIME v;
            std::memcpy(&v, data, sizeof v);
            unsigned h, mi, s, fr;
            util_->decodeTime(v, &h, &mi, &s, &fr);
            f.kind = Field::Kind::Other;
            f.text = QStringLiteral("%1:%2:%3").arg(h, 2, 10, QLatin1Char('0')).arg(mi, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
            break;
        }
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP v;
            std::memcpy(&v, data, sizeof v);
            unsigned y, m, d, h, mi, s, fr;
            util_->decodeDate(v.timestamp_date, &y, &m, &d);
            util_->decodeTime(v.timestamp_time, &h, &mi, &s, &fr);
            f.kind = Field::Kind::Other;
            f.text = QStringLiteral("%1-%2-%3 %4:%5:%6")
                         .arg(y, 4, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'))
                         .arg(h, 2, 10, QLatin1Char('0')).arg(mi, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
            break;
        }
        case SQL_BOOLEAN:
            f.kind = Field::Kind::Other;
            f.text = *data ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            break;
        case SQL_BLOB: {
            ISC_QUAD id;
            std::memcpy(&id, data, sizeof id);
            const bool isText = meta->getSubType(&status_, i) == 1;
            f.kind = isText ? Field::Kind::Text : Field::Kind::Other;
            f.text = readBlob(tra, &id, isText ? charset : kCharsetOctets);
            break;
        }
        case SQL_NULL:
            f.kind = Field::Kind::Null;
            break;
        default:
            f.kind = Field::Kind::Other;
            break;
        }
        return f;
    }

    // A prepared statement with its parameters bound, ready to run.
    struct Bound {
        IStatement* statement = nullptr;   // owned by the cache
        unsigned type = 0;
        QByteArray key;
        Held<IMessageMetadata> meta;
        QByteArray buffer;
    };

    struct CachedStatement {
        QByteArray key;
        IStatement* statement;   // null: this shape does not take parameters, run the text as it is
        unsigned type;
    };

    // Frees a statement, never throws.
    void freeStatement(IStatement* statement) noexcept
    {
        if (!statement)
            return;
        try {
            statement->free(&status_);
        } catch (const FbException&) {
            statement->release();
        }
    }

    void clearStatements() noexcept
    {
        for (CachedStatement& entry : statements_)
            freeStatement(entry.statement);
        statements_.clear();
        statementIndex_.clear();
    }

    void evict(const QByteArray& key) noexcept
    {
        const auto it = statementIndex_.find(key);
        if (it == statementIndex_.end())
            return;
        freeStatement(it.value()->statement);
        statements_.erase(it.value());
        statementIndex_.erase(it);
    }

    void remember(const QByteArray& key, IStatement* statement, unsigned type)
    {
        while (statements_.size() >= kStatementCacheSize) {
            freeStatement(statements_.back().statement);
            statementIndex_.remove(statements_.back().key);
            statements_.pop_back();
        }
        statements_.push_front({key, statement, type});
        statementIndex_.insert(key, statements_.begin());
    }

    // A value that does not fit the type the server gave its parameter ('SPX' for a VARCHAR(2)
    // column, '' for an INTEGER) fails before the statement runs, as "Dynamic SQL Error" -303.
    // The statement text itself then runs instead: a literal may be fine where a parameter is not
    // (uf = 'SPX' is simply false), and a failing one fails with its own error and SQLCODE.
    static bool valuesDidNotConvert(const FbException& e)
    {
        const ISC_STATUS* errors = e.getStatus()->getErrors();
        return errors[0] == isc_arg_gds && errors[1] == isc_dsql_error && isc_sqlcode(errors) == -303;
    }

    // True when the prepared statement takes exactly the literals as parameters, of types a
    // string converts to as a literal does.
    bool takesParameters(IStatement* statement, qsizetype count)
    {
        Held<IMessageMetadata> in(statement->getInputMetadata(&status_));
        if (in->getCount(&status_) != unsigned(count))
            return false;
        for (unsigned i = 0; i < unsigned(count); ++i) {
            const unsigned type = in->getType(&status_, i) & ~1u;
            if (type == SQL_BLOB || type == SQL_ARRAY || type == SQL_NULL)
                return false;
        }
        return true;
    }

    // Finds or prepares the statement of the text's shape and binds the literal values to it as
    // VARCHARs of the attachment's character set, so the server converts them to the column types
    // just as it converts string literals. False: run the text as it is (a shape that does not
    // prepare with parameters, or a statement that is not worth keeping, such as DDL).
    bool bind(ITransaction* tra, const QByteArray& text, Bound& bound)
    {
        Shape shape = parameterize(text);
        if (!shape.ok)
            return false;
        const auto found = statementIndex_.find(shape.text);
        if (found != statementIndex_.end()) {
            statements_.splice(statements_.begin(), statements_, found.value());
            if (!found.value()->statement)
                return false;
            bound.statement = found.value()->statement;
            bound.type = found.value()->type;
        } else {
            IStatement* statement = nullptr;
            try {
                statement = attachment_->prepare(&status_, tra, shape.text.size(), shape.text.constData(),
                                                 SQL_DIALECT_V6, IStatement::PREPARE_PREFETCH_METADATA);
                const unsigned type = statement->getType(&status_);
                if (!isCacheable(type)) {
                    // DDL and the like: run as before, and let go of the kept statements, whose
                    // locks on tables would get in its way.
                    freeStatement(statement);
                    clearStatements();
                    return false;
                }
                if (!takesParameters(statement, shape.values.size())) {
                    freeStatement(statement);
                    statement = nullptr;
                } else {
                    bound.type = type;
                }
            } catch (const FbException&) {
                freeStatement(statement);
                statement = nullptr;
            }
            if (!statement) {
                // Remembered as not taking parameters once the text itself prepares; a text that
                // fails either way is left to fail as it did.
                Held<IStatement> original(attachment_->prepare(&status_, tra, text.size(), text.constData(),
                                                               SQL_DIALECT_V6, 0));
                original->free(&status_);
                original.take();
                remember(shape.text, nullptr, 0);
                return false;
            }
            remember(shape.text, statement, bound.type);
            bound.statement = statement;
        }
        bound.key = std::move(shape.text);
        try {
            const unsigned count = unsigned(shape.values.size());
            Held<IMessageMetadata> in(bound.statement->getInputMetadata(&status_));
            Held<IMetadataBuilder> builder(in->getBuilder(&status_));
            const unsigned charset = utf8_ ? kCharsetUtf8 : kCharsetWin1252;
            for (unsigned i = 0; i < count; ++i) {
                const qsizetype bytes = shape.values[i].size();
                // A UTF-8 character takes up to four bytes: room for as many characters as bytes.
                const qsizetype room = std::min(kMaxParameterBytes, std::max<qsizetype>(1, bytes) * (utf8_ ? 4 : 1));
                builder->setType(&status_, i, SQL_VARYING + 1);
                builder->setSubType(&status_, i, 0);
                builder->setScale(&status_, i, 0);
                builder->setCharSet(&status_, i, charset);
                builder->setLength(&status_, i, unsigned(room));
            }
            bound.meta.p = builder->getMetadata(&status_);
            bound.buffer = QByteArray(int(bound.meta->getMessageLength(&status_)), '\0');
            char* data = bound.buffer.data();
            for (unsigned i = 0; i < count; ++i) {
                const QByteArray& value = shape.values[i];
                const ISC_USHORT length = ISC_USHORT(value.size());
                char* field = data + bound.meta->getOffset(&status_, i);
                std::memcpy(field, &length, sizeof length);
                std::memcpy(field + sizeof length, value.constData(), std::size_t(value.size()));
                const ISC_SHORT notNull = 0;
                std::memcpy(data + bound.meta->getNullOffset(&status_, i), &notNull, sizeof notNull);
            }
        } catch (const FbException&) {
            evict(bound.key);
            throw;
        }
        return true;
    }

    // Prepares (or takes the kept statement) and opens the select, reads its first row (if any)
    // into `row`, closes it.
    bool fetchFirst(ITransaction* tra, const QByteArray& text, RowRecordset::Row& row)
    {
        Bound bound;
        if (bind(tra, text, bound)) {
            try {
                return fetchFirst(tra, bound.statement, bound.meta.get(), bound.buffer.data(), row);
            } catch (const FbException& e) {
                if (!valuesDidNotConvert(e)) {
                    evict(bound.key);
                    throw;
                }
                row.clear();
            }
        }
        Held<IStatement> own(attachment_->prepare(&status_, tra, text.size(), text.constData(), SQL_DIALECT_V6,
                                                  IStatement::PREPARE_PREFETCH_METADATA));
        const bool hasRow = fetchFirst(tra, own.get(), nullptr, nullptr, row);
        own->free(&status_);
        own.take();
        return hasRow;
    }

    bool fetchFirst(ITransaction* tra, IStatement* statement, IMessageMetadata* inMeta, void* inBuffer,
                    RowRecordset::Row& row)
    {
        Held<IMessageMetadata> meta(statement->getOutputMetadata(&status_));
        const unsigned count = meta->getCount(&status_);
        QByteArray buffer(int(meta->getMessageLength(&status_)), '\0');
        Held<IResultSet> cursor(statement->openCursor(&status_, tra, inMeta, inBuffer, meta.get(), 0));
        const bool hasRow = cursor->fetchNext(&status_, buffer.data()) == IStatus::RESULT_OK;
        if (hasRow) {
            const auto* data = reinterpret_cast<const unsigned char*>(buffer.constData());
            for (unsigned i = 0; i < count; ++i) {
                const char* alias = meta->getAlias(&status_, i);
                QString name = utf8_ ? QString::fromUtf8(alias) : text::fromCp1252(QByteArray(alias));
                row.append({name, readField(tra, meta.get(), i, data)});
            }
        }
        cursor->close(&status_);
        cursor.take();
        return hasRow;
    }

    IMaster* master_;
    IUtil* util_;
    ThrowStatusWrapper status_;
    IProvider* provider_ = nullptr;
    IAttachment* attachment_ = nullptr;
    ITransaction* transaction_ = nullptr;
    bool utf8_ = false;
    QString description_;
    std::function<void(const QString&)> warn_;
    // Prepared statements by shape, the most recently used first.
    std::list<CachedStatement> statements_;
    QHash<QByteArray, std::list<CachedStatement>::iterator> statementIndex_;
};

} // namespace

std::unique_ptr<IConnection> openFirebirdConnection(const QString& database, const QString& user,
                                                    const QString& password)
{
    if (database.trimmed().isEmpty())
        throw DatabaseError(QStringLiteral("Nenhum banco de dados Firebird informado (LOCALBANCO de Zelto.ini)."));
    return std::make_unique<FirebirdConnection>(database, user, password);
}
