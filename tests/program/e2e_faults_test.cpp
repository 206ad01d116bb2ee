// The unattended run of the real program when the server lets it down: hostile names in the
// listing, a remote folder that does not exist, a login it refuses, and a server that is not there
// at all. (A connection cut in the middle of the walk: faults_kill_test.cpp.)
#include "e2e_rig.h"

using e2e::Rig;
using e2e::RunResult;

namespace {

QString describe(const RunResult& r)
{
    return QStringLiteral("exit %1, stderr:\n%2\nstdout:\n%3").arg(r.exitCode).arg(r.err, r.out);
}

} // namespace

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
        EXPECT_TRUE(r.out.contains(QStringLiteral("Ignorado: %1 (nome inválido)").arg(name))) << r.out.toStdString();
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
