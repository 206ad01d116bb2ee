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

    void execute(const QString& sql, const QStringList& values) override
    {
        QList<QByteArray> bytes;
        const QByteArray text = encode(sql, values, bytes);
        run([&](ITransaction* tra) { statements_->execute(tra, text, bytes); });
    }

    std::unique_ptr<IRecordset> open(const QString& sql, const QStringList& values) override
    {
        QList<QByteArray> bytes;
        const QByteArray text = encode(sql, values, bytes);
        RowRecordset::Row row;
        bool hasRow = false;
        run([&](ITransaction* tra) { hasRow = statements_->fetchFirst(tra, text, bytes, row); }, true);
        return std::make_unique<RowRecordset>(std::move(row), hasRow);
    }

    void begin() override
    {
        if (transaction_)
            throw Failure(Failure::About::Database, QStringLiteral("Já existe uma transação aberta nesta conexão."));
        transaction_ = guarded([&] { return startTransaction(); });
    }

    void commit() override
    {
        if (!transaction_)
            throw Failure(Failure::About::Database, QStringLiteral("Nenhuma transação aberta para confirmar."));
        ITransaction* tra = std::exchange(transaction_, nullptr);
        commitOrDiscard(tra);
    }

    void rollback() override
    {
        if (ITransaction* tra = std::exchange(transaction_, nullptr))
            discard(tra);
    }

    bool inTransaction() const override { return transaction_ != nullptr; }

    bool hasSavepoints() const override { return true; }
    void savepoint() override { inTransaction("SAVEPOINT PEDIDO"); }
    void releaseSavepoint() override { inTransaction("RELEASE SAVEPOINT PEDIDO"); }
    void rollbackToSavepoint() override
    {
        try {
            inTransaction("ROLLBACK TO SAVEPOINT PEDIDO");
        } catch (const Failure&) {
            rollback();
            throw;
        }
    }

    QString description() const override { return description_; }

    void setWarningHandler(std::function<void(const QString&)> handler) override { warn_ = std::move(handler); }

private:
    [[noreturn]] void raise(const FbException& e) const
    {
        char buffer[2048];
        util_->formatStatus(buffer, sizeof buffer, e.getStatus());
        const ISC_STATUS* errors = e.getStatus()->getErrors();
        // Server texts come in the attachment's character set.
        QString message = utf8_ ? QString::fromUtf8(buffer) : text::fromCp1252(QByteArray(buffer));
        throw Failure(Failure::About::Database, message.trimmed(), int(isc_sqlcode(errors)), connectionGone(errors));
    }

    // The status names a connection that broke, or a database or server that was shut down.
    static bool connectionGone(const ISC_STATUS* status)
    {
        while (*status != isc_arg_end) {
            const ISC_STATUS type = *status++;
            if (type == isc_arg_gds) {
                switch (*status) {
                case isc_network_error:
                case isc_net_read_err:
                case isc_net_write_err:
                case isc_lost_db_connection:
                case isc_conn_lost:
                case isc_shutdown:
                case isc_att_shutdown:
                case isc_net_server_shutdown:
                    return true;
                default:
                    break;
                }
            }
            status += type == isc_arg_cstring ? 2 : 1;
        }
        return false;
    }

    // A statement of the open transaction that takes no values (savepoints).
    void inTransaction(const char* sql)
    {
        if (!transaction_)
            throw Failure(Failure::About::Database, QStringLiteral("Nenhuma transação aberta para %1.").arg(QLatin1String(sql)));
        guarded([&] { attachment_->execute(&status_, transaction_, 0, sql, SQL_DIALECT_V6, nullptr, nullptr, nullptr, nullptr); });
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
        auto rs = open(QStringLiteral("select trim(rdb$character_set_name) as cs from rdb$database"), {});
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

    // The text and the values in the attachment's character set. Characters Windows-1252 lacks
    // become "?" and are reported once per statement.
    QByteArray encode(const QString& sql, const QStringList& values, QList<QByteArray>& bytes)
    {
        if (utf8_) {
            for (const QString& v : values)
                bytes << v.toUtf8();
            return sql.toUtf8();
        }
        QString replaced;
        const QByteArray text = text::toCp1252(sql, &replaced);
        for (const QString& v : values) {
            QString lost;
            bytes << text::toCp1252(v, &lost);
            replaced += lost;
        }
        if (!replaced.isEmpty() && warn_) {
            QStringList list;
            for (qsizetype i = 0; i < replaced.size(); ++i) {
                // Surrogate pairs stay together.
                if (replaced[i].isHighSurrogate() && i + 1 < replaced.size())
                    list << replaced.mid(i++, 2);
                else
                    list << QString(replaced[i]);
            }
            list.removeDuplicates();
            warn_(QStringLiteral("Caracteres sem representação no banco de dados (Windows-1252) gravados como \"?\": %1")
                      .arg(list.join(QStringLiteral(" "))));
        }
        return text;
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
        throw Failure(Failure::About::Database, QStringLiteral("Nenhum banco de dados Firebird informado (LOCALBANCO de Zelto.ini)."));
    return std::make_unique<FirebirdConnection>(database, user, password);
}
