// The window as a plain client of an SFTP server: the folder label holds the server's own path,
// and the upload and the download walk built on it work (the real libcurl control and a real
// OpenSSH server on loopback; the commands themselves are checked in tests/ftp).
#include "ftp/curl/curl_transfer_control.h"
#include "support/ssh_server.h"
#include "transfers_rig.h"

#include <QDir>
#include <QPushButton>

TEST(WindowOverSftp, ConnectSendAndFetch)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    server.writeFile("pedidos/PED1.txt", "pedido 1\r\n");
    server.makeFolder("pedidos/antigos");
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
    // Connect: the login folder, then PASTAS.
    w.cmdConecta->click();
    ASSERT_TRUE(session.connected()) << session.logText().toStdString();
    EXPECT_EQ(w.lblRemoteDirectory->text(), server.root() + "/pedidos");
    QStringList listed;
    for (int i = 0; i < w.lstRemote->count(); ++i)
        listed << w.lstRemote->item(i)->text();
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"../", "PED1.txt", "antigos/"}));

    // Send the selected local file into the folder the label names; the walk fetches the
    // files and deletes them there, and leaves the folder.
    w.filList->item(0)->setSelected(true);
    w.cmdEnvia->click();
    EXPECT_EQ(server.readFile("pedidos/ENVIO.txt"), "enviado");
    ASSERT_TRUE(QFile::remove(local.filePath("ENVIO.txt")));
    w.cmdRecebe->click();
    EXPECT_EQ(readFile(local.filePath("PED1.txt")), "pedido 1\r\n");
    EXPECT_EQ(readFile(local.filePath("ENVIO.txt")), "enviado");
    EXPECT_EQ(QDir(server.path("pedidos")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"antigos"});

    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.value(0).text.toStdString();
    EXPECT_EQ(server.loginCount(), 1);
}
