// The unattended run of the real program against servers it must first trust: an SFTP server
// whose host key is registered with the command the refusal gives, and an FTPS server whose
// certificate the system does not know until it is put in ftp-ca.pem.
#include "core/ftp_ini.h"
#include "support/ssh_server.h"
#include "support/test_database.h"
#include "support/unattended_rig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// One order on the server, one already in the local folder, and the program's folders set up to
// fetch and book them.
struct SecureRun {
    const FtpServerFixture& server;
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;

    SecureRun(const FtpServerFixture& s, const QString& remoteFolder) : server(s)
    {
        server.writeFile("pedidos/PED101.txt", rig::orderFile(101));
        QFile local(QDir(folders.localFolder()).filePath("PED100.txt"));
        if (local.open(QIODevice::WriteOnly))
            local.write(rig::orderFile(100));
        local.close();
        folders.writeFtpIni(server, remoteFolder);
        db.writeZeltoIni(folders.appFolder());
    }

    // A refused run touches nothing on either side, and no password goes out.
    rig::ProgramResult refused()
    {
        const rig::ProgramResult r = rig::runProgram(folders, 30000);
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(server.exists("pedidos/PED101.txt"));
        EXPECT_EQ(folders.localFiles(), QStringList{"PED100.txt"});
        EXPECT_TRUE(folders.archivedFiles().isEmpty());
        EXPECT_EQ(server.loginCount(), 0);
        EXPECT_TRUE(rig::bookedOrders(*db.connect()).isEmpty());
        return r;
    }

    void booked()
    {
        const rig::ProgramResult r = rig::runProgram(folders, 30000);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_FALSE(server.exists("pedidos/PED101.txt"));
        EXPECT_TRUE(folders.localFiles().isEmpty());
        EXPECT_EQ(folders.archivedFiles(), (QStringList{"PED100.txt", "PED101.txt"}));
        EXPECT_EQ(rig::bookedOrders(*db.connect()), (QMap<int, rig::Booked>{{100, {1, 2}}, {101, {1, 2}}}));
        EXPECT_EQ(readFtpIni(folders.appFolder()).server, server.address()) << "rewritten as it was read";
    }
};

} // namespace

TEST(SecureServers, SftpHostKeyRefusedUntilRegisteredThenTheRunBooks)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    SecureRun run(server, "pedidos");

    // No known_hosts beside the program: the key is refused before the password goes out.
    const QString err = run.refused().err;
    EXPECT_EQ(server.commandCount("Failed password"), 0);
    const QRegularExpressionMatch scan =
        QRegularExpression("ssh-keyscan -p \\d+ 127\\.0\\.0\\.1 >> '[^']*/known_hosts'").match(err);
    ASSERT_TRUE(scan.hasMatch()) << err.toStdString();

    // The command the message gives registers the key; the next run books the order.
    QProcess shell;
    shell.start("bash", {"-c", scan.captured(0)});
    ASSERT_TRUE(shell.waitForFinished(20000) && shell.exitCode() == 0) << shell.readAllStandardError().toStdString();
    run.booked();
    EXPECT_EQ(server.loginCount(), 1);
}

TEST(SecureServers, FtpsRunNeedsTheServersCertificateInFtpCaPem)
{
    PyFtpServer::Options o;
    o.tls = true;
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    SecureRun run(server, "/pedidos");
    const QString caFile = QDir(run.folders.appFolder()).filePath("ftp-ca.pem");

    const QString err = run.refused().err;
    EXPECT_TRUE(err.contains("autoridade desconhecida") && err.contains(caFile)) << err.toStdString();

    ASSERT_TRUE(QFile::copy(server.certFile(), caFile));
    run.booked();
}
