// The local side failing the unattended run, run after run: a disk that refuses a download, a
// database that cannot be opened, a file standing where "importados" should be. No order may be
// lost: what could not be written stays on the server, what could not be booked or archived stays
// in the local folder, and the first run that can settles everything once.
#include "support/unattended_rig.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/resource.h>

TEST(FaultsLocal, AFullDiskAMissingDatabaseAndABlockedArchiveLoseNothing)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    const QByteArray big = rig::orderFile(302, 600);
    ASSERT_GT(big.size(), 24 * 1024);
    server.writeFile(QStringLiteral("pedidos/PED301.txt"), rig::orderFile(301));
    server.writeFile(QStringLiteral("pedidos/PED302.txt"), big);
    server.writeFile(QStringLiteral("pedidos/PED303.txt"), rig::orderFile(303));
    testdb::FirebirdTestDatabase db;
    rig::Program program;
    ASSERT_EQ(program.error(), QString());
    program.writeFtpIni(server);
    const QStringList orders{QStringLiteral("PED301.txt"), QStringLiteral("PED302.txt"), QStringLiteral("PED303.txt")};

    // No file beyond 16 KiB may be written: the big download fails with EFBIG, as on a full disk
    // (SIGXFSZ ignored, as a shell's "ulimit -f" leaves it). And the database is not there.
    ZeltoSettings missing = db.settings();
    missing.databasePath = QDir(db.folder()).filePath(QStringLiteral("nao_existe.fdb"));
    testdb::writeZeltoIni(program.appFolder(), missing);
    rig::Result r = program.run({{}, {}, {}, [] {
                                     ::signal(SIGXFSZ, SIG_IGN);
                                     const rlimit limit{16 * 1024, 16 * 1024};
                                     ::setrlimit(RLIMIT_FSIZE, &limit);
                                 }});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("PED302.txt"))) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("banco de dados")) && r.err.contains(missing.databasePath)) << rig::describe(r);
    EXPECT_FALSE(r.out.contains(QStringLiteral("Pedidos:"))) << "no summary of a batch that never began";
    EXPECT_EQ(server.readFile(QStringLiteral("pedidos/PED302.txt")), big);
    EXPECT_FALSE(server.exists(QStringLiteral("pedidos/PED301.txt")));
    EXPECT_FALSE(server.exists(QStringLiteral("pedidos/PED303.txt")));
    // The small ones are safe in the local folder, not archived; no piece of the big one is left.
    EXPECT_EQ(program.localFiles(), (QStringList{QStringLiteral("PED301.txt"), QStringLiteral("PED303.txt")}));
    EXPECT_EQ(program.archivedFiles(), QStringList());
    EXPECT_TRUE(rig::runLockIsFree(program.appFolder()));

    // The database is back, but a file stands where "importados" should be: booked, not archived.
    db.writeZeltoIni(program.appFolder());
    QFile blocker(program.archive());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    r = program.run();
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(program.archive())) << rig::describe(r);
    EXPECT_FALSE(server.exists(QStringLiteral("pedidos/PED302.txt")));
    EXPECT_EQ(program.localFiles(), QStringList(orders) << QStringLiteral("importados"));
    const rig::BookedOrders booked{{301, {1, 2}}, {302, {1, 600}}, {303, {1, 2}}};
    EXPECT_EQ(rig::bookedOrders(db), booked);

    // The folder can be made now: the orders are recognised as booked and archived, not booked again.
    ASSERT_TRUE(QFile::remove(program.archive()));
    r = program.run();
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_EQ(program.localFiles(), QStringList());
    EXPECT_EQ(program.archivedFiles(), orders);
    EXPECT_EQ(rig::bookedOrders(db), booked);
}
