#include "import/db/firebird/statement_cache.h"

#include "import/db/firebird/held.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <algorithm>
#include <cstring>
#include <utility>

using namespace Firebird;

namespace fb {

namespace {

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

// A value that does not fit the type the server gave its parameter ('SPX' for a VARCHAR(2)
// column, '' for an INTEGER) fails before the statement runs, as "Dynamic SQL Error" -303.
// The statement text itself then runs instead: a literal may be fine where a parameter is not
// (uf = 'SPX' is simply false), and a failing one fails with its own error and SQLCODE.
bool valuesDidNotConvert(const FbException& e)
{
    const ISC_STATUS* errors = e.getStatus()->getErrors();
    return errors[0] == isc_arg_gds && errors[1] == isc_dsql_error && isc_sqlcode(errors) == -303;
}

} // namespace

// A prepared statement with its parameters bound, ready to run.
struct StatementCache::Bound {
    IStatement* statement = nullptr;   // owned by the cache
    unsigned type = 0;
    QByteArray key;
    Held<IMessageMetadata> meta;
    QByteArray buffer;
};

StatementCache::StatementCache(IUtil* util, ThrowStatusWrapper& status, IAttachment* attachment, bool utf8)
    : status_(status), attachment_(attachment), utf8_(utf8), fields_(util, status, attachment, utf8)
{
}

StatementCache::~StatementCache()
{
    clear();
}

void StatementCache::execute(ITransaction* tra, const QByteArray& text)
{
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
}

// Prepares (or takes the kept statement) and opens the select, reads its first row (if any)
// into `row`, closes it.
bool StatementCache::fetchFirst(ITransaction* tra, const QByteArray& text, RowRecordset::Row& row)
{
    Bound bound;
    if (bind(tra, text, bound)) {
        try {
            return fields_.fetchFirst(tra, bound.statement, bound.meta.get(), bound.buffer.data(), row);
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
    const bool hasRow = fields_.fetchFirst(tra, own.get(), nullptr, nullptr, row);
    own->free(&status_);
    own.take();
    return hasRow;
}

// Frees a statement, never throws.
void StatementCache::freeStatement(IStatement* statement) noexcept
{
    if (!statement)
        return;
    try {
        statement->free(&status_);
    } catch (const FbException&) {
        statement->release();
    }
}

void StatementCache::clear() noexcept
{
    for (CachedStatement& entry : statements_)
        freeStatement(entry.statement);
    statements_.clear();
    statementIndex_.clear();
}

void StatementCache::evict(const QByteArray& key) noexcept
{
    const auto it = statementIndex_.find(key);
    if (it == statementIndex_.end())
        return;
    freeStatement(it.value()->statement);
    statements_.erase(it.value());
    statementIndex_.erase(it);
}

void StatementCache::remember(const QByteArray& key, IStatement* statement, unsigned type)
{
    while (statements_.size() >= kStatementCacheSize) {
        freeStatement(statements_.back().statement);
        statementIndex_.remove(statements_.back().key);
        statements_.pop_back();
    }
    statements_.push_front({key, statement, type});
    statementIndex_.insert(key, statements_.begin());
}

// True when the prepared statement takes exactly the literals as parameters, of types a
// string converts to as a literal does.
bool StatementCache::takesParameters(IStatement* statement, qsizetype count)
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
bool StatementCache::bind(ITransaction* tra, const QByteArray& text, Bound& bound)
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
                clear();
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

} // namespace fb
