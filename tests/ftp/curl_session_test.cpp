// The libcurl transfer control against a real FTP server on loopback: a whole session on one login.
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QTemporaryDir>
#include <mutex>

TEST(CurlControl, SessionOnOneLogin)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile("PED 1.txt", "pedido 1\r\n");
    server.writeFile("pedidos do dia/PED2.txt", "pedido 2");
    QTemporaryDir local;
    CurlDriver ftp(server.address(), server.user(), server.password());
    std::mutex traceMutex;
    QStringList trace;
    ftp.control.setTraceListener([&](const QString& line) {
        std::lock_guard lk(traceMutex);
        trace << line;
    });

    EXPECT_EQ(ftp.dir(), (QStringList{"PED 1.txt", "pedidos do dia/"}));
    EXPECT_EQ(ftp.finalState(), FtpState::ResponseCompleted);
    ASSERT_TRUE(ftp.run("cd", {"pedidos do dia"})) << ftp.info().toStdString();
    // A missing folder fails with the server's reply and leaves the folder as it was.
    EXPECT_FALSE(ftp.run("cd", {"nao existe"}));
    EXPECT_EQ(ftp.finalState(), FtpState::Error);
    EXPECT_TRUE(notFound(ftp.info())) << ftp.info().toStdString();
    EXPECT_EQ(ftp.pwd(), "/pedidos do dia");
    EXPECT_EQ(ftp.dir(), QStringList{"PED2.txt"});

    // Downloads: no ".part" left; an existing local file is never overwritten.
    const QString target = local.filePath("PED2.txt");
    ASSERT_TRUE(ftp.run("recv", {"PED2.txt", target})) << ftp.info().toStdString();
    server.writeFile("pedidos do dia/PED2.txt", "outro conteudo");
    EXPECT_FALSE(ftp.run("recv", {"PED2.txt", target}));
    EXPECT_EQ(readFile(target), "pedido 2");
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files), QStringList{"PED2.txt"});

    // Delete; deleting again is refused with 550.
    ASSERT_TRUE(ftp.run("cd", {".."}));
    ASSERT_TRUE(ftp.run("delete", {"PED 1.txt"})) << ftp.info().toStdString();
    EXPECT_FALSE(server.exists("PED 1.txt"));
    EXPECT_FALSE(ftp.run("delete", {"PED 1.txt"}));
    EXPECT_TRUE(notFound(ftp.info())) << ftp.info().toStdString();

    // Upload (a doubled "/" as the window may send), mkdir, rmdir (refused when not empty).
    ASSERT_TRUE(ftp.run("send", {target, "//pedidos do dia/enviado 1.txt"})) << ftp.info().toStdString();
    EXPECT_EQ(server.readFile("pedidos do dia/enviado 1.txt"), "pedido 2");
    ASSERT_TRUE(ftp.run("mkdir", {"nova pasta"})) << ftp.info().toStdString();
    EXPECT_TRUE(server.exists("nova pasta"));
    ASSERT_TRUE(ftp.run("rmdir", {"nova pasta"}));
    EXPECT_FALSE(server.exists("nova pasta"));
    EXPECT_FALSE(ftp.run("rmdir", {"pedidos do dia"}));
    EXPECT_TRUE(server.exists("pedidos do dia/PED2.txt"));

    {
        std::lock_guard lk(traceMutex);
        EXPECT_TRUE(trace.contains("> PASS ****")) << trace.join('\n').toStdString();
        EXPECT_TRUE(trace.filter(server.password()).isEmpty());
    }
    EXPECT_FALSE(ftp.badDelivery) << "notifications come queued, on the creating thread";
    EXPECT_EQ(server.loginCount(), 1) << server.logText().toStdString();
    // quit ends the session; the next command logs in again at the login folder.
    ASSERT_TRUE(ftp.run("quit"));
    EXPECT_EQ(ftp.pwd(), "/");
    EXPECT_EQ(server.loginCount(), 2);
}
