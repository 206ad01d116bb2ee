// The window as a plain client of an SFTP server: the folder label holds the server's own
// absolute path, and the upload composes its target from it (the commands themselves are checked
// in tests/ftp, the unattended walk in tests/program).
#include "ftp/curl/curl_transfer_control.h"
#include "support/ssh_server.h"
#include "transfers_rig.h"

#include <QDir>
#include <QPushButton>

TEST(WindowOverSftp, ConnectListAndSendIntoTheServersFolder)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    server.writeFile("pedidos/PED1.txt", "pedido 1\r\n");
    QTemporaryDir app, local;
    writeFile(QDir(app.path()).filePath("known_hosts"), server.knownHostsLine());
    writeFile(local.filePath("ENVIO.txt"), "enviado");

    frmFTP w;
    CurlTransferControl control;
    control.setTrustFolder(app.path());
    FakeDialogs dialogs;
    SystemDrives drives;
    FtpSession session(w.remoteWidgets(), control, dialogs, [] { return QStringLiteral("pedidos"); });
    LocalLists lists(w.localWidgets(), dialogs, drives, local.path());
    Transfers transfers(session, lists);
    w.txtAddress->setText(server.address());
    w.txtUsername->setText(server.user());
    w.txtPassword->setText(server.password());

    w.cmdConecta->click(); // the login folder, then PASTAS
    ASSERT_TRUE(session.connected()) << session.logText().toStdString();
    EXPECT_EQ(w.lblRemoteDirectory->text(), server.root() + "/pedidos");
    ASSERT_EQ(w.lstRemote->count(), 2);
    EXPECT_EQ(w.lstRemote->item(1)->text(), "PED1.txt");

    w.filList->item(0)->setSelected(true);
    w.cmdEnvia->click();
    EXPECT_EQ(server.readFile("pedidos/ENVIO.txt"), "enviado");
    EXPECT_EQ(w.lstRemote->count(), 3) << "listed again after the upload";
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.value(0).text.toStdString();
    EXPECT_EQ(server.loginCount(), 1);
}
