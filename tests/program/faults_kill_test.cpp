// Unattended runs stopped anywhere and started again: left without their server in the middle of
// a download, then killed with SIGKILL (power cut, operator, out-of-memory killer) in the
// download walk, the booking and the archiving, then run to the end. No order may be lost, booked
// twice or half, no file may sit in "importados" twice or half. The points are found by watching
// the file system and the run's log lines.
#include "support/unattended_rig.h"

#include <QDir>
#include <QRegularExpression>
#include <QThread>

namespace {

struct Order {
    int number;
    int items;
    QByteArray data;
};

// After a stop: every order file locally or in the archive is a whole order, every order is whole
// somewhere, and what the ERP holds of an order is all of it, once, or nothing.
void expectNothingLost(const QMap<QString, Order>& orders, const rig::Program& program, const PyFtpServer& server,
                       const testdb::FirebirdTestDatabase& db)
{
    QList<QByteArray> whole, present;
    for (const Order& o : orders)
        whole << o.data;
    for (const QString& name : program.localFiles())
        if (!name.endsWith(QLatin1String(".part")))
            present << testutil::readFile(QDir(program.local()).filePath(name));
    for (const QString& name : program.archivedFiles())
        present << testutil::readFile(QDir(program.archive()).filePath(name));
    for (const QByteArray& data : present)
        EXPECT_TRUE(whole.contains(data)) << "a file that is no whole order: " << data.left(60).toStdString();
    for (auto it = orders.cbegin(); it != orders.cend(); ++it)
        EXPECT_TRUE(server.readFile(QStringLiteral("pedidos/") + it.key()) == it->data || present.contains(it->data))
            << it.key().toStdString() << " lost";
    const rig::BookedOrders booked = rig::bookedOrders(db);
    for (const Order& o : orders) {
        if (booked.contains(o.number)) {
            EXPECT_EQ(booked[o.number], (rig::Booked{1, o.items})) << "order " << o.number;
        }
    }
}

} // namespace

TEST_F(Unattended, RunsStoppedAnywhereLoseAndDoubleNothing)
{
    // A big order (its booking takes a while), then a middle one (the run is still busy booking it
    // when the big one is archived, even on a loaded machine), and small ones.
    QMap<QString, Order> orders;
    for (int n = 601; n <= 607; ++n) {
        const int items = n == 601 ? 3000 : n == 602 ? 400 : n % 3 + 1;
        orders.insert(n == 601 ? QStringLiteral("A_GRANDE.txt") : QStringLiteral("PED%1.txt").arg(n), Order{n, items, rig::orderFile(n, items)});
    }
    for (auto it = orders.cbegin(); it != orders.cend(); ++it)
        server.writeFile(QStringLiteral("pedidos/") + it.key(), it->data);

    // The server goes away while a file comes in: the run ends by itself, reporting it.
    {
        rig::Run run(program);
        ASSERT_TRUE(run.waitUntil([&] { return program.hasPartFile(); }, 30000)) << run.output().toStdString();
        server.stop();
        const rig::Result cut = run.finish(60000);
        ASSERT_TRUE(cut.finished) << "the run hung after the server went away";
        EXPECT_EQ(cut.exitCode, 1) << rig::describe(cut);
        ASSERT_TRUE(server.restart()) << server.error().toStdString();
        expectNothingLost(orders, program, server, db);
        EXPECT_FALSE(program.hasPartFile()) << program.localFiles().join(' ').toStdString();
    }

    // Killed at each of these points, in this order (each one needs what the runs before left).
    const auto localOrderFile = [&] {
        return !program.localFiles().filter(QRegularExpression(QStringLiteral("\\.txt$"))).isEmpty();
    };
    const struct {
        const char* where;
        std::function<bool(rig::Run&)> reached;
        int delayMs = 0;
    } points[] = {
        // A download under way: the server held still so that it stays under way.
        {"download", [&](rig::Run&) { return program.hasPartFile() && (server.pause(), true); }},
        // The folder listed again to check the sizes: every file is a ".part".
        {"between the passes", [&](rig::Run& run) { return run.output().count("Comando: dir") >= 3; }},
        // Some ".part" got its name; the server held still before its delete.
        {"named, not deleted", [&](rig::Run&) { return localOrderFile() && (server.pause(), true); }},
        {"deleting", [&](rig::Run& run) { return run.output().contains("Comando: delete"); }},
        {"booking", [&](rig::Run& run) { return run.output().contains("Importando A_GRANDE.txt"); }, 300},
        {"archiving", [&](rig::Run&) { return !program.archivedFiles().isEmpty(); }},
    };
    for (const auto& point : points) {
        SCOPED_TRACE(point.where);
        rig::Run run(program);
        const bool reached = run.waitUntil([&] { return point.reached(run); }, 60000);
        QThread::msleep(static_cast<unsigned long>(point.delayMs));
        EXPECT_TRUE(reached && run.running()) << "the run ended before the point: " << run.output().toStdString();
        run.kill();
        server.resume();
        EXPECT_TRUE(rig::runLockIsFree(program.appFolder())) << "the killed run still holds the lock";
        expectNothingLost(orders, program, server, db);
    }

    // The run to the end: every order booked once, whole; its file archived once, byte for byte;
    // nothing left on the server or in the local folder.
    const rig::Result r = program.run();
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_EQ(program.localFiles(), QStringList());
    EXPECT_EQ(program.archivedFiles(), orders.keys());
    rig::BookedOrders expected;
    for (auto it = orders.cbegin(); it != orders.cend(); ++it) {
        expected.insert(it->number, rig::Booked{1, it->items});
        EXPECT_EQ(testutil::readFile(QDir(program.archive()).filePath(it.key())), it->data) << it.key().toStdString();
    }
    EXPECT_EQ(QDir(server.path(QStringLiteral("pedidos"))).entryList(QDir::Files), QStringList());
    EXPECT_EQ(rig::bookedOrders(db), expected);
}
