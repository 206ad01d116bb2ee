#include "import/firebird_connection.h"

#include "app/text_codec.h"
#include "import/sql_text.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <QVector>
#include <cstring>
#include <type_traits>
#include <utility>

using namespace Firebird;

namespace {

constexpr unsigned kCharsetOctets = 1;
constexpr unsigned kCharsetUtf8 = 4;

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

class FirebirdRecordset final : public IRecordset {
public:
    explicit FirebirdRecordset(QVector<std::pair<QString, Field>> row, bool hasRow)
        : row_(std::move(row)), hasRow_(hasRow) {}

    bool eof() const override { return !hasRow_; }

    Field field(const QString& name) const override
    {
        if (!hasRow_)
            throw DatabaseError(QStringLiteral("Campo \"%1\" lido sem linha corrente (fim da consulta).").arg(name));
        for (const auto& [alias, value] : row_) {
            if (alias.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        }
        throw DatabaseError(QStringLiteral("Campo \"%1\" não existe na consulta.").arg(name));
    }

private:
    QVector<std::pair<QString, Field>> row_;
    bool hasRow_;
};

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
            attachment_->execute(&status_, tra, text.size(), text.constData(), SQL_DIALECT_V6,
                                 nullptr, nullptr, nullptr, nullptr);
        });
    }

    std::unique_ptr<IRecordset> open(const QString& sql) override
    {
        const QByteArray text = encode(sql);
        QVector<std::pair<QString, Field>> row;
        bool hasRow = false;
        run([&](ITransaction* tra) { hasRow = fetchFirst(tra, text, row); }, true);
        return std::make_unique<FirebirdRecordset>(std::move(row), hasRow);
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

    // Prepares and opens the select, reads its first row (if any) into `row`, closes it.
    bool fetchFirst(ITransaction* tra, const QByteArray& text, QVector<std::pair<QString, Field>>& row)
    {
        Held<IStatement> statement(attachment_->prepare(&status_, tra, text.size(), text.constData(), SQL_DIALECT_V6,
                                                        IStatement::PREPARE_PREFETCH_METADATA));
        Held<IMessageMetadata> meta(statement->getOutputMetadata(&status_));
        const unsigned count = meta->getCount(&status_);
        QByteArray buffer(int(meta->getMessageLength(&status_)), '\0');
        Held<IResultSet> cursor(statement->openCursor(&status_, tra, nullptr, nullptr, meta.get(), 0));
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
        statement->free(&status_);
        statement.take();
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
};

} // namespace

std::unique_ptr<IConnection> openFirebirdConnection(const QString& database, const QString& user,
                                                    const QString& password)
{
    if (database.trimmed().isEmpty())
        throw DatabaseError(QStringLiteral("Nenhum banco de dados Firebird informado (LOCALBANCO de Zelto.ini)."));
    return std::make_unique<FirebirdConnection>(database, user, password);
}
