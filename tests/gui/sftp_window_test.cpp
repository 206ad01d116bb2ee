// The window as a plain client of an SFTP server: its buttons and lists work on the folder the
// server names, with the real libcurl control and a real OpenSSH server on loopback.
#include "ftp/curl/curl_transfer_control.h"
#include "support/ssh_server.h"
#include "transfers_rig.h"

#include <QDir>
#include <QPushButton>

TEST(WindowOverSftp, ConnectEnterSendDeleteMakeAFolderAndFetch)
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
    TitledDialogs dialogs;
    SystemDrives drives;
    FtpSession session(w.remoteWidgets(), control, dialogs, [] { return QStringLiteral("pedidos"); });
    LocalLists lists(w.localWidgets(), dialogs, drives, local.path());
    Transfers transfers(session, lists);
    w.txtAddress->setText(server.address());
    w.txtUsername->setText(server.user());
    w.txtPassword->setText(server.password());
    const auto remote = [&w] {
        QStringList t;
        for (int i = 0; i < w.lstRemote->count(); ++i)
            t << w.lstRemote->item(i)->text();
        return t;
    };

    // Connect: the login folder, then PASTAS.
    w.cmdConecta->click();
    ASSERT_TRUE(session.connected()) << session.logText().toStdString();
    EXPECT_EQ(w.lblRemoteDirectory->text(), server.root() + "/pedidos");
    QStringList listed = remote();
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"../", "PED1.txt", "antigos/"}));

    // Send the selected local file into the folder the label names.
    w.filList->item(0)->setSelected(true);
    w.cmdEnvia->click();
    EXPECT_EQ(server.readFile("pedidos/ENVIO.txt"), "enviado");
    EXPECT_TRUE(remote().contains("ENVIO.txt"));

    // Delete a file and a folder in one click; make a folder.
    dialogs.confirmAnswer = true;
    for (int i = 0; i < w.lstRemote->count(); ++i)
        w.lstRemote->item(i)->setSelected(w.lstRemote->item(i)->text() == "ENVIO.txt"
                                           || w.lstRemote->item(i)->text() == "antigos/");
    w.cmdDelete->click();
    EXPECT_FALSE(server.exists("pedidos/ENVIO.txt"));
    EXPECT_FALSE(server.exists("pedidos/antigos"));
    dialogs.inputAnswer = QStringLiteral("nova pasta");
    w.cmdMkDir->click();
    EXPECT_TRUE(remote().contains("nova pasta/"));

    // Enter the new folder and back: the label follows.
    w.lstRemote->setCurrentRow(int(remote().indexOf("nova pasta/")));
    session.lstRemote_DblClick();
    EXPECT_EQ(w.lblRemoteDirectory->text(), server.root() + "/pedidos/nova pasta");
    w.lstRemote->setCurrentRow(0);
    session.lstRemote_DblClick();
    EXPECT_EQ(w.lblRemoteDirectory->text(), server.root() + "/pedidos");

    // Fetch: the file comes over and leaves the server; the folder stays.
    w.cmdRecebe->click();
    EXPECT_EQ(readFile(local.filePath("PED1.txt")), "pedido 1\r\n");
    EXPECT_EQ(QDir(server.path("pedidos")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"nova pasta"});

    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.value(0).text.toStdString();
    EXPECT_EQ(server.loginCount(), 1);
}
