// The unattended run of the real program when the server lets it down: the connection cut in
// the middle of a download, hostile names in the listing, a remote folder that does not exist, a
// login it refuses, and a server that is not there at all.
#include "e2e_rig.h"

using e2e::Rig;
using e2e::RunResult;

namespace {

QString describe(const RunResult& r)
{
    return QStringLiteral("exit %1, stderr:\n%2").arg(r.exitCode).arg(r.err);
}

bool hasPartialOrOrderFile(const QString& folder)
{
    for (const QString& n : Rig::filesIn(folder))
        if (n.endsWith(QLatin1String(".part")) || n.endsWith(QLatin1String(".txt")))
            return true;
    return false;
}

// An order of about 200 KB, so that its download takes a while: lines that begin with no key
// are not read.
QByteArray bigOrder(int number)
{
    QByteArray order = e2e::simpleOrder(number);
    for (int i = 0; i < 2500; ++i)
        order += "Observacao: linha de preenchimento do pedido grande, sem efeito na importacao\r\n";
    return order;
}

} // namespace

TEST(E2e, AConnectionCutDuringADownloadKeepsTheOrderForTheNextRun)
{
    PyFtpServer::Options options;
    // pyftpdlib sends 64 KB at once, then waits until the rate is back under the limit: the
    // first block arrives at once, the rest a few seconds later.
    options.throttleBytesPerSec = 32768;
    Rig rig(options);
    ASSERT_TRUE(rig.ready());
    const QByteArray big = bigOrder(9101);
    rig.server.writeFile(QStringLiteral("pedidos/PED9101.txt"), big);

    auto process = rig.start();
    // Cut the server off once the download has begun.
    const bool downloading = e2e::waitFor(
        [&] {
            for (const QString& n : Rig::filesIn(rig.local()))
                if (n.endsWith(QLatin1String(".part")))
                    return QFileInfo(QDir(rig.local()).filePath(n)).size() > 0;
            return false;
        },
        20000);
    rig.server.stop();
    const RunResult cut = Rig::finish(*process, 60000);
    ASSERT_TRUE(downloading) << "the download never started: " << cut.err.toStdString();
    ASSERT_TRUE(cut.finished) << "the run hung after the server went away";
    EXPECT_EQ(cut.status, QProcess::NormalExit);
    EXPECT_EQ(cut.exitCode, 1) << describe(cut).toStdString();
    // The server keeps the order; nothing partial is left or booked locally.
    EXPECT_EQ(rig.server.readFile(QStringLiteral("pedidos/PED9101.txt")), big);
    EXPECT_FALSE(hasPartialOrOrderFile(rig.local())) << Rig::filesIn(rig.local()).join(", ").toStdString();
    EXPECT_EQ(Rig::filesIn(rig.archive()), QStringList());
    EXPECT_EQ(rig.ordersBooked(9101), 0);
    EXPECT_EQ(rig.ftpIniLines().value(4), QStringLiteral("PASTAS=/pedidos"));

    // The server is back: the next run fetches and books it once.
    ASSERT_TRUE(rig.server.restart()) << rig.server.error().toStdString();
    const RunResult next = rig.run(90000);
    ASSERT_TRUE(next.finished);
    EXPECT_EQ(next.exitCode, 0) << describe(next).toStdString();
    EXPECT_EQ(rig.ordersBooked(9101), 1);
    EXPECT_EQ(rig.itemsOf(9101), 2);
    EXPECT_FALSE(rig.server.exists(QStringLiteral("pedidos/PED9101.txt")));
    EXPECT_EQ(Rig::filesIn(rig.archive()), QStringList({QStringLiteral("PED9101.txt")}));
    EXPECT_EQ(Rig::read(QDir(rig.archive()).filePath(QStringLiteral("PED9101.txt"))), big);
    EXPECT_EQ(Rig::filesIn(rig.local()), QStringList());
}

TEST(E2e, ARunKilledDuringADownloadLeavesNothingTheNextRunCannotFinish)
{
    PyFtpServer::Options options;
    options.throttleBytesPerSec = 32768;
    Rig rig(options);
    ASSERT_TRUE(rig.ready());
    const QByteArray big = bigOrder(9301);
    rig.server.writeFile(QStringLiteral("pedidos/PED9301.txt"), big);

    // The scheduler (or a power cut) ends the program in the middle of the download.
    auto process = rig.start();
    const bool downloading = e2e::waitFor(
        [&] { return QFileInfo(QDir(rig.local()).filePath(QStringLiteral("PED9301.txt.part"))).size() > 0; }, 20000);
    process->kill();
    process->waitForFinished(10000);
    ASSERT_TRUE(downloading) << QString::fromUtf8(process->readAllStandardError()).toStdString();
    EXPECT_EQ(rig.server.readFile(QStringLiteral("pedidos/PED9301.txt")), big);
    EXPECT_EQ(rig.ordersBooked(9301), 0);

    // The next run is not refused by the dead run's lock, and finishes the job: the order booked
    // once, the half-written file gone.
    const RunResult next = rig.run(90000);
    ASSERT_TRUE(next.finished);
    EXPECT_EQ(next.exitCode, 0) << describe(next).toStdString();
    EXPECT_EQ(rig.ordersBooked(9301), 1);
    EXPECT_FALSE(rig.server.exists(QStringLiteral("pedidos/PED9301.txt")));
    EXPECT_EQ(Rig::treeOf(rig.local()), QStringList({QStringLiteral("importados/PED9301.txt")}));
    EXPECT_EQ(Rig::read(QDir(rig.archive()).filePath(QStringLiteral("PED9301.txt"))), big);
}

TEST(E2e, HostileNamesInTheListingAreNeitherFetchedNorDeleted)
{
    PyFtpServer::Options options;
    options.listExtraNames = {QStringLiteral("../evil.txt"), QStringLiteral("a/b.txt"), QStringLiteral("a\\b.txt"),
                              QStringLiteral("../../../../../../tmp/fora.txt")};
    Rig rig(options);
    ASSERT_TRUE(rig.ready());
    // Real files behind the names, so that a fetch or a delete through them would work on the
    // server and show.
    rig.server.writeFile(QStringLiteral("evil.txt"), e2e::simpleOrder(6001));
    rig.server.writeFile(QStringLiteral("pedidos/a/b.txt"), e2e::simpleOrder(6002));
    rig.server.writeFile(QStringLiteral("pedidos/a\\b.txt"), e2e::simpleOrder(6003));
    rig.server.writeFile(QStringLiteral("pedidos/PED6000.txt"), e2e::simpleOrder(6000));
    const QStringList serverBefore = Rig::treeOf(rig.server.root());
    const QStringList baseBefore = Rig::filesIn(rig.base());

    const RunResult r = rig.run();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.status, QProcess::NormalExit);

    // Only the plain order was fetched, deleted on the server and booked.
    QStringList serverAfter = serverBefore;
    serverAfter.removeAll(QStringLiteral("pedidos/PED6000.txt"));
    EXPECT_EQ(Rig::treeOf(rig.server.root()), serverAfter) << describe(r).toStdString();
    EXPECT_EQ(rig.ordersBooked(6000), 1) << describe(r).toStdString();
    for (int n : {6001, 6002, 6003})
        EXPECT_EQ(rig.ordersBooked(n), 0) << n;
    // Nothing was written anywhere but the local folder and its archive.
    EXPECT_EQ(Rig::treeOf(rig.local()), QStringList({QStringLiteral("importados/PED6000.txt")}));
    EXPECT_EQ(Rig::filesIn(rig.base()), baseBefore);
    EXPECT_EQ(QDir(rig.base()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("app"), QStringLiteral("local")}));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/fora.txt")));
    // Each one is named in the log.
    for (const QString& name : options.listExtraNames)
        EXPECT_TRUE(r.err.contains(QStringLiteral("Ignorado: %1 (nome inválido)").arg(name))) << r.err.toStdString();
}

TEST(E2e, WithoutTheRemoteFolderTheLoginOrTheServerNothingIsFetched)
{
    Rig rig;
    ASSERT_TRUE(rig.ready());
    // The configured folder does not exist; the login folder and another folder hold orders
    // that must stay where they are.
    rig.writeFtpIni(rig.server.address(), QStringLiteral("/naoexiste"));
    rig.server.writeFile(QStringLiteral("PED-RAIZ.txt"), e2e::simpleOrder(9201));
    rig.server.writeFile(QStringLiteral("pedidos/PED-OUTRA.txt"), e2e::simpleOrder(9202));
    rig.writeLocal(QStringLiteral("PED-LOCAL.txt"), e2e::simpleOrder(9203));
    const QStringList serverBefore = Rig::treeOf(rig.server.root());

    const RunResult r = rig.run();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 1) << describe(r).toStdString();
    EXPECT_EQ(Rig::treeOf(rig.server.root()), serverBefore);
    EXPECT_EQ(rig.ordersBooked(9201), 0);
    EXPECT_EQ(rig.ordersBooked(9202), 0);
    EXPECT_EQ(rig.ordersBooked(9203), 1);
    EXPECT_EQ(Rig::treeOf(rig.local()), QStringList({QStringLiteral("importados/PED-LOCAL.txt")}));
    // The configured folder is kept for the next run, not the login folder.
    const QStringList ini = rig.ftpIniLines();
    ASSERT_EQ(ini.size(), 6) << ini.join(" | ").toStdString();
    EXPECT_EQ(ini.value(4), QStringLiteral("PASTAS=/naoexiste"));
    EXPECT_EQ(ini.value(5), QStringLiteral("COD_VENDEDOR=2"));

    // A wrong password: one login attempt (hosts block addresses that keep trying), and nothing
    // touched on either side: the local order waits, ftp.ini stays as it was.
    rig.writeFtpIni(rig.server.address(), QStringLiteral("/pedidos"), QStringLiteral("2"), QStringLiteral("senha errada"));
    rig.writeLocal(QStringLiteral("PED-LOCAL2.txt"), e2e::simpleOrder(9204));
    const QStringList iniBefore = rig.ftpIniLines();
    const int users = rig.server.commandCount(QStringLiteral("USER"));
    const RunResult refused = rig.run();
    ASSERT_TRUE(refused.finished);
    EXPECT_EQ(refused.exitCode, 1) << describe(refused).toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("530"))) << refused.err.toStdString();
    EXPECT_EQ(rig.server.commandCount(QStringLiteral("USER")) - users, 1);
    EXPECT_EQ(rig.ftpIniLines(), iniBefore);
    EXPECT_EQ(rig.ordersBooked(9204), 0);
    EXPECT_EQ(Rig::treeOf(rig.local()),
              QStringList({QStringLiteral("PED-LOCAL2.txt"), QStringLiteral("importados/PED-LOCAL.txt")}));
    EXPECT_EQ(Rig::treeOf(rig.server.root()), serverBefore);

    // The server is down: the local order is booked, and the run ends on its own.
    rig.writeFtpIni(rig.server.address());
    rig.server.stop();
    const RunResult down = rig.run(90000);
    ASSERT_TRUE(down.finished) << "the run hung on a server that is not there";
    EXPECT_EQ(down.status, QProcess::NormalExit);
    EXPECT_EQ(down.exitCode, 1) << describe(down).toStdString();
    EXPECT_TRUE(down.err.contains(QStringLiteral("127.0.0.1"))) << down.err.toStdString();
    EXPECT_EQ(rig.ordersBooked(9204), 1);
    EXPECT_EQ(Rig::treeOf(rig.local()),
              QStringList({QStringLiteral("importados/PED-LOCAL.txt"), QStringLiteral("importados/PED-LOCAL2.txt")}));
    EXPECT_EQ(Rig::treeOf(rig.server.root()), serverBefore);
    EXPECT_EQ(rig.ftpIniLines().value(4), QStringLiteral("PASTAS=/pedidos"));
    EXPECT_EQ(rig.allOrders(), 2);
}
