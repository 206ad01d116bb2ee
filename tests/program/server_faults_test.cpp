// The unattended run when its server lets it down: a login it refuses, a remote folder that does
// not exist, a server that is not there, and servers it must first trust (an SFTP host key, an
// FTPS certificate). Whatever the server does, the run ends on its own with status 1, and nothing
// on the server is touched.
#include "support/ssh_server.h"
#include "support/unattended_rig.h"

#include <QDir>
#include <QRegularExpression>

TEST(ServerFaults, RefusedLoginMissingFolderOrNoServerTakeNothingFromIt)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    testdb::FirebirdTestDatabase db;
    rig::Program program;
    ASSERT_EQ(program.error(), QString());
    db.writeZeltoIni(program.appFolder());
    server.writeFile(QStringLiteral("PED-RAIZ.txt"), rig::orderFile(201));
    server.writeFile(QStringLiteral("pedidos/PED-OUTRA.txt"), rig::orderFile(202));
    program.writeLocal(QStringLiteral("PED-LOCAL.txt"), rig::orderFile(203));
    const QStringList serverFiles{QStringLiteral("PED-RAIZ.txt"), QStringLiteral("pedidos/PED-OUTRA.txt")};
    const auto serverUntouched = [&] {
        for (const QString& f : serverFiles)
            EXPECT_TRUE(server.exists(f)) << f.toStdString();
    };

    // A wrong password: one login attempt (hosts block addresses that keep trying), and the
    // local order waits: a run that cannot log in changes nothing.
    program.writeFtpIni(server, QStringLiteral("/pedidos"), QStringLiteral("senha errada"));
    QByteArray ini = program.ftpIni();
    rig::Result r = program.run();
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("530"))) << rig::describe(r);
    EXPECT_EQ(server.commandCount(QStringLiteral("USER")), 1);
    EXPECT_EQ(program.ftpIni(), ini);
    EXPECT_EQ(program.localFiles(), QStringList{QStringLiteral("PED-LOCAL.txt")});
    EXPECT_EQ(rig::bookedOrders(db), rig::BookedOrders{});
    serverUntouched();

    // The configured folder does not exist: nothing is fetched from the login folder, the local
    // order is booked, and the configured folder is kept for the next run.
    program.writeFtpIni(server, QStringLiteral("/naoexiste"));
    ini = program.ftpIni();
    r = program.run();
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_EQ(program.ftpIni(), ini);
    EXPECT_EQ(program.archivedFiles(), QStringList{QStringLiteral("PED-LOCAL.txt")});
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{203, {1, 2}}}));
    serverUntouched();

    // No server: the local order is still booked and archived, and standard error says which
    // server could not be reached, once.
    program.writeFtpIni(server);
    ini = program.ftpIni();
    program.writeLocal(QStringLiteral("PED-LOCAL2.txt"), rig::orderFile(204));
    server.stop();
    r = program.run({}, 60000);
    ASSERT_TRUE(r.finished) << "the run hung on a server that is not there";
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("[ERRO] Sem conexão com 127.0.0.1:")) && r.err.count(QLatin1Char('\n')) == 1)
        << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("conexão recusada"))) << rig::describe(r);
    EXPECT_EQ(r.out.count(QStringLiteral("Pedidos: ")), 1) << rig::describe(r);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Pedidos: 1 importados, 0 com produtos faltando, 0 já importados, 0 com falha")))
        << rig::describe(r);
    EXPECT_EQ(program.ftpIni(), ini) << "the configured folder kept, not the one the failed cd left";
    EXPECT_EQ(program.localFiles(), QStringList());
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{203, {1, 2}}, {204, {1, 2}}}));
    serverUntouched();
}

namespace {

// A server not yet trusted: the run is refused before any password goes out and touches nothing;
// once `trust` has run, the next run fetches and books.
void refusedUntilTrusted(const FtpServerFixture& server, const QString& remoteFolder,
                         const std::function<void(const rig::Program&, const QString& err)>& trust)
{
    testdb::FirebirdTestDatabase db;
    rig::Program program;
    ASSERT_EQ(program.error(), QString());
    server.writeFile(QStringLiteral("pedidos/PED101.txt"), rig::orderFile(101));
    program.writeLocal(QStringLiteral("PED100.txt"), rig::orderFile(100));
    program.writeFtpIni(server, remoteFolder);
    db.writeZeltoIni(program.appFolder());

    rig::Result r = program.run({}, 30000);
    EXPECT_EQ(r.exitCode, 1) << rig::describe(r);
    EXPECT_TRUE(server.exists(QStringLiteral("pedidos/PED101.txt")));
    EXPECT_EQ(program.localFiles(), QStringList{QStringLiteral("PED100.txt")});
    EXPECT_EQ(server.loginCount(), 0);
    EXPECT_EQ(rig::bookedOrders(db), rig::BookedOrders{});

    trust(program, r.err);
    r = program.run({}, 30000);
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    EXPECT_FALSE(server.exists(QStringLiteral("pedidos/PED101.txt")));
    EXPECT_EQ(program.archivedFiles(), (QStringList{QStringLiteral("PED100.txt"), QStringLiteral("PED101.txt")}));
    EXPECT_EQ(rig::bookedOrders(db), (rig::BookedOrders{{100, {1, 2}}, {101, {1, 2}}}));
    EXPECT_EQ(server.loginCount(), 1);
    EXPECT_TRUE(program.ftpIni().contains("\r\nFTP=" + server.address().toUtf8() + "\r\n")) << "rewritten as it was read";
}

} // namespace

TEST(ServerFaults, SftpHostKeyRefusedUntilRegisteredWithTheCommandTheRefusalGives)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    refusedUntilTrusted(server, QStringLiteral("pedidos"), [&](const rig::Program&, const QString& err) {
        EXPECT_EQ(server.commandCount(QStringLiteral("Failed password")), 0);
        const QRegularExpressionMatch scan =
            QRegularExpression(QStringLiteral("ssh-keyscan -p \\d+ 127\\.0\\.0\\.1 >> '[^']*/known_hosts'")).match(err);
        ASSERT_TRUE(scan.hasMatch()) << err.toStdString();
        QProcess shell;
        shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), scan.captured(0)});
        ASSERT_TRUE(shell.waitForFinished(20000) && shell.exitCode() == 0) << shell.readAllStandardError().toStdString();
    });
}

TEST(ServerFaults, FtpsCertificateRefusedUntilPutInFtpCaPem)
{
    PyFtpServer::Options o;
    o.tls = true;
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    refusedUntilTrusted(server, QStringLiteral("/pedidos"), [&](const rig::Program& program, const QString& err) {
        const QString caFile = QDir(program.appFolder()).filePath(QStringLiteral("ftp-ca.pem"));
        EXPECT_TRUE(err.contains(QStringLiteral("autoridade desconhecida")) && err.contains(caFile)) << err.toStdString();
        ASSERT_TRUE(QFile::copy(server.certFile(), caFile));
    });
}
