// Unattended runs stopped at many points and started again: killed with SIGKILL (power cut,
// operator, out-of-memory killer) in the download walk, the booking and the archiving, and left
// without their FTP server in the middle of the walk. Then a run to the end. No order may be lost,
// booked twice or half, no file may sit in "importados" twice or half, and nothing may be left
// behind. The points are found by watching the file system and the run's log lines.
#include "support/ftp_server.h"
#include "support/test_database.h"
#include "support/unattended_rig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct Order {
    int number;
    int items;
    QByteArray data;
};

QString names(const QStringList& list) { return list.join(QLatin1Char(' ')); }

QList<QByteArray> contents(const QString& folder, const QStringList& files)
{
    QList<QByteArray> out;
    for (const QString& name : files) {
        QFile f(QDir(folder).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out << f.readAll();
    }
    return out;
}

// After a stop: every file under an order's name locally or in the archive is a whole order,
// every order is whole somewhere (on the server, in the local folder, in the archive), and what
// the ERP holds of an order is all of it, once, or nothing.
void expectNothingLost(const QMap<QString, Order>& orders, const rig::ProgramFolders& folders,
                       const FtpServerFixture& server, const testdb::FirebirdTestDatabase& db)
{
    QStringList local;
    for (const QString& name : folders.localFiles())
        if (!name.endsWith(QLatin1String(".part")))
            local << name;
    QList<QByteArray> whole;
    for (const Order& o : orders)
        whole << o.data;
    QList<QByteArray> present = contents(folders.localFolder(), local);
    present += contents(folders.archiveFolder(), folders.archivedFiles());
    for (const QByteArray& data : present)
        EXPECT_TRUE(whole.contains(data)) << "a file that is no whole order: " << data.left(60).toStdString();
    for (auto it = orders.cbegin(); it != orders.cend(); ++it) {
        const bool onServer = server.readFile(QStringLiteral("pedidos/") + it.key()) == it->data;
        EXPECT_TRUE(onServer || present.contains(it->data)) << it.key().toStdString() << " lost";
    }
    auto probe = db.connect();
    const QMap<int, rig::Booked> booked = rig::bookedOrders(*probe);
    for (auto it = booked.cbegin(); it != booked.cend(); ++it) {
        int items = -1;
        for (const Order& o : orders)
            if (o.number == it.key())
                items = o.items;
        EXPECT_EQ(it.value(), (rig::Booked{1, items})) << "order " << it.key();
    }
}

} // namespace

TEST(FaultsKill, RunsStoppedAnywhereLoseAndDoubleNothing)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    // A big order (its booking takes a while) and small ones.
    QMap<QString, Order> orders;
    orders.insert(QStringLiteral("A_GRANDE.txt"), Order{601, 3000, rig::orderFile(601, 3000)});
    for (int n = 602; n <= 607; ++n)
        orders.insert(QStringLiteral("PED%1.txt").arg(n), Order{n, n % 3 + 1, rig::orderFile(n, n % 3 + 1)});
    for (auto it = orders.cbegin(); it != orders.cend(); ++it)
        server.writeFile(QStringLiteral("pedidos/") + it.key(), it->data);
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    folders.writeFtpIni(server, QStringLiteral("pedidos"));
    db.writeZeltoIni(folders.appFolder());

    // The server goes away while a file comes in: the run ends by itself, reporting it.
    {
        rig::ProgramRun run(folders);
        ASSERT_TRUE(run.waitUntil([&] { return folders.hasPartFile(); }, 30000)) << run.output().toStdString();
        server.stop();
        const rig::ProgramResult cut = run.finish(60000);
        ASSERT_TRUE(cut.finished) << "the run hung after the server went away";
        EXPECT_EQ(cut.exitCode, 1) << cut.err.toStdString();
        ASSERT_TRUE(server.restart()) << server.error().toStdString();
        expectNothingLost(orders, folders, server, db);
        EXPECT_FALSE(folders.hasPartFile()) << names(folders.localFiles()).toStdString();
    }

    // Killed at each of these points, in this order (each one needs what the runs before left).
    const auto localOrderFile = [&] {
        for (const QString& name : folders.localFiles())
            if (name.endsWith(QLatin1String(".txt")))
                return true;
        return false;
    };
    const struct {
        const char* where;
        std::function<bool(rig::ProgramRun&)> reached;
        int delayMs = 0;
    } points[] = {
        // A download under way: the server held still so that it stays under way.
        {"download", [&](rig::ProgramRun&) { return folders.hasPartFile() && (server.pause(), true); }},
        // The folder listed again to check the sizes: every file is a ".part".
        {"between the passes", [&](rig::ProgramRun& run) { return run.output().count("Comando: dir") >= 3; }},
        // Some ".part" got its name; the server held still before its delete.
        {"named, not deleted", [&](rig::ProgramRun&) { return localOrderFile() && (server.pause(), true); }},
        {"deleting", [&](rig::ProgramRun& run) { return run.output().contains("Comando: delete"); }},
        {"booking", [&](rig::ProgramRun& run) { return run.output().contains("Importando A_GRANDE.txt"); }, 300},
        {"archiving", [&](rig::ProgramRun&) { return !folders.archivedFiles().isEmpty(); }},
    };
    for (const auto& point : points) {
        SCOPED_TRACE(point.where);
        rig::ProgramRun run(folders);
        const bool reached = run.waitUntil([&] { return point.reached(run); }, 60000);
        if (point.delayMs > 0)
            QThread::msleep(static_cast<unsigned long>(point.delayMs));
        EXPECT_TRUE(reached && run.running()) << "the run ended before the point: " << run.output().toStdString();
        run.kill();
        server.resume();
        EXPECT_TRUE(rig::runLockIsFree(folders.appFolder())) << "the killed run still holds the lock";
        expectNothingLost(orders, folders, server, db);
    }

    // The run to the end: every order booked once, whole; its file archived once, whole;
    // nothing left on the server or in the local folder.
    const rig::ProgramResult r = rig::runProgram(folders);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(folders.localFiles(), QStringList()) << names(folders.localFiles()).toStdString();
    EXPECT_EQ(folders.archivedFiles(), orders.keys());
    QMap<int, rig::Booked> expected;
    for (auto it = orders.cbegin(); it != orders.cend(); ++it) {
        expected.insert(it->number, rig::Booked{1, it->items});
        QFile archived(QDir(folders.archiveFolder()).filePath(it.key()));
        EXPECT_TRUE(archived.open(QIODevice::ReadOnly) && archived.readAll() == it->data) << it.key().toStdString();
    }
    EXPECT_EQ(QDir(server.path(QStringLiteral("pedidos"))).entryList(QDir::Files), QStringList());
    auto probe = db.connect();
    EXPECT_EQ(rig::bookedOrders(*probe), expected);
    EXPECT_TRUE(rig::runLockIsFree(folders.appFolder()));
}
