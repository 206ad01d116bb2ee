// The unattended run when its server lets it down: a remote folder that does not exist, a server
// that is not there, and a server it must first trust (the application folder holds what it
// trusts). The run ends on its own with status 1, and nothing on the server is touched.
#include "support/unattended_rig.h"

#include <QDir>
#include <QProcess>

namespace {
// A virtual display of the test's own (Xvfb picks a free display number).
struct VirtualDisplay {
    QProcess xvfb;
    QString name;
    VirtualDisplay()
    {
        xvfb.start(QStringLiteral("Xvfb"), QStringLiteral("-displayfd 1 -nolisten tcp -screen 0 640x480x24").split(' '));
        if (xvfb.waitForReadyRead(10000))
            name = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine()).trimmed();
    }
    ~VirtualDisplay()
    {
        xvfb.kill();
        xvfb.waitForFinished(5000);
    }
};
} // namespace

TEST_F(Unattended, AMissingFolderOrNoServerTakeNothingFromIt)
{
    server.writeFile(QStringLiteral("PED-RAIZ.txt"), rig::orderFile(201));
    server.writeFile(QStringLiteral("pedidos/PED-OUTRA.txt"), rig::orderFile(202));
    program.writeLocal(QStringLiteral("PED-LOCAL.txt"), rig::orderFile(203));

    // The configured folder does not exist: nothing is fetched from the login folder, the local
    // order is booked, and the configured folder is kept for the next run.
    program.writeFtpIni(server, QStringLiteral("/naoexiste"));
    const QByteArray ini = program.ftpIni();
    rig::Result r = program.run();
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_EQ(program.ftpIni(), ini) << "the configured folder kept, not the one the failed cd left";
    EXPECT_EQ(program.archivedFiles(), QStringList{QStringLiteral("PED-LOCAL.txt")});
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{203, {1, 2}}}));

    // No server: the local order is still booked and archived, and standard error says which
    // server could not be reached, once.
    program.writeLocal(QStringLiteral("PED-LOCAL2.txt"), rig::orderFile(204));
    server.stop();
    r = program.run({}, 60000);
    ASSERT_TRUE(r.finished) << "the run hung on a server that is not there";
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("[ERRO] Sem conexão com 127.0.0.1:")) && r.err.count(QLatin1Char('\n')) == 1)
        << rig::describe(r);
    EXPECT_EQ(r.out.count(QStringLiteral("Pedidos: ")), 1) << rig::describe(r);
    EXPECT_EQ(program.localFiles(), QStringList());
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{203, {1, 2}}, {204, {1, 2}}}));
    for (const char* f : {"PED-RAIZ.txt", "pedidos/PED-OUTRA.txt"})
        EXPECT_TRUE(server.exists(QString::fromUtf8(f))) << f;

    // With a display and no window, the run still writes its log and the lost server.
    program.writeLocal(QStringLiteral("PED-LOCAL3.txt"), rig::orderFile(205));
    VirtualDisplay display;
    ASSERT_FALSE(display.name.isEmpty()) << "Xvfb did not start";
    rig::Launch launch;
    launch.display = display.name;
    r = program.run(launch, 60000);
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("[ERRO] Sem conexão com 127.0.0.1:"))) << rig::describe(r);
    EXPECT_EQ(r.out.count(QStringLiteral("Pedidos: 1 importados")), 1) << rig::describe(r);
}

// An FTPS server whose certificate is not yet trusted: the run is refused before any password
// goes out, names ftp-ca.pem in the application folder and touches nothing; once the certificate
// is there, the next run fetches and books.
struct UnattendedFtps : Unattended {
    UnattendedFtps() : Unattended([] { PyFtpServer::Options o; o.tls = true; return o; }()) {}
};

TEST_F(UnattendedFtps, CertificateRefusedUntilPutInFtpCaPem)
{
    server.writeFile(QStringLiteral("pedidos/PED101.txt"), rig::orderFile(101));
    program.writeLocal(QStringLiteral("PED100.txt"), rig::orderFile(100));

    rig::Result r = program.run({}, 30000);
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    const QString caFile = QDir(program.appFolder()).filePath(QStringLiteral("ftp-ca.pem"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("autoridade desconhecida")) && r.err.contains(caFile)) << rig::describe(r);
    EXPECT_TRUE(server.exists(QStringLiteral("pedidos/PED101.txt")));
    EXPECT_EQ(server.loginCount(), 0);
    EXPECT_EQ(rig::bookedOrders(db), rig::BookedOrders{});

    ASSERT_TRUE(QFile::copy(server.certFile(), caFile));
    r = program.run({}, 30000);
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_FALSE(server.exists(QStringLiteral("pedidos/PED101.txt")));
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{100, {1, 2}}, {101, {1, 2}}}));
}
