#include "import/db/firebird/firebird_connection.h"

#include "core/text_codec.h"
#include "import/db/firebird/held.h"
#include "import/db/firebird/statement_cache.h"
#include "import/db/row_recordset.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <QStringList>
#include <utility>

using namespace Firebird;
using fb::Held;

namespace {

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
        run([&](ITransaction* tra) { statements_->execute(tra, text); });
    }

    std::unique_ptr<IRecordset> open(const QString& sql) override
    {
        const QByteArray text = encode(sql);
        RowRecordset::Row row;
        bool hasRow = false;
        run([&](ITransaction* tra) { hasRow = statements_->fetchFirst(tra, text, row); }, true);
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
        statements_ = std::make_unique<fb::StatementCache>(util_, status_, attachment_, utf8);
    }

    void detach()
    {
        if (transaction_)
            discard(std::exchange(transaction_, nullptr));
        statements_.reset();
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

    IMaster* master_;
    IUtil* util_;
    ThrowStatusWrapper status_;
    IProvider* provider_ = nullptr;
    IAttachment* attachment_ = nullptr;
    ITransaction* transaction_ = nullptr;
    bool utf8_ = false;
    QString description_;
    std::function<void(const QString&)> warn_;
    // The prepared statements of the attachment.
    std::unique_ptr<fb::StatementCache> statements_;
};

} // namespace

std::unique_ptr<IConnection> openFirebirdConnection(const QString& database, const QString& user,
                                                    const QString& password)
{
    if (database.trimmed().isEmpty())
        throw DatabaseError(QStringLiteral("Nenhum banco de dados Firebird informado (LOCALBANCO de Zelto.ini)."));
    return std::make_unique<FirebirdConnection>(database, user, password);
}
