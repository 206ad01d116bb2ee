// The download walk: from position 1 on, "recv" then "delete", into the local folder.
#include "transfers_rig.h"

#include <QPushButton>

TEST(TransfersDownload, WalkFetchesAndDeletesFromPositionOne)
{
    TransferRig rig;
    rig.showRemote({"../", "PED1.txt", "PED2.txt"}, true);
    const DownloadSummary s = rig.transfers->BAIXA_TUDO();

    EXPECT_EQ(rig.sent(), (QStringList{"recv PED1.txt " + rig.at("PED1.txt"), "delete PED1.txt",
                                       "recv PED2.txt " + rig.at("PED2.txt"), "delete PED2.txt"}));
    EXPECT_EQ(s.fetched, 2);
    EXPECT_EQ(s.failed + s.skipped + s.notDeleted, 0);
    // The remote list is not re-read: the visited entries stay, unselected; position 0 is
    // never visited and keeps its mark.
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../", "PED1.txt", "PED2.txt"}));
    EXPECT_TRUE(rig.w.lstRemote->item(0)->isSelected());
    EXPECT_EQ(rig.selectedRemote(), 1);
    // The file list shows what the folder now holds.
    EXPECT_EQ(rig.localFiles(), (QStringList{"PED1.txt", "PED2.txt"}));
    EXPECT_EQ(readFile(rig.at("PED2.txt")), QByteArray("pedido PED2.txt"));
    EXPECT_TRUE(rig.session.logText().contains("Baixado: PED1.txt -> " + rig.at("PED1.txt")));
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());
}

TEST(TransfersDownload, PositionZeroBlanksAndShortLists)
{
    TransferRig rig;
    // Without a parent entry the file at position 0 stays on the server.
    rig.showRemote({"PED1.txt", "PED 2.txt"});
    rig.transfers->BAIXA_TUDO();
    ASSERT_EQ(rig.control.executed.size(), 2);
    // A name with a blank goes unquoted, as one argument.
    EXPECT_EQ(rig.control.executed[0].text(), "recv PED 2.txt " + rig.at("PED 2.txt"));
    EXPECT_EQ(rig.control.executed[0].args, (QStringList{"PED 2.txt", rig.at("PED 2.txt")}));
    EXPECT_EQ(rig.control.executed[1].text(), QStringLiteral("delete PED 2.txt"));
    EXPECT_EQ(rig.localFiles(), QStringList{"PED 2.txt"});

    // Nothing or only the parent entry: no command, but the file list is read again.
    for (const QStringList& entries : {QStringList{}, QStringList{"../"}}) {
        writeFile(rig.at("chegou.txt"), "x");
        rig.control.executed.clear();
        rig.showRemote(entries);
        const DownloadSummary s = rig.transfers->BAIXA_TUDO();
        EXPECT_TRUE(rig.control.executed.isEmpty());
        EXPECT_EQ(s.fetched + s.failed + s.skipped, 0);
        EXPECT_EQ(rig.localFiles(), (QStringList{"chegou.txt", "PED 2.txt"}));
        QFile::remove(rig.at("chegou.txt"));
    }
}

TEST(TransfersDownload, RootFolderTargetAndButton)
{
    TransferRig rig;
    // At the root the name follows the separator directly.
    ASSERT_TRUE(rig.local->setPath(QStringLiteral("/")));
    FakeTransferControl::Reply refused;
    refused.ok = false;
    rig.control.script(QStringLiteral("recv"), refused);
    rig.showRemote({"../", "PED1.txt"});
    rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent(), QStringList{"recv PED1.txt /PED1.txt"});

    // The download button runs the same walk, whatever is selected.
    ASSERT_TRUE(rig.local->setPath(rig.folder));
    rig.control.executed.clear();
    FakeTransferControl::Reply recv;
    recv.effect = [](const FtpCommand& c) { writeFile(c.args.value(1), "x"); };
    rig.control.script(QStringLiteral("recv"), recv);
    rig.showRemote({"../", "a.txt", "b.txt"});
    rig.w.lstRemote->item(0)->setSelected(true);
    rig.w.cmdRecebe->setEnabled(true);
    rig.w.cmdRecebe->click();
    EXPECT_EQ(rig.sent(), (QStringList{"recv a.txt " + rig.at("a.txt"), "delete a.txt", "recv b.txt " + rig.at("b.txt"),
                                       "delete b.txt"}));
}

TEST(TransfersDownload, ServerCopyIsDeletedOnlyAfterACompleteDownload)
{
    TransferRig rig;
    FakeTransferControl::Reply refused;
    refused.ok = false;
    refused.report = QStringLiteral("550 PED1.txt: Permission denied");
    rig.control.script("recv PED1.txt " + rig.at("PED1.txt"), refused);
    // The control claims success but nothing reached the local folder.
    FakeTransferControl::Reply empty;
    rig.control.script("recv PED3.txt " + rig.at("PED3.txt"), empty);
    // The server keeps a file it was asked to delete.
    FakeTransferControl::Reply kept;
    kept.ok = false;
    rig.control.script(QStringLiteral("delete PED4.txt"), kept);
    rig.showRemote({"../", "PED1.txt", "PED2.txt", "PED3.txt", "PED4.txt"});

    const DownloadSummary s = rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent(), (QStringList{"recv PED1.txt " + rig.at("PED1.txt"), "recv PED2.txt " + rig.at("PED2.txt"),
                                       "delete PED2.txt", "recv PED3.txt " + rig.at("PED3.txt"),
                                       "recv PED4.txt " + rig.at("PED4.txt"), "delete PED4.txt"}));
    EXPECT_EQ(s.fetched, 2);
    EXPECT_EQ(s.failed, 2);
    EXPECT_EQ(s.notDeleted, 1);
    EXPECT_TRUE(rig.session.logText().contains("Falha ao baixar PED1.txt; o arquivo fica no servidor"));
    EXPECT_TRUE(rig.session.logText().contains("Falha ao apagar PED4.txt no servidor"));
    EXPECT_EQ(rig.localFiles(), (QStringList{"PED2.txt", "PED4.txt"}));
    EXPECT_TRUE(rig.dialogs.failureReported());
}

TEST(TransfersDownload, HostileAndFolderEntriesAreNeitherFetchedNorDeleted)
{
    TransferRig rig;
    rig.showRemote({"../", "../evil.txt", "a/b.txt", "a\\b.txt", "sub/", "..", "./", "x/../", "ok.txt"}, true);
    const DownloadSummary s = rig.transfers->BAIXA_TUDO();

    EXPECT_EQ(rig.sent(), (QStringList{"recv ok.txt " + rig.at("ok.txt"), "delete ok.txt"}));
    EXPECT_EQ(s.skipped, 7);
    EXPECT_EQ(s.fetched, 1);
    const QString log = rig.session.logText();
    EXPECT_TRUE(log.contains("Ignorado: ../evil.txt (nome inválido)"));
    EXPECT_TRUE(log.contains("Ignorado: a\\b.txt (nome inválido)"));
    EXPECT_TRUE(log.contains("Ignorado: sub/ (pasta)"));
    EXPECT_TRUE(log.contains("Ignorado: x/../ (nome inválido)"));
    EXPECT_EQ(rig.selectedRemote(), 1); // only position 0, never visited
    EXPECT_EQ(rig.localFiles(), QStringList{"ok.txt"});
    EXPECT_FALSE(QFile::exists(QFileInfo(rig.folder).path() + "/evil.txt"));
}

TEST(TransfersDownload, ExistingLocalFileIsNeverOverwritten)
{
    TransferRig rig;
    writeFile(rig.at("PED1.txt"), "pedido antigo");
    writeFile(rig.at("PED1 (2).txt"), "outro pedido antigo");
    rig.showRemote({"../", "PED1.txt"});
    rig.transfers->BAIXA_TUDO();

    EXPECT_EQ(rig.sent(), (QStringList{"recv PED1.txt " + rig.at("PED1 (3).txt"), "delete PED1.txt"}));
    EXPECT_EQ(readFile(rig.at("PED1.txt")), QByteArray("pedido antigo"));
    EXPECT_EQ(readFile(rig.at("PED1 (2).txt")), QByteArray("outro pedido antigo"));
    EXPECT_EQ(readFile(rig.at("PED1 (3).txt")), QByteArray("pedido PED1.txt"));
    EXPECT_EQ(rig.localFiles(), (QStringList{"PED1 (2).txt", "PED1 (3).txt", "PED1.txt"}));
}

TEST(TransfersDownload, RemoteEntryProblems)
{
    EXPECT_EQ(remoteEntryProblem(QStringLiteral("PED 1.txt")), QString());
    EXPECT_EQ(remoteEntryProblem(QStringLiteral(".oculto")), QString());
    EXPECT_EQ(remoteEntryProblem(QStringLiteral("...")), QString());
    EXPECT_EQ(remoteEntryProblem(QStringLiteral("importados/")), QStringLiteral("pasta"));
    for (const char* bad : {"", ".", "..", "/", "../", "./", "/etc/passwd", "a//", "..\\x", "c:\\x"})
        EXPECT_EQ(remoteEntryProblem(QString::fromLatin1(bad)), QStringLiteral("nome inválido")) << bad;
}

TEST(TransfersDownload, RemoteListReReadDuringTheWalkEndsItSafely)
{
    TransferRig rig;
    // A click handled while PED1.txt downloads lists the folder again with fewer entries.
    FakeTransferControl::Reply recv;
    recv.effect = [&rig](const FtpCommand& c) {
        writeFile(c.args.value(1), "x");
        rig.showRemote({"../"});
    };
    rig.control.script(QStringLiteral("recv"), recv);
    rig.showRemote({"../", "PED1.txt", "PED2.txt"});

    const DownloadSummary s = rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent(), (QStringList{"recv PED1.txt " + rig.at("PED1.txt"), "delete PED1.txt"}));
    EXPECT_EQ(s.fetched, 1);
    EXPECT_TRUE(rig.session.logText().contains("A lista remota mudou durante o download"));
    EXPECT_EQ(rig.localFiles(), QStringList{"PED1.txt"});
}
