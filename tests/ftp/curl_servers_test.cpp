// ftps://: the certificate checks before the login, and a session over the encrypted connection.
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace {
// The SHA-256 fingerprint of a PEM certificate as the openssl tool prints it ("AB:12:...").
QString opensslFingerprint(const QString& pemFile)
{
    QProcess openssl;
    openssl.start("openssl", {"x509", "-noout", "-fingerprint", "-sha256", "-in", pemFile});
    openssl.waitForFinished(20000);
    return QString::fromLatin1(openssl.readAllStandardOutput()).section('=', 1).trimmed();
}
} // namespace

// A certificate that does not verify ends the connection before the user name goes out; the
// refusal names the server, the reason, the fingerprint and the file that trusts certificates.
// Once the certificate is in ftp-ca.pem, the session works.
TEST(CurlControl, TlsCertificatesAreCheckedBeforeTheLogin)
{
    enum CaFile { None, Certificate, Junk };
    const struct {
        const char* name;
        bool expired;
        CaFile caFile;
        QString reason; // empty: trusted
    } cases[] = {
        {"127.0.0.1", false, None, "foi emitido por uma autoridade desconhecida"},
        {"outro.exemplo", false, Certificate, "foi emitido para outro nome (outro.exemplo), não para 127.0.0.1"},
        {"127.0.0.1", true, Certificate, "expirou em "},
        {"127.0.0.1", false, Junk, "não contém nenhum certificado"},
        {"127.0.0.1", false, Certificate, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        PyFtpServer::Options o;
        o.tls = true;
        o.tlsName = c.name;
        o.tlsExpired = c.expired;
        PyFtpServer server(o);
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        server.writeFile("PED1.txt", "pedido seguro");
        QTemporaryDir app, local;
        const QString caFile = QDir(app.path()).filePath("ftp-ca.pem");
        if (c.caFile == Certificate) {
            ASSERT_TRUE(QFile::copy(server.certFile(), caFile));
        }
        if (c.caFile == Junk)
            writeFile(caFile, "não é um certificado\n");

        CurlDriver ftp(server.address(), server.user(), server.password());
        ftp.control.setTrustFolder(app.path());
        if (c.reason.isEmpty()) {
            EXPECT_EQ(ftp.dir(), QStringList{"PED1.txt"});
            ASSERT_TRUE(ftp.run("recv", {"PED1.txt", local.filePath("PED1.txt")})) << ftp.info().toStdString();
            EXPECT_EQ(readFile(local.filePath("PED1.txt")), "pedido seguro");
            ASSERT_TRUE(ftp.run("send", {local.filePath("PED1.txt"), "PED2.txt"})) << ftp.info().toStdString();
            EXPECT_EQ(server.readFile("PED2.txt"), "pedido seguro");
            EXPECT_EQ(server.loginCount(), 1);
            // Plain FTP to a server that demands TLS is refused by the server.
            CurlDriver plain(QString("127.0.0.1:%1").arg(server.port()), server.user(), server.password());
            EXPECT_FALSE(plain.run("dir"));
            continue;
        }
        EXPECT_FALSE(ftp.run("dir"));
        EXPECT_EQ(ftp.finalState(), 11);
        const QString info = ftp.info();
        EXPECT_TRUE(info.contains(c.reason)) << info.toStdString();
        EXPECT_TRUE(info.contains(caFile)) << info.toStdString();
        if (c.caFile != Junk) {
            EXPECT_TRUE(info.contains("servidor FTP 127.0.0.1:" + QString::number(server.port()))) << info.toStdString();
            EXPECT_TRUE(info.contains("SHA-256: " + opensslFingerprint(server.certFile()))) << info.toStdString();
        }
        EXPECT_EQ(server.commandCount("USER"), 0) << "the user name went out";
    }
}
