// The Debian package, built from this build folder, checked and unpacked by package_check.sh; its
// program run as the units run it for two shops of one machine: as a system user with a Firebird
// lock folder, the shop's folder named by --pasta and the working folder.
#include "support/unattended_rig.h"

#include <QDir>

#include <grp.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

bool own(const QString& path) { return ::chown(QFile::encodeName(path).constData(), nobody, nobody) == 0; }

// The unpacked program as nobody, with its settings in `folder`, started in the shop's folder.
rig::Result asShop(const rig::Program& shop, const QString& folder, const QStringList& arguments = {})
{
    return shop.run({QStringList{QStringLiteral("--pasta"), folder} + arguments, shop.appFolder(), {}, [] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(126);
    }, {}});
}

} // namespace

TEST(Package, UnpackedItServesTwoShopsEachWithItsOwnOrdersLockAndArchive)
{
    QTemporaryDir scratch, firebirdLock;
    QFile::setPermissions(scratch.path(), QFile::permissions(scratch.path()) | QFile::ExeOther);   // nobody runs it
    ASSERT_EQ(QProcess::execute(QStringLiteral("bash"), {QStringLiteral(PEDIDOS_SOURCE_DIR "/tests/program/package_check.sh"),
                                                        QStringLiteral(PEDIDOS_BINARY_DIR), scratch.path()}), 0);
    const QString installed = scratch.filePath(QStringLiteral("root/usr/bin/pedidosftp"));
    PyFtpServer server;   // a remote folder per shop
    ASSERT_TRUE(server.isRunning() && own(firebirdLock.path())) << server.error().toStdString();
    rig::Program loja1, loja2;
    testdb::FirebirdTestDatabase db1, db2;
    const std::tuple<const rig::Program&, const testdb::FirebirdTestDatabase&, int> shops[] = {{loja1, db1, 1}, {loja2, db2, 2}};
    for (const auto& [shop, db, n] : shops) {
        const QString folder = shop.appFolder();
        // The unpacked program, reached through a link as /usr/bin/pedidosftp is.
        ASSERT_TRUE(QFile::remove(shop.executable()) && QFile::link(installed, shop.executable()));
        shop.writeFtpIni(server, QStringLiteral("/loja%1").arg(n));
        db.writeZeltoIni(folder);
        server.writeFile(QStringLiteral("loja%1/PED50%1.txt").arg(n), rig::orderFile(500 + n));
        // The shop's folder, its settings (each run rewrites ftp.ini) and its database are its user's.
        for (const QString& path : {folder, folder + "/ftp.ini", folder + "/Zelto.ini", db.folder(), db.path()})
            ASSERT_TRUE(own(path)) << path.toStdString();
    }

    qputenv("FIREBIRD_LOCK", QFile::encodeName(firebirdLock.path()));
    for (const auto& [shop, db, n] : shops) {
        const rig::Result r = asShop(shop, shop.appFolder());
        EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
        EXPECT_EQ(r.err, QString()) << rig::describe(r);
        EXPECT_EQ(QDir(shop.appFolder()).entryList({"*.ini", "*.lock"}, QDir::Files, QDir::Name),
                  (QStringList{"Zelto.ini", "ftp.ini", "pedidosftp.lock"}));
        EXPECT_EQ(QDir(shop.appFolder() + "/importados").entryList(QDir::Files), QStringList{QStringLiteral("PED50%1.txt").arg(n)});
    }
    // The check reads its settings from --pasta too, and sees the order booked.
    rig::Result r = asShop(loja1, loja1.appFolder(), {"--conferir", loja1.appFolder() + "/importados/PED501.txt"});
    EXPECT_TRUE(r.exitCode == 1 && r.out.contains("pedido 501: já importado antes")) << rig::describe(r);
    // A settings folder this user reaches but may not write into is a usage error.
    ASSERT_TRUE(QFile::setPermissions(loja1.local(), QFile::permissions(loja1.local()) | QFile::ExeOther));
    r = asShop(loja1, loja1.local());
    EXPECT_TRUE(r.exitCode == 2 && r.err.contains(loja1.local() + " não pode ser gravada")) << rig::describe(r);
    qunsetenv("FIREBIRD_LOCK");   // the test's own reads are root's
    EXPECT_EQ(rig::bookedOrders(db1), (rig::BookedOrders{{501, {1, 2}}}));
    EXPECT_EQ(rig::bookedOrders(db2), (rig::BookedOrders{{502, {1, 2}}}));
}
