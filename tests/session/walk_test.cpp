// The download walk: each file into its ".part", the folder listed once more, then what kept
// its size gets its name and is deleted on the server. On the scripted control, and on real
// servers for what only they show (a file growing, a server gone, its ways of listing).
#include "ftp/curl/curl_transfer_control.h"
#include "session_rig.h"
#include "support/ftp_server.h"

#include <QElapsedTimer>

#include <fstream>

using WalkRig = SessionRig<>;

// From position 1 on, whatever the selection; names with blanks go as one argument; the visited
// entries stay, unselected; the file list shows what the folder now holds. Nothing or only the
// parent entry sends nothing. At the root the name follows the separator directly.
TEST(Walk, FetchesAllThenChecksThenDeletes)
{
    WalkRig rig;
    rig.showRemote({"../", "PED1.txt", "PED 2.txt"}, true);
    rig.download();
    EXPECT_EQ(rig.sent(), (QStringList{rig.recv("PED1.txt"), rig.recv("PED 2.txt"), "dir", "delete PED1.txt", "delete PED 2.txt"}));
    EXPECT_EQ(rig.control.executed[1].args, (QStringList{"PED 2.txt", rig.at("PED 2.txt.part")}));
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../*", "PED1.txt", "PED 2.txt"}));
    EXPECT_EQ(rig.local.names(), (QStringList{"PED 2.txt", "PED1.txt"}));
    EXPECT_EQ(readFile(rig.at("PED 2.txt")), "pedido PED 2.txt");
    EXPECT_TRUE(rig.log().contains("Baixado: PED1.txt -> " + rig.at("PED1.txt")));
    EXPECT_EQ(rig.session.failures(), 0);

    for (const QStringList& entries : {QStringList{}, QStringList{"../"}}) {
        rig.control.executed.clear();
        rig.showRemote(entries);
        EXPECT_EQ(rig.download().fetched, 0);
        EXPECT_EQ(rig.sent(), QStringList());
    }

    rig.local.setPath("/");
    rig.control.script("recv", FakeTransferControl::refusal());
    rig.showRemote({"PED0.txt", "PED1.txt"}); // without a parent entry position 0 stays too
    rig.download();
    EXPECT_EQ(rig.sent().mid(0, 2), (QStringList{"recv PED1.txt /PED1.txt.part", "dir"}));
}

// The server's copy goes only once the local one is complete, kept its listed size in both
// listings and has its name. Changed files stay without a ".part" left, and that is no failure.
TEST(Walk, OnlyCompleteUnchangedFilesAreKeptAndDeleted)
{
    WalkRig rig;
    rig.control.script(rig.recv("REFUSED.txt"), FakeTransferControl::refusal("550 Permission denied"));
    rig.control.script(rig.recv("EMPTY.txt"), Reply{}); // success claimed, nothing arrived
    Reply cut;                                         // fewer bytes than both listings give
    cut.effect = [](const FtpCommand& c) { writeFile(c.args.value(1), "ped"); };
    rig.control.script(rig.recv("SHORT.txt"), cut);
    Reply grown; // grew between the listing and its download
    grown.effect = [](const FtpCommand& c) { writeFile(c.args.value(1), "pedido GROWN.txt e mais"); };
    rig.control.script(rig.recv("GROWN.txt"), grown);
    rig.control.script("delete KEPT.txt", FakeTransferControl::refusal()); // the server keeps it
    rig.showRemote({"../", "PED1.txt", "REFUSED.txt", "EMPTY.txt", "SHORT.txt", "GROWN.txt", "GROWING.txt", "GONE.txt", "KEPT.txt"});
    Reply dir; // the second listing: GROWING.txt grew after its download, GONE.txt left
    dir.listing = rig.control.listing;
    dir.listing->sizes["GROWN.txt"] += 8;
    dir.listing->sizes["GROWING.txt"] += 8;
    dir.listing->sizes.remove("GONE.txt");
    rig.control.script("dir", dir);

    const DownloadSummary s = rig.download();
    EXPECT_EQ(rig.sent().mid(8), (QStringList{"dir", "delete PED1.txt", "delete KEPT.txt"}));
    EXPECT_EQ(QStringList({QString::number(s.fetched), QString::number(s.failed), QString::number(s.changed),
                           QString::number(s.notDeleted)}),
              QStringList({"2", "3", "3", "1"}));
    EXPECT_EQ(rig.localFiles(), (QStringList{"KEPT.txt", "PED1.txt"}));
    for (const char* line : {"Falha ao baixar REFUSED.txt; o arquivo fica no servidor", "Falha ao baixar SHORT.txt (veio incompleto)",
                             "GROWING.txt mudou no servidor durante o download", "Falha ao apagar KEPT.txt no servidor"})
        EXPECT_TRUE(rig.log().contains(QString::fromUtf8(line))) << line;
    EXPECT_GT(rig.session.failures(), 0);

    // A second listing that fails: nothing is deleted and nothing kept.
    rig.control.script("dir", FakeTransferControl::refusal());
    rig.control.executed.clear();
    rig.showRemote({"../", "PED2.txt"});
    EXPECT_EQ(rig.download().failed, 1);
    EXPECT_EQ(rig.sent(), (QStringList{rig.recv("PED2.txt"), "dir"}));
    EXPECT_EQ(rig.localFiles(), (QStringList{"KEPT.txt", "PED1.txt"}));
}

// Folders and names that are not a plain file name in this folder are neither fetched nor deleted.
TEST(Walk, HostileAndFolderEntriesAreNeitherFetchedNorDeleted)
{
    WalkRig rig;
    rig.showRemote({"../", "../evil.txt", "a/b.txt", "a\\b.txt", "sub/", "..", "x/../", "ok.txt"});
    EXPECT_EQ(rig.download().skipped, 6);
    EXPECT_EQ(rig.sent(), (QStringList{rig.recv("ok.txt"), "dir", "delete ok.txt"}));
    for (const char* line : {"Ignorado: ../evil.txt (nome inválido)", "Ignorado: sub/ (pasta)"})
        EXPECT_TRUE(rig.log().contains(QString::fromUtf8(line))) << line;
}

// A local file is never overwritten; the same bytes already in the local folder or in the
// archive are the same order received before: deleted on the server, not kept twice.
TEST(Walk, LocalFilesAreNeitherOverwrittenNorDoubled)
{
    WalkRig rig;
    writeFile(rig.at("PED1.txt"), "pedido antigo");
    writeFile(rig.at("PED1 (2).txt"), "outro pedido antigo");
    writeFile(rig.at("PED2 (2).txt"), WalkRig::content("PED2.txt"));
    writeFile(rig.at("PED2.txt"), "outro");
    ASSERT_TRUE(QDir(rig.folder).mkdir("importados"));
    writeFile(rig.at("importados/PED3.txt"), WalkRig::content("PED3.txt"));
    writeFile(rig.at("PED3.txt.part"), "sobra de uma execução interrompida");
    rig.showRemote({"../", "PED1.txt", "PED2.txt", "PED3.txt"});
    const DownloadSummary s = rig.download();

    EXPECT_EQ(rig.sent().mid(3), (QStringList{"dir", "delete PED1.txt", "delete PED2.txt", "delete PED3.txt"}));
    EXPECT_EQ(s.fetched, 1);
    EXPECT_EQ(s.received, 2);
    EXPECT_EQ(readFile(rig.at("PED1.txt")), "pedido antigo");
    EXPECT_EQ(readFile(rig.at("PED1 (3).txt")), "pedido PED1.txt");
    EXPECT_EQ(rig.localFiles(), (QStringList{"PED1 (2).txt", "PED1 (3).txt", "PED1.txt", "PED2 (2).txt", "PED2.txt"}));
    EXPECT_TRUE(rig.log().contains("Já recebido: PED3.txt (igual a " + rig.at("importados/PED3.txt")));
}

// The remote folder listed anew by a click while a file downloads, or a stop asked for: the
// walk ends; what was not checked stays on the server, nothing of it in the local folder.
TEST(Walk, AFolderListedAnewOrAStopEndsTheWalk)
{
    WalkRig rig;
    Reply recv;
    recv.effect = [&rig](const FtpCommand& c) {
        writeFile(c.args.value(1), WalkRig::content("PED1.txt"));
        rig.session.remote().setEntries({"../", "PED1.txt", "PED2.txt"});
    };
    rig.control.script("recv", recv);
    rig.showRemote({"../", "PED1.txt", "PED2.txt"});
    EXPECT_EQ(rig.download().fetched, 1);
    EXPECT_EQ(rig.sent(), (QStringList{rig.recv("PED1.txt"), "dir", "delete PED1.txt"}));
    EXPECT_TRUE(rig.log().contains("A lista remota mudou durante o download"));

    WalkRig stopping;
    recv.effect = [&stopping](const FtpCommand& c) {
        writeFile(c.args.value(1), WalkRig::content(c.args.value(0)));
        if (c.args.value(0) == "B.txt")
            stopping.session.requestStop();
    };
    stopping.control.script("recv", recv);
    stopping.showRemote({"../", "A.txt", "B.txt", "C.txt"});
    stopping.download();
    EXPECT_EQ(stopping.sent(), (QStringList{stopping.recv("A.txt"), stopping.recv("B.txt")}));
    EXPECT_EQ(stopping.localFiles(), QStringList());
}

// On the real control: lines added to an order while the walk runs, before its download or after
// it, leave the file on the server and nothing of it locally; listed again once the writer is
// done, it is taken whole.
TEST(Walk, AnOrderStillBeingWrittenOnARealServerIsTakenOnlyWhenWhole)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    const QByteArray order = "NumeroPedido: 4242\r\nProdutoVendido: 7891234000019|caneta|1,50|1|1,50|0|\r\n";
    const QByteArray more = QByteArray("ProdutoVendido: 7891234000026|lápis|1,00|1|1,00|0|\r\n").repeated(100);
    for (const char* name : {"pedidos/PED1.txt", "pedidos/GROW1.txt", "pedidos/GROW2.txt"})
        server.writeFile(name, order);
    SessionRig<CurlTransferControl> rig;
    rig.session.setAddress(server.address());
    rig.session.setUserName(server.user());
    rig.session.setPassword(server.password());
    ASSERT_TRUE(rig.session.CONECTA());
    ASSERT_TRUE(rig.session.EXECUTA_COMANDO(FtpCommand{"cd", {"pedidos"}}, true));

    // GROW1.txt grows as its download is asked for, GROW2.txt as the folder is listed again.
    int grown = 0;
    rig.dialogs.onTrace = [&](const QString& line) {
        if (line.startsWith("Comando: recv GROW1.txt") || (grown == 1 && line == "Comando: dir"))
            server.appendFile(QStringLiteral("pedidos/GROW%1.txt").arg(++grown), more);
    };
    DownloadSummary s = rig.download();
    rig.dialogs.onTrace = {};
    EXPECT_EQ(grown, 2);
    EXPECT_EQ(s.fetched, 1);
    EXPECT_EQ(s.changed, 2);
    EXPECT_EQ(rig.session.failures(), 0);
    EXPECT_EQ(rig.localFiles(), QStringList{"PED1.txt"});
    EXPECT_EQ(QDir(server.path("pedidos")).entryList(QDir::Files), (QStringList{"GROW1.txt", "GROW2.txt"}));

    ASSERT_TRUE(rig.session.EXECUTA_COMANDO(FtpCommand{"cd", {"."}}, true));
    EXPECT_EQ(rig.download().fetched, 2);
    EXPECT_EQ(QDir(server.path("pedidos")).entryList(QDir::Files), QStringList());
    EXPECT_EQ(readFile(rig.at("GROW1.txt")), order + more);
}

namespace {
// The real control on `server`, in the folder "pedidos".
void enterPedidos(SessionRig<CurlTransferControl>& rig, const FtpServerFixture& server)
{
    rig.session.setAddress(server.address());
    rig.session.setUserName(server.user());
    rig.session.setPassword(server.password());
    ASSERT_TRUE(rig.session.CONECTA());
    ASSERT_TRUE(rig.session.EXECUTA_COMANDO(FtpCommand{"cd", {"pedidos"}}, true));
}

QStringList remoteFiles(const FtpServerFixture& server)
{
    return QDir(server.path("pedidos")).entryList(QDir::Files);
}
} // namespace

// A server that stops answering in the middle of the walk (SIGSTOP, as a link that drops), and
// one that is killed: one new login is tried, then the walk ends, within twice the request
// time-out, with one report; nothing unchecked is kept or deleted, and the next walk takes
// every file once.
TEST(Walk, AServerGoneSilentOrDownEndsTheWalkWithOneReportAndLosesNothing)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    for (int i = 0; i < 12; ++i)
        server.writeFile(QStringLiteral("pedidos/PED%1.txt").arg(i, 2, 10, QChar('0')), "pedido " + QByteArray::number(i));
    SessionRig<CurlTransferControl> rig;
    const int timeoutMs = 1500;
    rig.control.setRequestTimeoutMs(timeoutMs);
    enterPedidos(rig, server);

    const struct {
        const char* stopAt;
        std::function<void()> stop, revive;
    } faults[] = {
        {"Comando: recv PED04.txt", [&] { server.pause(); }, [&] { server.resume(); }},
        {"Comando: recv PED02.txt", [&] { server.stop(); }, [&] { ASSERT_TRUE(server.restart()); }},
    };
    for (const auto& fault : faults) {
        rig.dialogs.alerts.clear();
        rig.dialogs.onTrace = [&](const QString& line) {
            if (line.startsWith(QLatin1String(fault.stopAt) + " "))
                fault.stop();
        };
        QElapsedTimer clock;
        clock.start();
        const DownloadSummary lost = rig.download();
        rig.dialogs.onTrace = {};
        EXPECT_LT(clock.elapsed(), 2 * timeoutMs + 30000) << fault.stopAt;
        EXPECT_FALSE(lost.serverLost.isEmpty()) << fault.stopAt;
        EXPECT_EQ(lost.leftOnServer, 12) << fault.stopAt;
        ASSERT_EQ(rig.dialogs.alerts.size(), 1) << rig.dialogs.alerts.join('\n').toStdString();
        EXPECT_TRUE(rig.dialogs.alerts[0].contains("12 arquivo(s) ficam no servidor")) << rig.dialogs.alerts[0].toStdString();
        EXPECT_EQ(rig.localFiles(), QStringList()) << fault.stopAt;
        fault.revive();
        EXPECT_EQ(remoteFiles(server).size(), 12) << fault.stopAt;
    }
    ASSERT_TRUE(rig.session.EXECUTA_COMANDO(FtpCommand{"cd", {"."}}, true));
    const DownloadSummary again = rig.download();
    EXPECT_EQ(again.fetched, 12);
    EXPECT_TRUE(again.serverLost.isEmpty());
    EXPECT_EQ(rig.localFiles().size(), 12);
    EXPECT_EQ(readFile(rig.at("PED11.txt")), "pedido 11");
    EXPECT_EQ(remoteFiles(server), QStringList());
}

// A server that lacks MLSD (500, with the login folder an absolute path of the machine, as
// vsftpd without chroot) or refuses it (550) is listed with LIST; names in UTF-8 and
// one an old Windows tool wrote in Windows-1252 each keep their own encoding: fetched under
// their names and deleted by the bytes the server has. A server offering UTF8 is asked for it.
TEST(Walk, MlsdRefusedAndMixedNameEncodingsStillTakeEveryFile)
{
    for (const auto& [refusal, absoluteHome] : {std::pair{"500 Unknown command.", true}, {"550 Unable to handle command", false}}) {
        SCOPED_TRACE(refusal);
        PyFtpServer::Options options;
        options.refuseCommand = "MLSD";
        options.refusal = refusal;
        options.absoluteHome = absoluteHome;
        PyFtpServer server(options);
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        server.writeFile(QString::fromUtf8("pedidos/PED 1006 ação.txt"), "utf-8");
        {
            std::ofstream latin((QFile::encodeName(server.path("pedidos")) + "/PED1031 caf\xe9.txt").constData());
            latin << "cp1252";
        }
        SessionRig<CurlTransferControl> rig;
        enterPedidos(rig, server);
        EXPECT_EQ(rig.session.remote().path(), (options.absoluteHome ? server.root() : QString()) + "/pedidos");
        const QStringList names{QString::fromUtf8("PED 1006 ação.txt"), QString::fromUtf8("PED1031 café.txt")};
        EXPECT_EQ(rig.remoteEntries(), QStringList{"../"} + names);

        const DownloadSummary s = rig.download();
        EXPECT_EQ(s.fetched, 2) << rig.log().toStdString();
        EXPECT_EQ(rig.localFiles(), names);
        EXPECT_EQ(readFile(rig.at(names[1])), "cp1252");
        EXPECT_EQ(QDir(server.path("pedidos")).entryList(QDir::Files | QDir::Hidden), QStringList());
        EXPECT_EQ(server.commandCount("MLSD"), 1) << "refused once, then LIST for the session";
        EXPECT_EQ(server.commandCount("OPTS"), 1);
    }
}
