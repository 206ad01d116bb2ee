// The unattended run of the real program from server to database, run after run against one
// server and one database: a normal run, a run refused by the run lock of another, and a run
// started in its own application folder.
#include "unattended_test.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TEST_F(Unattended, FetchesDeletesBooksArchivesAndReportsRunAfterRun)
{
    // Two orders on the server, one of them under a name with blanks and accents, and something
    // outside the configured folder.
    const QString oddName = QStringLiteral("pedido 102 ação.txt");
    const QByteArray fresh = rig::orderFile(101), odd = rig::orderFile(102, 3);
    server.writeFile(QStringLiteral("pedidos/PED1.txt"), fresh);
    server.writeFile(QStringLiteral("pedidos/") + oddName, odd);
    server.writeFile(QStringLiteral("naoTocar.txt"), rig::orderFile(98));

    // Under strace: a run without a display loads no part of the window toolkit.
    const QTemporaryDir traceFolder;
    const QString trace = traceFolder.filePath(QStringLiteral("openat.trace"));
    rig::Launch traced;
    traced.wrapper = QStringList{QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-e"),
                                 QStringLiteral("trace=openat"), QStringLiteral("-o"), trace};
    rig::Result r = program.run(traced);
    ASSERT_TRUE(r.finished) << "the unattended run did not end";
    const QString opened = QString::fromUtf8(testutil::readFile(trace));
    EXPECT_TRUE(opened.contains(QStringLiteral("Zelto.ini"))) << "no trace of the run";
    for (const char* toolkit : {"/plugins/platforms/", "/usr/share/fonts/", "/etc/fonts/", "cache/fontconfig/"})
        EXPECT_FALSE(opened.contains(QString::fromLatin1(toolkit))) << toolkit;
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_EQ(r.err, QString()) << "a clean run is silent on standard error";
    EXPECT_TRUE(r.out.contains(QStringLiteral("Pedidos: 2 importados, 0 com produtos faltando, 0 já importados, 0 com falha")))
        << rig::describe(r);
    EXPECT_FALSE(r.out.contains(QRegularExpression(QStringLiteral("^(qt\\.|QStandardPaths|This plugin)"),
                                                   QRegularExpression::MultilineOption)))
        << rig::describe(r);
    EXPECT_EQ(QDir(server.path(QStringLiteral("pedidos"))).entryList(QDir::Files), QStringList());
    EXPECT_TRUE(server.exists(QStringLiteral("naoTocar.txt")));
    EXPECT_EQ(program.localFiles(), QStringList());
    EXPECT_EQ(program.archivedFiles(), (QStringList{QStringLiteral("PED1.txt"), oddName}));
    EXPECT_EQ(testutil::readFile(QDir(program.archive()).filePath(QStringLiteral("PED1.txt"))), fresh);
    EXPECT_EQ(testutil::readFile(QDir(program.archive()).filePath(oddName)), odd);
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{101, {1, 2}}, {102, {1, 3}}}));
    EXPECT_EQ(QDir(program.appFolder()).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("Zelto.ini"), QStringLiteral("ftp.ini"), QStringLiteral("pedidosftp"),
                           QStringLiteral("pedidosftp.lock")}));

    // Another run holds the lock: this one ends at once, saying so, and touches nothing.
    server.writeFile(QStringLiteral("pedidos/PED106.txt"), rig::orderFile(106));
    {
        const QByteArray lockFile = QFile::encodeName(QDir(program.appFolder()).filePath(QStringLiteral("pedidosftp.lock")));
        const int fd = ::open(lockFile.constData(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        r = program.run();
        ::close(fd);
    }
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Outra execução do pedidosftp está em andamento"))) << rig::describe(r);
    EXPECT_TRUE(server.exists(QStringLiteral("pedidos/PED106.txt")));
    EXPECT_EQ(rig::bookedOrders(db).size(), 2);

    // Started in its own folder: its files there (settings, executable, lock) are no stray
    // downloads, its orders are booked and archived there, and a stray file is a warning on
    // standard error that does not fail the run.
    testutil::writeFile(QDir(program.appFolder()).filePath(QStringLiteral("PED107.txt")), rig::orderFile(107));
    testutil::writeFile(QDir(program.appFolder()).filePath(QStringLiteral("NOTA.csv")), "x");
    r = program.run({{}, program.appFolder(), {}, {}, {}});
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("[AVISO] Atenção: ")) && r.err.endsWith(QStringLiteral("NOTA.csv\n"))
                && r.err.count(QLatin1Char('\n')) == 1)
        << rig::describe(r);
    EXPECT_EQ(QDir(QDir(program.appFolder()).filePath(QStringLiteral("importados"))).entryList(QDir::Files),
              (QStringList{QStringLiteral("PED106.txt"), QStringLiteral("PED107.txt")}));
    EXPECT_EQ(rig::bookedOrders(db).size(), 4);
}
