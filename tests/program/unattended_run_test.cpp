// The unattended run of the real program from server to database, run after run against one
// server and one database: a normal run, orders sent again or failing, a run refused by the run
// lock of another, and a run started in its own application folder.
#include "support/unattended_rig.h"

#include <QDir>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QList<QByteArray> contents(const QString& folder)
{
    QList<QByteArray> out;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
        out << testutil::readFile(QDir(folder).filePath(name));
    return out;
}

} // namespace

TEST(UnattendedRun, FetchesDeletesBooksArchivesAndReportsRunAfterRun)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    testdb::FirebirdTestDatabase db;
    rig::Program program;
    ASSERT_EQ(program.error(), QString());
    program.writeFtpIni(server);
    db.writeZeltoIni(program.appFolder());
    const QByteArray ini = program.ftpIni();

    // Two orders on the server, one of them under a name with blanks and accents; something
    // outside the configured folder; a local order waiting under the name of a remote one, and
    // an earlier archive of that name.
    const QString oddName = QStringLiteral("pedido 102 ação.txt");
    const QByteArray fresh = rig::orderFile(101), odd = rig::orderFile(102, 3), waiting = rig::orderFile(100);
    const QByteArray older = rig::orderFile(99);
    server.writeFile(QStringLiteral("pedidos/PED1.txt"), fresh);
    server.writeFile(QStringLiteral("pedidos/") + oddName, odd);
    server.writeFile(QStringLiteral("naoTocar.txt"), rig::orderFile(98));
    program.writeLocal(QStringLiteral("PED1.txt"), waiting);
    QDir().mkpath(program.archive());
    testutil::writeFile(QDir(program.archive()).filePath(QStringLiteral("PED1.txt")), older);

    rig::Result r = program.run();
    ASSERT_TRUE(r.finished) << "the unattended run did not end";
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_EQ(r.err, QString()) << "a clean run is silent on standard error";
    EXPECT_TRUE(r.out.contains(QStringLiteral("Pedidos: 3 importados, 0 com produtos faltando, 0 já importados, 0 com falha")))
        << rig::describe(r);
    EXPECT_FALSE(r.out.contains(QRegularExpression(QStringLiteral("^(qt\\.|QStandardPaths|This plugin)"),
                                                   QRegularExpression::MultilineOption)))
        << rig::describe(r);
    EXPECT_EQ(QDir(server.path(QStringLiteral("pedidos"))).entryList(QDir::Files), QStringList());
    EXPECT_TRUE(server.exists(QStringLiteral("naoTocar.txt")));
    EXPECT_EQ(program.localFiles(), QStringList());
    // Each text archived once, byte for byte; the earlier archive kept under its name.
    const QList<QByteArray> archived = contents(program.archive());
    EXPECT_EQ(archived.size(), 4);
    for (const QByteArray& text : {fresh, odd, waiting, older})
        EXPECT_EQ(archived.count(text), 1) << text.left(20).toStdString();
    EXPECT_EQ(testutil::readFile(QDir(program.archive()).filePath(QStringLiteral("PED1.txt"))), older);
    EXPECT_EQ(testutil::readFile(QDir(program.archive()).filePath(oddName)), odd);
    EXPECT_EQ(program.ftpIni(), ini) << "ftp.ini rewritten as it was read, the seller code kept";
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{100, {1, 2}}, {101, {1, 2}}, {102, {1, 3}}}));
    EXPECT_EQ(db.connect()->open(QStringLiteral("select list(distinct safkvendedor) as v from saida where fkftp is not null"))
                  ->field(QStringLiteral("v")).text,
              QStringLiteral("7"));
    EXPECT_EQ(QDir(program.appFolder()).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("Zelto.ini"), QStringLiteral("ftp.ini"), QStringLiteral("pedidosftp"),
                           QStringLiteral("pedidosftp.lock")}));

    // An order sent again is deleted on the server and neither booked nor archived twice; an
    // order with a product the ERP lacks is booked without it, and the run fails naming it.
    server.writeFile(QStringLiteral("pedidos/") + oddName, odd);
    server.writeFile(QStringLiteral("pedidos/PED104.txt"), rig::orderFile(104).replace("7891234000026", "7899999000013"));
    r = program.run();
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Já recebido: ") + oddName)) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("7899999000013"))) << rig::describe(r);
    EXPECT_EQ(contents(program.archive()).size(), 5);

    // A file that cannot be read as an order fails the run without stopping it: it waits in the
    // local folder, standard error names it, and the order after it is booked.
    server.writeFile(QStringLiteral("pedidos/A_VAZIO.txt"), QByteArray());
    server.writeFile(QStringLiteral("pedidos/PED105.txt"), rig::orderFile(105));
    r = program.run();
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("[ERRO] A_VAZIO.txt"))) << rig::describe(r);
    EXPECT_EQ(QDir(server.path(QStringLiteral("pedidos"))).entryList(QDir::Files), QStringList());
    EXPECT_EQ(program.localFiles(), QStringList{QStringLiteral("A_VAZIO.txt")});
    EXPECT_EQ(contents(program.archive()).size(), 6);
    EXPECT_EQ(rig::bookedOrders(db),
              (rig::BookedOrders{{100, {1, 2}}, {101, {1, 2}}, {102, {1, 3}}, {104, {1, 1}}, {105, {1, 2}}}));

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
    EXPECT_FALSE(r.out.contains(QStringLiteral("Pedidos:"))) << rig::describe(r);
    EXPECT_TRUE(server.exists(QStringLiteral("pedidos/PED106.txt")));
    EXPECT_EQ(program.localFiles(), QStringList{QStringLiteral("A_VAZIO.txt")});
    EXPECT_EQ(rig::bookedOrders(db).size(), 5);

    // Started in its own folder: its files there (settings, executable, lock) are no stray
    // downloads, its orders are booked and archived there, and a stray file is a warning on
    // standard error that does not fail the run.
    testutil::writeFile(QDir(program.appFolder()).filePath(QStringLiteral("PED107.txt")), rig::orderFile(107));
    testutil::writeFile(QDir(program.appFolder()).filePath(QStringLiteral("NOTA.csv")), "x");
    r = program.run({{}, program.appFolder(), {}, {}});
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("[AVISO] Atenção: ")) && r.err.endsWith(QStringLiteral("NOTA.csv\n"))
                && r.err.count(QLatin1Char('\n')) == 1)
        << rig::describe(r);
    EXPECT_EQ(QDir(QDir(program.appFolder()).filePath(QStringLiteral("importados"))).entryList(QDir::Files),
              (QStringList{QStringLiteral("PED106.txt"), QStringLiteral("PED107.txt")}));
    EXPECT_EQ(rig::bookedOrders(db).size(), 7);
}
