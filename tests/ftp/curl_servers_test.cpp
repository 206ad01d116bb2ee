// The libcurl transfer control against other servers: explicit TLS with its certificate checks,
// vsftpd (LIST only), and the CPU it uses while it waits.
#include "ftp/curl/curl_transfer_control.h"
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The SHA-256 fingerprint of a PEM certificate as the openssl tool prints it ("AB:12:...").
QString opensslFingerprint(const QString& pemFile)
{
    QProcess openssl;
    openssl.start("openssl", {"x509", "-noout", "-fingerprint", "-sha256", "-in", pemFile});
    openssl.waitForFinished(20000);
    return QString::fromLatin1(openssl.readAllStandardOutput()).section('=', 1).trimmed();
}

} // namespace

// ftps://: a certificate the system does not know is trusted once it is in ftp-ca.pem, and the
// usual commands work over the encrypted session on one login.
TEST(CurlControl, ExplicitTlsTrustsFtpCaPem)
{
    PyFtpServer::Options o;
    o.tls = true;
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ASSERT_TRUE(server.address().startsWith("ftps://"));
    server.writeFile("PED1.txt", "pedido seguro");
    QTemporaryDir app, local;
    {
        // Plain FTP to a server that demands TLS is refused by the server.
        CurlDriver plain(QString("127.0.0.1:%1").arg(server.port()), server.user(), server.password());
        EXPECT_FALSE(plain.run("dir"));
        EXPECT_EQ(plain.finalState(), 11);
    }
    ASSERT_TRUE(QFile::copy(server.certFile(), QDir(app.path()).filePath("ftp-ca.pem")));
    const int loginsBefore = server.loginCount();

    CurlDriver ftp(server.address(), server.user(), server.password());
    ftp.control.setTrustFolder(app.path());
    EXPECT_EQ(ftp.dir(), (QStringList{"./", "../", "PED1.txt"}));
    const QString target = local.filePath("PED1.txt");
    ASSERT_TRUE(ftp.run("recv", {"PED1.txt", target})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(readLocal(target), "pedido seguro");
    ASSERT_TRUE(ftp.run("delete", {"PED1.txt"}));
    ASSERT_TRUE(ftp.run("mkdir", {"enviados"}));
    ASSERT_TRUE(ftp.run("send", {target, "enviados/PED1.txt"})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(server.readFile("enviados/PED1.txt"), "pedido seguro");
    ASSERT_TRUE(ftp.run("cd", {"enviados"}));
    EXPECT_EQ(ftp.pwd(), "/enviados");
    EXPECT_EQ(server.loginCount() - loginsBefore, 1);
}

// A certificate that does not verify ends the connection before the login; the refusal names the
// server, the reason and the certificate's fingerprint, and the file that trusts certificates.
TEST(CurlControl, RefusedCertificateIsNamedAndNothingIsSent)
{
    struct Case {
        const char* what;
        QString name;
        bool expired;
        enum { None, Certificate, Junk } caFile;
        QString reason;
    };
    const QList<Case> cases = {
        {"unknown issuer", "127.0.0.1", false, Case::None, "foi emitido por uma autoridade desconhecida"},
        {"name mismatch", "outro.exemplo", false, Case::Certificate,
         "foi emitido para outro nome (outro.exemplo), não para 127.0.0.1"},
        {"expired", "127.0.0.1", true, Case::Certificate, "expirou em "},
        {"file without certificates", "127.0.0.1", false, Case::Junk, "não contém nenhum certificado"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PyFtpServer::Options o;
        o.tls = true;
        o.tlsName = c.name;
        o.tlsExpired = c.expired;
        PyFtpServer server(o);
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        QTemporaryDir app;
        const QString caFile = QDir(app.path()).filePath("ftp-ca.pem");
        if (c.caFile == Case::Certificate) {
            ASSERT_TRUE(QFile::copy(server.certFile(), caFile));
        }
        if (c.caFile == Case::Junk) {
            ASSERT_TRUE(writeLocal(caFile, "não é um certificado\n"));
        }

        CurlDriver ftp(server.address(), server.user(), server.password());
        ftp.control.setTrustFolder(app.path());
        EXPECT_FALSE(ftp.run("dir"));
        EXPECT_EQ(ftp.finalState(), 11);
        const QString info = ftp.control.ResponseInfo();
        EXPECT_TRUE(info.contains(c.reason)) << info.toStdString();
        EXPECT_TRUE(info.contains(caFile)) << info.toStdString();
        if (c.caFile != Case::Junk) {
            EXPECT_TRUE(info.contains("servidor FTP 127.0.0.1:" + QString::number(server.port()))) << info.toStdString();
            EXPECT_TRUE(info.contains("SHA-256: " + opensslFingerprint(server.certFile()))) << info.toStdString();
        }
        EXPECT_EQ(server.commandCount("USER"), 0) << "the user name went out";
    }
}

// vsftpd has no MLSD: the listing comes from LIST (asked for MLSD once), the login folder is
// an absolute path, and the download walk's commands work on one login.
TEST(CurlControl, VsftpdListAndWalk)
{
    VsftpdServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    server.writeFile("a b.txt", "com espaço");
    server.writeFile("PED2.txt", "dois");
    server.writeFile("sub dir/PED3.txt", "tres");
    QTemporaryDir local;

    CurlDriver ftp(server.address(), server.user(), server.password());
    QStringList entries = ftp.dir();
    ASSERT_GE(entries.size(), 2) << entries.join('|').toStdString();
    EXPECT_EQ(entries.mid(0, 2), (QStringList{"./", "../"}));
    entries = entries.mid(2);
    entries.sort();
    EXPECT_EQ(entries, (QStringList{"PED2.txt", "a b.txt", "sub dir/"}));
    EXPECT_EQ(ftp.pwd(), server.root());

    // The walk: recv then delete each file.
    for (const QString& name : {QString("a b.txt"), QString("PED2.txt")}) {
        ASSERT_TRUE(ftp.run("recv", {name, local.filePath(name)})) << ftp.control.ResponseInfo().toStdString();
        ASSERT_TRUE(ftp.run("delete", {name})) << ftp.control.ResponseInfo().toStdString();
        EXPECT_FALSE(server.exists(name));
    }
    EXPECT_EQ(readLocal(local.filePath("a b.txt")), "com espaço");
    EXPECT_EQ(readLocal(local.filePath("PED2.txt")), "dois");

    ASSERT_TRUE(ftp.run("cd", {"sub dir"}));
    EXPECT_EQ(ftp.pwd(), server.root() + "/sub dir");
    EXPECT_EQ(ftp.dir(), (QStringList{"./", "../", "PED3.txt"}));
    EXPECT_FALSE(ftp.run("cd", {"falta"}));
    EXPECT_TRUE(notFound(ftp.control.ResponseInfo())) << ftp.control.ResponseInfo().toStdString();
    ASSERT_TRUE(ftp.run("cd", {".."}));
    EXPECT_EQ(ftp.dir().mid(2), (QStringList{"sub dir/"}));

    EXPECT_EQ(server.loginCount(), 1) << server.logText().toStdString();
    EXPECT_EQ(server.logText().count("\"MLSD\""), 1) << "MLSD is asked for once per session";
}

// A slow transfer is waited for, not polled: the process uses little CPU meanwhile. (The speed
// of a whole walk is measured by scripts/bench-download.)
TEST(CurlControl, IdleCpuDuringASlowTransfer)
{
    PyFtpServer::Options o;
    o.throttleBytesPerSec = 64 * 1024;
    PyFtpServer slow(o);
    ASSERT_TRUE(slow.isRunning()) << slow.error().toStdString();
    slow.writeFile("lento.bin", QByteArray(160 * 1024, 'z'));
    QTemporaryDir local;
    CurlDriver ftp(slow.address(), slow.user(), slow.password());
    ASSERT_TRUE(ftp.run("pwd"));
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(ftp.run("recv", {"lento.bin", local.filePath("lento.bin")})) << ftp.control.ResponseInfo().toStdString();
    const double elapsed = double(t.elapsed()) / 1000.0;
    const double cpu = cpuSeconds() - cpu0;
    printf("slow transfer: %.2f s elapsed, %.3f s CPU (%.1f %%)\n", elapsed, cpu, 100.0 * cpu / elapsed);
    EXPECT_GT(elapsed, 1.5) << "the server throttles the transfer";
    EXPECT_LT(cpu, 0.10 * elapsed);
    EXPECT_EQ(QFile(local.filePath("lento.bin")).size(), 160 * 1024);
}
