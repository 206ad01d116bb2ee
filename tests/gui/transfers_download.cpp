// The download walk: from position 1 on, each file into its ".part", then the folder listed once
// more, and what kept its size gets its name and is deleted on the server.
#include "transfers_rig.h"

#include <QDir>
#include <QPushButton>

TEST(TransfersDownload, WalkFetchesAllThenChecksThenDeletes)
{
    TransferRig rig;
    rig.showRemote({"../", "PED1.txt", "PED2.txt"}, true);
    const DownloadSummary s = rig.transfers->BAIXA_TUDO();

    EXPECT_EQ(rig.sent(), rig.walk({"PED1.txt", "PED2.txt"}));
    EXPECT_EQ(s.fetched, 2);
    EXPECT_EQ(s.failed + s.skipped + s.notDeleted + s.changed + s.received, 0);
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

TEST(TransfersDownload, PositionZeroBlanksRootAndShortLists)
{
    TransferRig rig;
    // Without a parent entry the file at position 0 stays on the server; a name with a blank
    // goes unquoted, as one argument.
    rig.showRemote({"PED1.txt", "PED 2.txt"});
    rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent(), rig.walk({"PED 2.txt"}));
    EXPECT_EQ(rig.control.executed[0].args, (QStringList{"PED 2.txt", rig.at("PED 2.txt.part")}));
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

    // At the root the name follows the separator directly.
    ASSERT_TRUE(rig.local->setPath(QStringLiteral("/")));
    FakeTransferControl::Reply refused;
    refused.ok = false;
    rig.control.script(QStringLiteral("recv"), refused);
    rig.control.executed.clear();
    rig.showRemote({"../", "PED1.txt"});
    rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent(), (QStringList{"recv PED1.txt /PED1.txt.part", "dir"}));
}

TEST(TransfersDownload, TheButtonRunsTheSameWalk)
{
    TransferRig rig;
    rig.showRemote({"../", "a.txt", "b.txt"});
    rig.w.lstRemote->item(0)->setSelected(true);
    rig.w.cmdRecebe->setEnabled(true);
    rig.w.cmdRecebe->click();
    EXPECT_EQ(rig.sent(), rig.walk({"a.txt", "b.txt"}));
}

// The server's copy goes only once the local one is complete and has its name.
TEST(TransfersDownload, ServerCopyIsDeletedOnlyAfterACompleteDownload)
{
    TransferRig rig;
    FakeTransferControl::Reply refused;
    refused.ok = false;
    refused.report = QStringLiteral("550 PED1.txt: Permission denied");
    rig.control.script(rig.recv("PED1.txt"), refused);
    // The control claims success but nothing reached the local folder.
    rig.control.script(rig.recv("PED3.txt"), FakeTransferControl::Reply{});
    // Fewer bytes than listed while both listings agree: a download cut short.
    FakeTransferControl::Reply cut;
    cut.effect = [](const FtpCommand& c) { writeFile(c.args.value(1), "ped"); };
    rig.control.script(rig.recv("PED5.txt"), cut);
    // The server keeps a file it was asked to delete.
    FakeTransferControl::Reply kept;
    kept.ok = false;
    rig.control.script(QStringLiteral("delete PED4.txt"), kept);
    rig.showRemote({"../", "PED1.txt", "PED2.txt", "PED3.txt", "PED4.txt", "PED5.txt"});

    const DownloadSummary s = rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent(), (QStringList{rig.recv("PED1.txt"), rig.recv("PED2.txt"), rig.recv("PED3.txt"),
                                       rig.recv("PED4.txt"), rig.recv("PED5.txt"), "dir", "delete PED2.txt",
                                       "delete PED4.txt"}));
    EXPECT_EQ(s.fetched, 2);
    EXPECT_EQ(s.failed, 3);
    EXPECT_EQ(s.notDeleted, 1);
    EXPECT_TRUE(rig.session.logText().contains("Falha ao baixar PED1.txt; o arquivo fica no servidor"));
    EXPECT_TRUE(rig.session.logText().contains("Falha ao baixar PED5.txt (veio incompleto)"));
    EXPECT_TRUE(rig.session.logText().contains("Falha ao apagar PED4.txt no servidor"));
    EXPECT_EQ(rig.localFiles(), (QStringList{"PED2.txt", "PED4.txt"}));
    EXPECT_TRUE(rig.dialogs.failureReported());
}

// An order still being written: the walk takes a file only when the listing it worked from, the
// bytes received and a listing a second later agree. The others stay on the server, without a
// ".part" left, and that is no failure.
TEST(TransfersDownload, AFileThatChangesDuringTheWalkStaysOnTheServer)
{
    TransferRig rig;
    rig.showRemote({"../", "PED1.txt", "GROWN.txt", "GROWING.txt", "LATE.txt", "GONE.txt"});
    // GROWN.txt grew between the listing and its download; GROWING.txt after its download;
    // LATE.txt grew and its download then failed; GONE.txt left the folder.
    FakeTransferControl::Reply grown;
    grown.effect = [](const FtpCommand& c) { writeFile(c.args.value(1), "pedido GROWN.txt\r\nmais uma linha"); };
    rig.control.script(rig.recv("GROWN.txt"), grown);
    FakeTransferControl::Reply late;
    late.ok = false;
    rig.control.script(rig.recv("LATE.txt"), late);
    RemoteListing now = rig.control.listing;
    for (const QString grew : {"GROWN.txt", "GROWING.txt", "LATE.txt"})
        now.sizes[grew] += 30;
    now.sizes.remove("GONE.txt");
    FakeTransferControl::Reply dir;
    dir.listing = now;
    rig.control.script(QStringLiteral("dir"), dir);

    const DownloadSummary s = rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent().mid(5), (QStringList{"dir", "delete PED1.txt"}));
    EXPECT_EQ(s.fetched, 1);
    EXPECT_EQ(s.changed, 4);
    EXPECT_EQ(s.failed + s.notDeleted, 0);
    EXPECT_EQ(rig.localFiles(), QStringList{"PED1.txt"});
    EXPECT_TRUE(rig.session.logText().contains("GROWING.txt mudou no servidor durante o download"));
    EXPECT_TRUE(rig.session.logText().contains("fica no servidor para a próxima execução"));
}

TEST(TransfersDownload, HostileAndFolderEntriesAreNeitherFetchedNorDeleted)
{
    TransferRig rig;
    rig.showRemote({"../", "../evil.txt", "a/b.txt", "a\\b.txt", "sub/", "..", "./", "x/../", "ok.txt"}, true);
    const DownloadSummary s = rig.transfers->BAIXA_TUDO();

    EXPECT_EQ(rig.sent(), rig.walk({"ok.txt"}));
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

// A local file is never overwritten; the same bytes already in the local folder or in the
// archive are the same order received before: deleted on the server, not kept twice.
TEST(TransfersDownload, LocalFilesAreNeitherOverwrittenNorDoubled)
{
    TransferRig rig;
    writeFile(rig.at("PED1.txt"), "pedido antigo");
    writeFile(rig.at("PED1 (2).txt"), "outro pedido antigo");
    writeFile(rig.at("PED2 (2).txt"), TransferRig::content("PED2.txt"));
    writeFile(rig.at("PED2.txt"), "outro");
    ASSERT_TRUE(QDir(rig.folder).mkdir("importados"));
    writeFile(rig.at("importados/PED3.txt"), TransferRig::content("PED3.txt"));
    writeFile(rig.at("PED3.txt.part"), "sobra de uma execução interrompida");
    rig.reopen();
    rig.showRemote({"../", "PED1.txt", "PED2.txt", "PED3.txt"});
    const DownloadSummary s = rig.transfers->BAIXA_TUDO();

    EXPECT_EQ(rig.sent(), rig.walk({"PED1.txt", "PED2.txt", "PED3.txt"}));
    EXPECT_EQ(s.fetched, 1);
    EXPECT_EQ(s.received, 2);
    EXPECT_EQ(readFile(rig.at("PED1.txt")), QByteArray("pedido antigo"));
    EXPECT_EQ(readFile(rig.at("PED1 (2).txt")), QByteArray("outro pedido antigo"));
    EXPECT_EQ(readFile(rig.at("PED1 (3).txt")), QByteArray("pedido PED1.txt"));
    EXPECT_EQ(rig.localFiles(), (QStringList{"PED1 (2).txt", "PED1 (3).txt", "PED1.txt", "PED2 (2).txt", "PED2.txt"}));
    EXPECT_TRUE(rig.session.logText().contains("Já recebido: PED3.txt (igual a " + rig.at("importados/PED3.txt")));
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
        writeFile(c.args.value(1), TransferRig::content("PED1.txt"));
        rig.w.lstRemote->clear();
        rig.w.lstRemote->addItem("../");
    };
    rig.control.script(QStringLiteral("recv"), recv);
    rig.showRemote({"../", "PED1.txt", "PED2.txt"});

    const DownloadSummary s = rig.transfers->BAIXA_TUDO();
    EXPECT_EQ(rig.sent(), rig.walk({"PED1.txt"}));
    EXPECT_EQ(s.fetched, 1);
    EXPECT_TRUE(rig.session.logText().contains("A lista remota mudou durante o download"));
    EXPECT_EQ(rig.localFiles(), QStringList{"PED1.txt"});
}
