// An unattended run killed with SIGKILL (power cut, operator, out-of-memory killer) at several
// points, and started again: no order booked twice or lost, no file lost, the run lock free.
// The kill points are found by watching the file system and the run's progress lines.
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

// After a kill: every order is whole somewhere (on the server, in the local folder, in
// "importados"), and what the ERP holds of it is all of it, once, or nothing.
void expectNothingLost(const QMap<QString, Order>& orders, const rig::ProgramFolders& folders,
                       const FtpServerFixture* server, const testdb::FirebirdTestDatabase& db)
{
    QList<QByteArray> present;
    for (const QString& name : folders.localFiles()) {
        if (name.endsWith(QLatin1String(".part")))
            continue;
        QFile f(QDir(folders.localFolder()).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            present << f.readAll();
    }
    for (const QString& name : folders.archivedFiles()) {
        QFile f(QDir(folders.archiveFolder()).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            present << f.readAll();
    }
    for (auto it = orders.cbegin(); it != orders.cend(); ++it) {
        const bool onServer = server && server->exists(QStringLiteral("pedidos/") + it.key())
                              && server->readFile(QStringLiteral("pedidos/") + it.key()) == it->data;
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

// The run after the kills: everything booked once, archived, nothing left behind.
void expectSettled(const QMap<QString, Order>& orders, const rig::ProgramFolders& folders,
                   const FtpServerFixture* server, const testdb::FirebirdTestDatabase& db)
{
    const rig::ProgramResult r = rig::runProgram(folders);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(folders.localFiles().isEmpty()) << names(folders.localFiles()).toStdString();
    QMap<int, rig::Booked> expected;
    for (auto it = orders.cbegin(); it != orders.cend(); ++it) {
        expected.insert(it->number, rig::Booked{1, it->items});
        // Archived under its name (a second download of it may sit beside it as "NAME (2).txt").
        EXPECT_TRUE(folders.archivedFiles().contains(it.key())) << names(folders.archivedFiles()).toStdString();
        if (server) {
            EXPECT_FALSE(server->exists(QStringLiteral("pedidos/") + it.key())) << it.key().toStdString();
        }
    }
    auto probe = db.connect();
    EXPECT_EQ(rig::bookedOrders(*probe), expected);
    EXPECT_TRUE(rig::runLockIsFree(folders.appFolder()));
}

// Starts a run, waits for `point`, kills it; true when the point was reached before the run ended.
bool killAt(const rig::ProgramFolders& folders, const std::function<bool(rig::ProgramRun&)>& point, int delayMs = 0)
{
    rig::ProgramRun run(folders);
    const bool reached = run.waitUntil([&] { return point(run); }, 60000);
    if (delayMs > 0)
        QThread::msleep(static_cast<unsigned long>(delayMs));
    const bool wasRunning = run.running();
    run.kill();
    EXPECT_TRUE(rig::runLockIsFree(folders.appFolder())) << "the killed run still holds the lock";
    return reached && wasRunning;
}

} // namespace

TEST(FaultsKill, KilledDuringTheDownloadWalk)
{
    PyFtpServer::Options options;
    // The throttle lets the first second's worth of bytes through at once: at 8 KiB/s an order
    // of ~27 KiB takes about three seconds, so each kill point is met while the run goes on.
    options.throttleBytesPerSec = 8 * 1024;
    PyFtpServer server(options);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QMap<QString, Order> orders;
    for (int n : {501, 502, 503}) {
        const QString name = QStringLiteral("PED%1.txt").arg(n);
        orders.insert(name, Order{n, 450, rig::orderFile(n, 450)});
        server.writeFile(QStringLiteral("pedidos/") + name, orders[name].data);
    }
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    folders.writeFtpIni(server, QStringLiteral("pedidos"));
    db.writeZeltoIni(folders.appFolder());

    // While a file is coming in; right after a download was completed (maybe before it was
    // deleted on the server); while the next one is coming in.
    const QList<std::function<bool(rig::ProgramRun&)>> points{
        [&](rig::ProgramRun&) { return folders.hasPartFile(); },
        [&](rig::ProgramRun&) {
            for (const QString& name : folders.localFiles())
                if (name.endsWith(QLatin1String(".txt")))
                    return true;
            return false;
        },
        [&](rig::ProgramRun&) { return folders.hasPartFile(); },
    };
    int reached = 0;
    for (int i = 0; i < points.size(); ++i) {
        SCOPED_TRACE(i);
        if (killAt(folders, points[i]))
            ++reached;
        expectNothingLost(orders, folders, &server, db);
    }
    EXPECT_GT(reached, 0) << "no kill point was reached while the run was going";
    expectSettled(orders, folders, &server, db);
}

TEST(FaultsKill, KilledDuringAnOrder)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.makeFolder(QStringLiteral("pedidos"));
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    folders.writeFtpIni(server, QStringLiteral("pedidos"));
    db.writeZeltoIni(folders.appFolder());
    QMap<QString, Order> orders{
        {QStringLiteral("A_GRANDE.txt"), Order{601, 3000, rig::orderFile(601, 3000)}},
        {QStringLiteral("B.txt"), Order{602, 2, rig::orderFile(602, 2)}},
        {QStringLiteral("C.txt"), Order{603, 3, rig::orderFile(603, 3)}},
    };
    for (auto it = orders.cbegin(); it != orders.cend(); ++it) {
        QFile f(QDir(folders.localFolder()).filePath(it.key()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(it->data);
    }

    // At the start of the big order and a little into it.
    int reached = 0;
    for (int delay : {0, 150, 400}) {
        SCOPED_TRACE(delay);
        const bool r = killAt(
            folders, [](rig::ProgramRun& run) { return run.output().contains(QStringLiteral("Importando A_GRANDE.txt")); },
            delay);
        if (r)
            ++reached;
        expectNothingLost(orders, folders, nullptr, db);
    }
    EXPECT_GT(reached, 0);
    expectSettled(orders, folders, nullptr, db);
}

TEST(FaultsKill, KilledWhileArchiving)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.makeFolder(QStringLiteral("pedidos"));
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    folders.writeFtpIni(server, QStringLiteral("pedidos"));
    db.writeZeltoIni(folders.appFolder());
    QMap<QString, Order> orders;
    for (int n = 701; n <= 716; ++n) {
        const QString name = QStringLiteral("PED%1.txt").arg(n);
        orders.insert(name, Order{n, 2, rig::orderFile(n, 2)});
        QFile f(QDir(folders.localFolder()).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(orders[name].data);
    }

    // As "importados" is made, and as further files are being archived.
    int reached = 0;
    for (int archived : {0, 3, 8}) {
        SCOPED_TRACE(archived);
        const int before = folders.archivedFiles().size();
        const bool r = killAt(folders, [&](rig::ProgramRun&) {
            return QFileInfo(folders.archiveFolder()).isDir() && folders.archivedFiles().size() >= before + archived;
        });
        if (r)
            ++reached;
        expectNothingLost(orders, folders, nullptr, db);
    }
    EXPECT_GT(reached, 0);
    expectSettled(orders, folders, nullptr, db);
}
