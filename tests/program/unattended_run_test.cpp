// The unattended run of the real program from server to database, run after run against one
// server and one database: a normal run and two runs started at once (one of them refused by
// the run lock).
#include "support/unattended_rig.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>


TEST_F(Unattended, FetchesDeletesBooksArchivesAndReportsRunAfterRun)
{
    // Two orders on the server, one of them under a name with blanks and accents, and something
    // outside the configured folder.
    const QString oddName = QStringLiteral("pedido 102 ação.txt");
    const QByteArray fresh = rig::orderFile(101), odd = rig::orderFile(102, 3);
    server.writeFile(QStringLiteral("pedidos/PED1.txt"), fresh);
    server.writeFile(QStringLiteral("pedidos/") + oddName, odd);
    server.writeFile(QStringLiteral("naoTocar.txt"), rig::orderFile(98));

    // Under strace: a run without a display loads no part of the window toolkit, and the files
    // fetched are on the disk before the first of them is deleted on the server.
    const QTemporaryDir traceFolder;
    const QString trace = traceFolder.filePath(QStringLiteral("run.trace"));
    rig::Launch traced;
    traced.wrapper = QStringList{QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-qq"),
                                 QStringLiteral("-e"), QStringLiteral("trace=openat,syncfs,sendto"),
                                 QStringLiteral("-s"), QStringLiteral("16"), QStringLiteral("-o"), trace};
    rig::Result r = program.run(traced);
    ASSERT_TRUE(r.finished) << "the unattended run did not end";
    const QString calls = QString::fromUtf8(testutil::readFile(trace));
    EXPECT_TRUE(calls.contains(QStringLiteral("Zelto.ini"))) << "no trace of the run";
    for (const char* toolkit : {"/plugins/platforms/", "/usr/share/fonts/", "/etc/fonts/", "cache/fontconfig/"})
        EXPECT_FALSE(calls.contains(QString::fromLatin1(toolkit))) << toolkit;
    const qsizetype synced = calls.indexOf(QStringLiteral("syncfs(")), deleted = calls.indexOf(QStringLiteral("\"DELE "));
    EXPECT_TRUE(synced >= 0 && deleted > synced) << "syncfs at " << synced << ", first DELE at " << deleted;
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

    // Two runs at once: the second one, started while the first is fetching (its walk waits a
    // second before the listing that checks the files), ends at once, saying so; the first one
    // books the order alone.
    server.writeFile(QStringLiteral("pedidos/PED106.txt"), rig::orderFile(106));
    {
        rig::Run first(program);
        ASSERT_TRUE(first.waitUntil([&] { return first.output().contains(QStringLiteral("Comando: recv")); }, 30000));
        r = program.run();
        const rig::Result firstResult = first.finish();
        EXPECT_EQ(firstResult.exitCode, 0) << rig::describe(firstResult);
    }
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Outra execução do pedidosftp está em andamento"))) << rig::describe(r);
    EXPECT_EQ(program.archivedFiles(), (QStringList{QStringLiteral("PED1.txt"), QStringLiteral("PED106.txt"), oddName}));
    EXPECT_EQ(rig::bookedOrders(db).size(), 3);
}
