#pragma once
// The real pedidosftp program at work, as a scheduler starts it: copied into an application
// folder of its own with ftp.ini and Zelto.ini, started headless with a local folder of its
// own as working directory, against a pyftpdlib server on loopback and a fresh Firebird file.
#include "import/db/database.h"
#include "support/ftp_server.h"
#include "support/test_database.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include "support/process_result.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

// Readable texts in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace e2e {

// One order file: CR LF lines, a customer identified by CPF, and items "barcode|qty|price".
struct OrderItem {
    QString barcode;
    QString name;
    QString price;    // "1,50"
    int quantity = 1;
    QString total;    // "3,00"
};

inline QByteArray orderFile(int number, const QString& customer, const QString& cpf, const QList<OrderItem>& items,
                            const QByteArray& padding = {})
{
    QString text;
    const auto line = [&text](const QString& l) { text += l + QStringLiteral("\r\n"); };
    line(QStringLiteral("NumeroPedido: %1").arg(number));
    line(QStringLiteral("DataPedido: 2015-03-09 10:00:00"));
    line(QStringLiteral("NomeCliente: %1|loja").arg(customer));
    line(QStringLiteral("CpfCliente: %1").arg(cpf));
    line(QStringLiteral("EnderecoCliente: Rua das Flores, 10"));
    line(QStringLiteral("BairroCliente: Centro"));
    line(QStringLiteral("CidadeCliente: Sao Paulo"));
    line(QStringLiteral("EstadoCliente: SP"));
    line(QStringLiteral("CepCliente: 01010-000"));
    line(QStringLiteral("EmailCliente: cliente@example.com.br"));
    line(QStringLiteral("TelefoneCliente: 1133334444"));
    line(QStringLiteral("SubTotalProdutos: 10,00"));
    line(QStringLiteral("FreteEscolhido: PAC"));
    line(QStringLiteral("Valor Frete: 0,00"));
    line(QStringLiteral("ValorPedido: 10,00"));
    line(QStringLiteral("CodigoEnvio: PB%1BR").arg(number));
    for (const OrderItem& it : items) {
        line(QStringLiteral("ProdutoVendido: %1|%2|%3|%4|%5|0|")
                 .arg(it.barcode, it.name, it.price)
                 .arg(it.quantity)
                 .arg(it.total));
    }
    return text.toUtf8() + padding;
}

// Two items of products the sample ERP has.
inline QByteArray simpleOrder(int number, const QString& cpf = QStringLiteral("123456789-09"))
{
    return orderFile(number, QStringLiteral("Maria da Silva"), cpf,
                     {{QStringLiteral("7891234000019"), QStringLiteral("Caneta azul"), QStringLiteral("1,50"), 4,
                       QStringLiteral("6,00")},
                      {QStringLiteral("7891234000026"), QStringLiteral("Caneta preta"), QStringLiteral("2,00"), 2,
                       QStringLiteral("4,00")}});
}

using RunResult = ProcessResult;

class Rig {
public:
    explicit Rig(const PyFtpServer::Options& serverOptions = {})
        : server(serverOptions)
    {
        local_ = QDir(base_.path()).filePath(QStringLiteral("local"));
        app_ = QDir(base_.path()).filePath(QStringLiteral("app"));
        QDir().mkpath(local_);
        QDir().mkpath(app_);
        exe_ = QDir(app_).filePath(QStringLiteral("pedidosftp"));
        ok_ = QFile::copy(QStringLiteral(PEDIDOS_EXECUTABLE), exe_);
        QFile::setPermissions(exe_, QFile::permissions(exe_) | QFile::ExeOwner | QFile::ExeUser);
        db.writeZeltoIni(app_);
        server.makeFolder(QStringLiteral("pedidos"));
        writeFtpIni(server.address());
    }

    // Whether the application folder, the server and the database are in place.
    ::testing::AssertionResult ready() const
    {
        if (!ok_)
            return ::testing::AssertionFailure() << "cannot copy " << PEDIDOS_EXECUTABLE;
        if (!server.isRunning())
            return ::testing::AssertionFailure() << server.error().toStdString();
        return ::testing::AssertionSuccess();
    }

    // `password`: the server's when not given.
    void writeFtpIni(const QString& address, const QString& folder = QStringLiteral("/pedidos"),
                     const QString& seller = QStringLiteral("2"), const QString& password = QString()) const
    {
        QFile f(QDir(app_).filePath(QStringLiteral("ftp.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QStringLiteral("[Geral]\r\nFTP=%1\r\nUSUARIO=%2\r\nSENHA=%3\r\nPASTAS=%4\r\nCOD_VENDEDOR=%5\r\n")
                    .arg(address, server.user(), password.isEmpty() ? server.password() : password, folder, seller)
                    .toUtf8());
    }

    QStringList ftpIniLines() const
    {
        QFile f(QDir(app_).filePath(QStringLiteral("ftp.ini")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = f.readAll();
        if (!all.endsWith("\r\n"))
            return {QStringLiteral("(last line not ended by CR LF)")};
        QStringList lines = QString::fromUtf8(all).split(QStringLiteral("\r\n"));
        lines.removeLast();
        return lines;
    }

    // Starts the program; the caller waits for it.
    std::unique_ptr<QProcess> start() const
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(local_);
        p->start(exe_, {});
        return p;
    }

    static RunResult finish(QProcess& p, int timeoutMs = 60000) { return finishProcess(p, timeoutMs); }

    RunResult run(int timeoutMs = 60000) const
    {
        const auto p = start();
        return finish(*p, timeoutMs);
    }

    QString base() const { return base_.path(); }
    QString local() const { return local_; }
    QString archive() const { return QDir(local_).filePath(QStringLiteral("importados")); }
    QString appFolder() const { return app_; }

    void writeLocal(const QString& name, const QByteArray& data) const
    {
        QFile f(QDir(local_).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }

    // Plain files directly in a folder, sorted.
    static QStringList filesIn(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Every file below `folder`, relative paths, sorted.
    static QStringList treeOf(const QString& folder)
    {
        QStringList out;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << QDir(folder).relativeFilePath(it.next());
        out.sort();
        return out;
    }

    // A number read from the database (the program must not be running: embedded Firebird
    // opens the file for one process at a time).
    qint64 number(const QString& select) const
    {
        try {
            const std::unique_ptr<IConnection> c = db.connect();
            const auto rs = c->open(select);
            if (rs->eof())
                return -1;
            const Field f = rs->field(QStringLiteral("n"));
            return f.isNull() ? -1 : qint64(f.toDouble());
        } catch (const std::exception& e) {
            ADD_FAILURE() << select.toStdString() << ": " << e.what();
            return -2;
        }
    }
    QString text(const QString& select) const
    {
        try {
            const std::unique_ptr<IConnection> c = db.connect();
            const auto rs = c->open(select);
            return rs->eof() ? QStringLiteral("(no row)") : rs->field(QStringLiteral("t")).text.trimmed();
        } catch (const std::exception& e) {
            ADD_FAILURE() << select.toStdString() << ": " << e.what();
            return {};
        }
    }
    qint64 ordersBooked(int orderNumber) const
    {
        return number(QStringLiteral("select count(*) as n from saida where fkftp=%1").arg(orderNumber));
    }
    qint64 itemsOf(int orderNumber) const
    {
        return number(QStringLiteral("select count(*) as n from itemsaida i join saida s on s.sacod = i.itfksacod "
                                     "where s.fkftp=%1")
                          .arg(orderNumber));
    }
    qint64 allOrders() const { return number(QStringLiteral("select count(*) as n from saida")); }

    testdb::FirebirdTestDatabase db;
    PyFtpServer server;

private:
    QTemporaryDir base_;
    QString local_, app_, exe_;
    bool ok_ = false;
};

// Waits until `condition` holds, at most `ms`.
inline bool waitFor(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(10);
    }
    return true;
}

} // namespace e2e
