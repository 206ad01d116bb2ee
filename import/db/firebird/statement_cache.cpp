#include "import/db/firebird/statement_cache.h"

#include "import/db/firebird/held.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <cstring>
#include <utility>

using namespace Firebird;

namespace fb {

namespace {

// Prepared statements kept per attachment.
constexpr std::size_t kStatementCacheSize = 128;
// A value of at most this many bytes goes to a short text; longer ones to the longest one.
constexpr qsizetype kShortValue = 256;
// The longest text a message carries, in bytes; in characters for UTF8 a quarter of it.
constexpr qsizetype kLongestText = 32764;

// The text with each "?" that stands outside literals, quoted names and comments written as a
// cast to a text of the attachment's character set (`casts` says the length of each, in
// order). Returns false when the text holds another number of "?" than casts, or does not end
// its literals and comments; the text is then prepared as it is and fails or runs on its own.
bool withCasts(const QByteArray& sql, const QList<QByteArray>& casts, QByteArray& out)
{
    out.reserve(sql.size() + casts.size() * 48);
    const qsizetype n = sql.size();
    const char* s = sql.constData();
    qsizetype count = 0;
    for (qsizetype i = 0; i < n;) {
        const char c = s[i];
        qsizetype end = i + 1;   // one past what is copied as it stands
        if (c == '\'' || c == '"') {
            // A literal or a quoted name; a doubled quote inside stands for one.
            for (;; ++end) {
                if (end >= n)
                    return false;
                if (s[end] == c) {
                    if (end + 1 < n && s[end + 1] == c) {
                        ++end;
                        continue;
                    }
                    ++end;
                    break;
                }
            }
        } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            end = sql.indexOf('\n', i);
            end = end < 0 ? n : end;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            end = sql.indexOf("*/", i + 2);
            if (end < 0)
                return false;
            end += 2;
        } else if (c == '?') {
            if (count >= casts.size())
                return false;
            out += "cast(? as " + casts[count++] + ')';
            i = end;
            continue;
        }
        out.append(s + i, end - i);
        i = end;
    }
    return count == casts.size();
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

} // namespace

StatementCache::StatementCache(IUtil* util, ThrowStatusWrapper& status, IAttachment* attachment, bool utf8)
    : status_(status), attachment_(attachment), utf8_(utf8), fields_(util, status, attachment, utf8)
{
}

StatementCache::~StatementCache()
{
    clear();
}

void StatementCache::execute(ITransaction* tra, const QByteArray& text, const QList<QByteArray>& values)
{
    Prepared* p = prepared(tra, text, values);
    if (!p) {
        attachment_->execute(&status_, tra, text.size(), text.constData(), SQL_DIALECT_V6, nullptr, nullptr, nullptr,
                             nullptr);
        return;
    }
    QByteArray buffer = bind(*p, values);
    try {
        if (isSelect(p->type)) {
            RowRecordset::Row ignored;
            fields_.fetchFirst(tra, p->statement, p->input, buffer.data(), ignored);
        } else {
            p->statement->execute(&status_, tra, p->input, buffer.data(), nullptr, nullptr);
        }
    } catch (const FbException&) {
        evict(p->key);   // prepared again next time, in case the failure left it unusable
        throw;
    }
}

bool StatementCache::fetchFirst(ITransaction* tra, const QByteArray& text, const QList<QByteArray>& values,
                                RowRecordset::Row& row)
{
    Prepared* p = prepared(tra, text, values);
    if (!p)
        throw Failure(Failure::About::Database, QStringLiteral("O comando não é uma consulta: %1").arg(QString::fromUtf8(text.left(60))));
    QByteArray buffer = bind(*p, values);
    try {
        return fields_.fetchFirst(tra, p->statement, p->input, buffer.data(), row);
    } catch (const FbException&) {
        evict(p->key);
        throw;
    }
}

StatementCache::Prepared* StatementCache::prepared(ITransaction* tra, const QByteArray& text,
                                                   const QList<QByteArray>& values)
{
    const qsizetype longest = utf8_ ? kLongestText / 4 : kLongestText;
    QByteArray key = text;
    key += '\0';
    for (const QByteArray& v : values) {
        if (v.size() > kLongestText)
            throw Failure(Failure::About::Database, QStringLiteral("Um valor de %1 bytes é longo demais para o banco de dados (até %2).")
                                    .arg(v.size()).arg(kLongestText));
        key += v.size() <= kShortValue ? 's' : 'l';
    }
    const auto found = index_.find(key);
    if (found != index_.end()) {
        statements_.splice(statements_.begin(), statements_, found.value());
        return &*found.value();
    }

    const QByteArray charset = utf8_ ? "UTF8" : "WIN1252";
    QList<QByteArray> casts;
    for (const QByteArray& v : values)
        casts << "varchar(" + QByteArray::number(v.size() <= kShortValue ? kShortValue : longest) + ") character set "
                + charset;
    QByteArray sql;
    if (!withCasts(text, casts, sql)) {
        if (values.isEmpty())
            sql = text;   // let the server say what is wrong with it
        else
            throw Failure(Failure::About::Database, QStringLiteral("O comando não tem um \"?\" para cada um dos seus %1 valores: %2")
                                    .arg(values.size()).arg(QString::fromUtf8(text.left(60))));
    }
    Held<IStatement> statement(attachment_->prepare(&status_, tra, sql.size(), sql.constData(), SQL_DIALECT_V6,
                                                    IStatement::PREPARE_PREFETCH_METADATA));
    const unsigned type = statement->getType(&status_);
    if (!isCacheable(type)) {
        // DDL and the like: run as it is, after letting go of the kept statements, whose locks on
        // tables would get in its way.
        statement->free(&status_);
        statement.take();
        clear();
        if (!values.isEmpty())
            throw Failure(Failure::About::Database, QStringLiteral("Este comando não recebe valores: %1").arg(QString::fromUtf8(text.left(60))));
        return nullptr;
    }
    Held<IMessageMetadata> input(statement->getInputMetadata(&status_));
    while (statements_.size() >= kStatementCacheSize) {
        index_.remove(statements_.back().key);
        release(statements_.back());
        statements_.pop_back();
    }
    statements_.push_front({std::move(key), statement.take(), input.take(), type});
    index_.insert(statements_.front().key, statements_.begin());
    return &statements_.front();
}

// The input message: each value as a text (length, then bytes), none NULL.
QByteArray StatementCache::bind(const Prepared& p, const QList<QByteArray>& values)
{
    QByteArray buffer(int(p.input->getMessageLength(&status_)), '\0');
    char* data = buffer.data();
    for (unsigned i = 0; i < unsigned(values.size()); ++i) {
        const QByteArray& value = values[int(i)];
        const ISC_USHORT length = ISC_USHORT(value.size());
        char* field = data + p.input->getOffset(&status_, i);
        std::memcpy(field, &length, sizeof length);
        std::memcpy(field + sizeof length, value.constData(), std::size_t(value.size()));
        const ISC_SHORT notNull = 0;
        std::memcpy(data + p.input->getNullOffset(&status_, i), &notNull, sizeof notNull);
    }
    return buffer;
}

// Frees a statement, never throws.
void StatementCache::release(Prepared& p) noexcept
{
    p.input->release();
    try {
        p.statement->free(&status_);
    } catch (const FbException&) {
        p.statement->release();
    }
}

void StatementCache::clear() noexcept
{
    for (Prepared& p : statements_)
        release(p);
    statements_.clear();
    index_.clear();
}

void StatementCache::evict(QByteArray key) noexcept
{
    const auto it = index_.find(key);
    if (it == index_.end())
        return;
    release(*it.value());
    statements_.erase(it.value());
    index_.erase(it);
}

} // namespace fb
