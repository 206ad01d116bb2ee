// The unattended run of the real program against servers it must first trust: an SFTP server
// whose host key is registered with the command the refusal gives, and an FTPS server whose
// certificate the system does not know until it is put in ftp-ca.pem.
#include "core/ftp_ini.h"
#include "support/ftp_server.h"
#include "support/ssh_server.h"
#include "support/test_database.h"
#include "support/unattended_rig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// What a refused run must have left alone: the orders on the server, an empty local folder and
// database, and no password sent.
void expectUntouched(const FtpServerFixture& server, const rig::ProgramFolders& folders,
                     const testdb::FirebirdTestDatabase& db, const rig::ProgramResult& r)
{
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(server.exists("pedidos/PED101.txt"));
    EXPECT_TRUE(folders.localFiles().isEmpty());
    EXPECT_TRUE(folders.archivedFiles().isEmpty());
    EXPECT_EQ(server.loginCount(), 0);
    auto probe = db.connect();
    EXPECT_TRUE(rig::bookedOrders(*probe).isEmpty());
}

void expectBooked(const FtpServerFixture& server, const rig::ProgramFolders& folders,
                  const testdb::FirebirdTestDatabase& db, const rig::ProgramResult& r)
{
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(server.exists("pedidos/PED101.txt"));
    EXPECT_TRUE(folders.localFiles().isEmpty());
    EXPECT_EQ(folders.archivedFiles(), QStringList{"PED101.txt"});
    auto probe = db.connect();
    EXPECT_EQ(rig::bookedOrders(*probe), (QMap<int, rig::Booked>{{101, rig::Booked{1, 2}}}));
    // ftp.ini rewritten with the address as it was read.
    EXPECT_EQ(readFtpIni(folders.appFolder()).server, server.address());
}

} // namespace

TEST(SecureServers, SftpHostKeyRefusedUntilRegisteredThenTheRunBooks)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    server.writeFile("pedidos/PED101.txt", rig::orderFile(101));
    folders.writeFtpIni(server, "pedidos");
    db.writeZeltoIni(folders.appFolder());

    // No known_hosts beside the program: the key is refused before the password goes out.
    const rig::ProgramResult refused = rig::runProgram(folders, 30000);
    ASSERT_TRUE(refused.finished);
    expectUntouched(server, folders, db, refused);
    EXPECT_EQ(server.refusedLogins(), 0);
    EXPECT_TRUE(refused.err.contains(server.fingerprint())) << refused.err.toStdString();
    const QRegularExpressionMatch scan =
        QRegularExpression("ssh-keyscan -p \\d+ 127\\.0\\.0\\.1 >> '[^']*known_hosts'").match(refused.err);
    ASSERT_TRUE(scan.hasMatch()) << refused.err.toStdString();

    // The command the message gives registers the key; the next run books the order.
    QProcess shell;
    shell.start("bash", {"-c", scan.captured(0)});
    ASSERT_TRUE(shell.waitForFinished(20000) && shell.exitCode() == 0) << shell.readAllStandardError().toStdString();
    expectBooked(server, folders, db, rig::runProgram(folders, 30000));
    EXPECT_EQ(server.loginCount(), 1);
}

TEST(SecureServers, FtpsRunNeedsTheServersCertificateInFtpCaPem)
{
    PyFtpServer::Options o;
    o.tls = true;
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    server.writeFile("pedidos/PED101.txt", rig::orderFile(101));
    folders.writeFtpIni(server, "/pedidos");
    db.writeZeltoIni(folders.appFolder());
    const QString caFile = QDir(folders.appFolder()).filePath("ftp-ca.pem");

    const rig::ProgramResult refused = rig::runProgram(folders, 30000);
    ASSERT_TRUE(refused.finished);
    expectUntouched(server, folders, db, refused);
    EXPECT_TRUE(refused.err.contains("autoridade desconhecida")) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(caFile)) << refused.err.toStdString();

    ASSERT_TRUE(QFile::copy(server.certFile(), caFile));
    expectBooked(server, folders, db, rig::runProgram(folders, 30000));
}
