// The local side failing the unattended run: a disk that refuses a download and a database that
// cannot be opened. No order may be lost: what could not be written stays on the server, what
// could not be booked stays in the local folder.
#include "support/unattended_rig.h"

#include <QDir>

#include <csignal>
#include <sys/resource.h>

TEST_F(Unattended, AFullDiskAndAMissingDatabaseLoseNothing)
{
    const QByteArray big = rig::orderFile(302, 600);
    ASSERT_GT(big.size(), 24 * 1024);
    server.writeFile(QStringLiteral("pedidos/PED301.txt"), rig::orderFile(301));
    server.writeFile(QStringLiteral("pedidos/PED302.txt"), big);
    server.writeFile(QStringLiteral("pedidos/PED303.txt"), rig::orderFile(303));

    // No file beyond 16 KiB may be written: the big download fails with EFBIG, as on a full disk
    // (SIGXFSZ ignored, as a shell's "ulimit -f" leaves it). And the database is not there.
    ZeltoSettings missing = db.settings();
    missing.databasePath = QDir(db.folder()).filePath(QStringLiteral("nao_existe.fdb"));
    testdb::writeZeltoIni(program.appFolder(), missing);
    rig::Result r = program.run({{}, {}, {}, [] {
                                     ::signal(SIGXFSZ, SIG_IGN);
                                     const rlimit limit{16 * 1024, 16 * 1024};
                                     ::setrlimit(RLIMIT_FSIZE, &limit);
                                 }, {}});
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
}
