// The download walk of the window on the real libcurl control against loopback servers: an order
// still being written while the walk runs, and the window closed in the middle of a walk.
#include "ftp/curl/curl_transfer_control.h"
#include "gui/app_window.h"
#include "gui/ftp_session.h"
#include "gui/local_lists.h"
#include "gui/transfers.h"
#include "support/fake_dialogs.h"
#include "support/fixed_clock.h"
#include "support/ftp_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QByteArray itemLines(int from, int to)
{
    QByteArray lines;
    for (int i = from; i <= to; ++i)
        lines += "ProdutoVendido: 7891234000019|caneta " + QByteArray::number(i) + "|1,50|1|1,50|0|\r\n";
    return lines;
}

QStringList filesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

// Hears every log line as it is written, before the command it names is sent.
struct HookedDialogs : FakeDialogs {
    std::function<void(const QString&)> onLine;
    void trace(const QString& line) override
    {
        FakeDialogs::trace(line);
        if (onLine)
            onLine(line);
    }
};

// The window, its session on the real control, connected to `server` and listing "pedidos".
struct WindowOnServer {
    QTemporaryDir appFolder, local;
    HookedDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<CurlTransferControl> control = std::make_unique<CurlTransferControl>();
    std::unique_ptr<AppWindow> app = std::make_unique<AppWindow>(*control, dialogs, clock, appFolder.path());

    explicit WindowOnServer(const FtpServerFixture& server)
    {
        app->window().txtAddress->setText(server.address());
        app->window().txtUsername->setText(server.user());
        app->window().txtPassword->setText(server.password());
        EXPECT_TRUE(app->localLists().setPath(local.path()));
        EXPECT_TRUE(app->session().CONECTA());
        EXPECT_TRUE(app->session().EXECUTA_COMANDO(FtpCommand{QStringLiteral("cd"), {QStringLiteral("pedidos")}}, true));
    }
    QStringList localFiles() const { return filesIn(local.path()); }
};

} // namespace

// Lines added to an order while the walk runs, before its download or after it: the file keeps
// its server copy and nothing of it stays in the local folder, and that is no failure; the next
// walk takes it whole.
TEST(WalkOnServer, AnOrderStillBeingWrittenIsTakenOnlyWhenWhole)
{
    std::unique_ptr<FtpServerFixture> servers[] = {std::make_unique<PyFtpServer>(), std::make_unique<VsftpdServer>()};
    for (const auto& server : servers) {
        if (!server->isRunning()) {
            ADD_FAILURE() << server->error().toStdString();
            continue;
        }
        const QByteArray head = "NumeroPedido: 4242\r\nNomeCliente: Loja\r\n";
        server->writeFile("pedidos/PED1.txt", head + itemLines(1, 3));
        server->writeFile("pedidos/GROW1.txt", head + itemLines(1, 7));
        server->writeFile("pedidos/GROW2.txt", head + itemLines(1, 7));
        WindowOnServer window(*server);

        // GROW1.txt grows as its download is asked for, GROW2.txt as the folder is listed again.
        int grown = 0;
        window.dialogs.onLine = [&](const QString& line) {
            if (line.startsWith("Comando: recv GROW1.txt") || (grown == 1 && line == "Comando: dir")) {
                server->appendFile(QStringLiteral("pedidos/GROW%1.txt").arg(++grown), itemLines(8, 120));
            }
        };
        DownloadSummary s = window.app->transfers().BAIXA_TUDO();
        window.dialogs.onLine = {};
        EXPECT_EQ(grown, 2);
        EXPECT_EQ(s.fetched, 1);
        EXPECT_EQ(s.changed, 2);
        EXPECT_EQ(s.failed + s.notDeleted, 0);
        EXPECT_FALSE(window.dialogs.failureReported());
        EXPECT_EQ(window.localFiles(), QStringList{"PED1.txt"});
        EXPECT_EQ(filesIn(server->path("pedidos")), (QStringList{"GROW1.txt", "GROW2.txt"}));

        // The writer is done: listed again, both are taken whole.
        ASSERT_TRUE(window.app->session().EXECUTA_COMANDO(FtpCommand{QStringLiteral("cd"), {QStringLiteral(".")}}, true));
        s = window.app->transfers().BAIXA_TUDO();
        EXPECT_EQ(s.fetched, 2);
        EXPECT_EQ(filesIn(server->path("pedidos")), QStringList());
        QFile grow1(window.local.filePath("GROW1.txt"));
        ASSERT_TRUE(grow1.open(QIODevice::ReadOnly));
        EXPECT_EQ(grow1.readAll(), head + itemLines(1, 120));
    }
}

// Closing the window during a walk ends it: no "recv" or "delete" after the close, the file in
// flight and those not yet fetched stay on the server, nothing of them in the local folder.
TEST(WalkOnServer, ClosingTheWindowEndsTheWalk)
{
    PyFtpServer::Options options;
    // The first second's worth of a transfer goes at once: about 1.5 s for each file.
    options.throttleBytesPerSec = 16 * 1024;
    PyFtpServer server(options);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    const QByteArray order = "NumeroPedido: 1\r\n" + itemLines(1, 750);
    ASSERT_GT(order.size(), 40 * 1024);
    for (const char* name : {"A.txt", "B.txt", "C.txt", "D.txt"})
        server.writeFile(QStringLiteral("pedidos/") + name, order);
    const QStringList onServer = filesIn(server.path("pedidos"));
    auto window = std::make_unique<WindowOnServer>(server);
    window->app->window().show();

    // Closed while the second download is under way.
    const auto secondInFlight = [&] {
        if (server.commandCount("RETR") != 2)
            return false;
        for (const QString& name : window->localFiles()) {
            const qint64 size = QFileInfo(window->local.filePath(name)).size();
            if (size > 0 && size < order.size())
                return true;
        }
        return false;
    };
    qsizetype logAtClose = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (logAtClose < 0 && secondInFlight()) {
            logAtClose = window->app->session().logText().size();
            window->app->window().close();
        }
    });
    poll.start(5);
    window->app->window().cmdRecebe->click();
    poll.stop();
    ASSERT_GE(logAtClose, 0) << "the window was not closed during the walk";
    const QString afterClose = window->app->session().logText().mid(logAtClose);
    EXPECT_FALSE(afterClose.contains("Comando:")) << afterClose.toStdString();
    window->app.reset(); // the program ends, the control with it
    window->control.reset();

    EXPECT_EQ(window->localFiles(), QStringList());
    EXPECT_EQ(server.commandCount("RETR"), 2);
    EXPECT_EQ(server.commandCount("DELE"), 0);
    EXPECT_EQ(filesIn(server.path("pedidos")), onServer);
}
