// The database failing the unattended run: missing at the start, or its server dying in the
// middle of an order. Nothing may be archived or lost, and the next run books every order once.
#include "import/db/firebird/firebird_connection.h"
#include "support/firebird_server.h"
#include "support/ftp_server.h"
#include "support/test_database.h"
#include "support/unattended_rig.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port nobody listens on (bound a moment ago, then released).
int deadPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

void writeLocal(const rig::ProgramFolders& folders, const QString& name, const QByteArray& data)
{
    QFile f(QDir(folders.localFolder()).filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

TEST(FaultsDatabase, UnreachableAtTheStartKeepsTheOrdersAndTheNextRunBooksThemOnce)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile(QStringLiteral("pedidos/PED101.txt"), rig::orderFile(101, 2));
    server.writeFile(QStringLiteral("pedidos/PED102.txt"), rig::orderFile(102, 3));
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    folders.writeFtpIni(server, QStringLiteral("pedidos"));

    const QStringList orders{QStringLiteral("PED101.txt"), QStringLiteral("PED102.txt")};
    const QString missingFile = QDir(db.folder()).filePath(QStringLiteral("nao_existe.fdb"));
    const QString deadServer = QStringLiteral("127.0.0.1/%1:%2").arg(deadPort()).arg(db.path());
    for (const QString& where : {missingFile, deadServer}) {
        SCOPED_TRACE(where.toStdString());
        ZeltoSettings settings = db.settings();
        settings.databasePath = where;
        testdb::writeZeltoIni(folders.appFolder(), settings);

        const rig::ProgramResult r = rig::runProgram(folders);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.status, QProcess::NormalExit);
        EXPECT_EQ(r.exitCode, 1);
        // The message says what failed and which database.
        EXPECT_TRUE(r.err.contains(QStringLiteral("banco de dados"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(where)) << r.err.toStdString();
        // Fetched (they are safe in the local folder), not archived, not deleted.
        EXPECT_EQ(folders.localFiles(), orders);
        EXPECT_TRUE(folders.archivedFiles().isEmpty());
        EXPECT_FALSE(server.exists(QStringLiteral("pedidos/PED101.txt")));
        EXPECT_TRUE(rig::runLockIsFree(folders.appFolder()));
    }

    // The database is back: both orders booked once, archived; a further run changes nothing.
    db.writeZeltoIni(folders.appFolder());
    for (int run = 0; run < 2; ++run) {
        const rig::ProgramResult r = rig::runProgram(folders);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(folders.localFiles().isEmpty()) << folders.localFiles().join(' ').toStdString();
        EXPECT_EQ(folders.archivedFiles(), orders);
        auto probe = db.connect();
        const QMap<int, rig::Booked> booked = rig::bookedOrders(*probe);
        EXPECT_EQ(booked, (QMap<int, rig::Booked>{{101, {1, 2}}, {102, {1, 3}}}));
    }
}

TEST(FaultsDatabase, ServerKilledDuringAnOrderRollsItBackAndTheNextRunBooksItOnce)
{
    FirebirdServer firebird;
    if (!firebird.available())
        GTEST_SKIP() << firebird.error().toStdString();
    ASSERT_TRUE(firebird.start()) << firebird.error().toStdString();

    PyFtpServer ftp;
    ASSERT_TRUE(ftp.isRunning()) << ftp.error().toStdString();
    ftp.makeFolder(QStringLiteral("pedidos"));
    testdb::FirebirdTestDatabase db;
    const QString remote = firebird.serve(db.path());
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    folders.writeFtpIni(ftp, QStringLiteral("pedidos"));
    ZeltoSettings settings = db.settings();
    settings.databasePath = remote;
    settings.password = FirebirdServer::password();
    testdb::writeZeltoIni(folders.appFolder(), settings);

    // A big order, long enough to be cut in the middle, and a small one after it.
    const int bigItems = 4000;
    writeLocal(folders, QStringLiteral("A_GRANDE.txt"), rig::orderFile(201, bigItems));
    writeLocal(folders, QStringLiteral("B_PEQUENO.txt"), rig::orderFile(202, 2));

    {
        rig::ProgramRun run(folders);
        ASSERT_TRUE(run.waitUntil([&] { return run.output().contains(QStringLiteral("Importando A_GRANDE.txt")); }, 60000))
            << run.output().toStdString();
        QThread::msleep(300);
        ASSERT_TRUE(run.running()) << "the big order was booked before the server could be killed";
        firebird.kill();
        const rig::ProgramResult r = run.finish(60000);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.status, QProcess::NormalExit);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("A_GRANDE.txt"))) << r.err.toStdString();
    }
    // Both files kept, nothing archived.
    EXPECT_EQ(folders.localFiles(), (QStringList{QStringLiteral("A_GRANDE.txt"), QStringLiteral("B_PEQUENO.txt")}));
    EXPECT_TRUE(folders.archivedFiles().isEmpty());
    EXPECT_TRUE(rig::runLockIsFree(folders.appFolder()));

    ASSERT_TRUE(firebird.start()) << firebird.error().toStdString();
    {
        auto probe = openFirebirdConnection(remote, testdb::FirebirdTestDatabase::user(), FirebirdServer::password());
        EXPECT_TRUE(rig::bookedOrders(*probe).isEmpty()) << "the cut order was not rolled back";
    }

    const rig::ProgramResult r = rig::runProgram(folders);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(folders.localFiles().isEmpty());
    EXPECT_EQ(folders.archivedFiles(), (QStringList{QStringLiteral("A_GRANDE.txt"), QStringLiteral("B_PEQUENO.txt")}));
    auto probe = openFirebirdConnection(remote, testdb::FirebirdTestDatabase::user(), FirebirdServer::password());
    EXPECT_EQ(rig::bookedOrders(*probe), (QMap<int, rig::Booked>{{201, {1, bigItems}}, {202, {1, 2}}}));
}
