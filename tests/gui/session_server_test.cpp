// The window's FTP session with the real libcurl control against a loopback pyftpdlib server.
#include "gui/frmFTP.h"
#include "ftp/curl/curl_transfer_control.h"
#include "gui/ftp_session.h"
#include "support/fake_dialogs.h"
#include "support/ftp_server.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QStringList entries(const QListWidget* list)
{
    QStringList t;
    for (int i = 0; i < list->count(); ++i)
        t << list->item(i)->text();
    return t;
}

TEST(SessionOnServer, ConnectBrowseRefuseAndDisconnect)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile("pedidos/PED 1.txt", "pedido 1\r\n");
    server.writeFile("pedidos/PED2.txt", "pedido 2\r\n");

    frmFTP w;
    CurlTransferControl control;
    FakeDialogs dialogs;
    FtpSession session(w.remoteWidgets(), control, dialogs, [] { return QStringLiteral("pedidos"); });
    w.txtAddress->setText(server.address());
    w.txtUsername->setText(server.user());
    w.txtPassword->setText(server.password());

    w.cmdConecta->click();

    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.value(0).text.toStdString();
    EXPECT_TRUE(session.connected());
    QStringList listed = entries(w.lstRemote);
    ASSERT_EQ(listed.size(), 3) << listed.join('|').toStdString();
    EXPECT_EQ(listed.first(), QStringLiteral("../"));
    EXPECT_TRUE(listed.contains(QStringLiteral("PED 1.txt")));
    EXPECT_TRUE(listed.contains(QStringLiteral("PED2.txt")));
    EXPECT_EQ(w.lblRemoteDirectory->text(), QStringLiteral("/pedidos"));
    EXPECT_EQ(w.lblStatus->text(), QStringLiteral("operacao Completa"));
    EXPECT_EQ(server.loginCount(), 1);

    // A refused command: what failed, with the server's reply, in the log; no box; the folder
    // listed as it is.
    EXPECT_FALSE(session.EXECUTA_COMANDO(FtpCommand{"cd", {"nao existe"}}, true));
    const QStringList log = session.logText().split('\n');
    const qsizetype cd = log.indexOf(QStringLiteral("Comando: cd nao existe"));
    ASSERT_GE(cd, 0);
    EXPECT_TRUE(log.value(cd + 1).startsWith(QStringLiteral("Arquivo ou pasta não encontrado")) && log.value(cd + 1).contains(": 550 "))
        << log.value(cd + 1).toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(w.lblRemoteDirectory->text(), QStringLiteral("/pedidos"));

    w.cmdConecta->click();
    EXPECT_FALSE(session.connected());
    EXPECT_EQ(w.cmdConecta->text(), QStringLiteral("&Conectar ao Host Remoto"));
    EXPECT_EQ(session.logText().split('\n').count(QStringLiteral("Comando: quit")), 1);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A wrong password: one login attempt per connect; the window shows itself connected, and the
// status line and the log show the refusal.
TEST(SessionOnServer, ARefusedLoginIsTriedOncePerConnect)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    frmFTP w;
    CurlTransferControl control;
    FakeDialogs dialogs;
    FtpSession session(w.remoteWidgets(), control, dialogs, [] { return QStringLiteral("pedidos"); });
    w.txtAddress->setText(server.address());
    w.txtUsername->setText(server.user());
    w.txtPassword->setText(QStringLiteral("senha errada"));

    for (int connect = 1; connect <= 2; ++connect) {
        w.cmdConecta->click(); // connects: dir, pwd, cd, dir, pwd
        EXPECT_TRUE(session.connected());
        EXPECT_TRUE(w.lblStatus->toolTip().contains(QStringLiteral(": 530 "))) << w.lblStatus->toolTip().toStdString();
        EXPECT_EQ(session.logText().count(QStringLiteral("\nUsuário ou senha recusados")), 5 * connect)
            << session.logText().toStdString();
        EXPECT_EQ(server.commandCount(QStringLiteral("USER")), connect);
        w.cmdConecta->click(); // disconnects
    }
}

TEST(SessionOnServer, UnreachableServerMakesConnectReportFailure)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    const QString address = server.address();
    server.stop(); // nothing listens on the port any more

    frmFTP w;
    CurlTransferControl control;
    FakeDialogs dialogs;
    FtpSession session(w.remoteWidgets(), control, dialogs, [] { return QString(); });
    w.txtAddress->setText(address);

    EXPECT_FALSE(session.CONECTA());
    EXPECT_FALSE(session.lastListingSucceeded());
    EXPECT_TRUE(dialogs.failureReported());
    EXPECT_TRUE(session.logText().startsWith(QStringLiteral("Comando: dir\n")));
    EXPECT_NE(session.logText().split('\n').value(1), QString());
    EXPECT_EQ(w.lstRemote->count(), 0);
}

} // namespace
