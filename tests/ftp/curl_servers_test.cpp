// ftps://: the certificate checks before the login, and a session over the encrypted connection.
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

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
            continue;
        }
        EXPECT_FALSE(ftp.run("dir"));
        EXPECT_EQ(ftp.finalState(), FtpState::Error);
        const QString info = ftp.info();
        EXPECT_TRUE(info.contains(c.reason)) << info.toStdString();
        EXPECT_TRUE(info.contains(caFile)) << info.toStdString();
        if (c.caFile != Junk) {
            EXPECT_TRUE(info.contains("servidor FTP 127.0.0.1:" + QString::number(server.port()))) << info.toStdString();
            EXPECT_TRUE(info.contains(QRegularExpression("SHA-256: ([0-9A-F]{2}:){31}[0-9A-F]{2}"))) << info.toStdString();
        }
        EXPECT_EQ(server.commandCount("USER"), 0) << "the user name went out";
    }
}
