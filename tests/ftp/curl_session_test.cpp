// The libcurl transfer control against real FTP servers on loopback.
#include "ftp/curl/curl_transfer_control.h"
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <mutex>

// A whole interactive session on one login: listing, folders with blanks, pwd, download,
// upload, delete, mkdir, rmdir, and the failures that must leave things as they were.
TEST(CurlControl, SessionOnPyftpdlib)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile("PED 1.txt", "pedido 1\r\nlinha 2\r\n");
    server.writeFile("pedidos do dia/PED2.txt", "pedido 2");
    server.makeFolder("vazia");
    QTemporaryDir local;

    CurlDriver ftp(server.address(), server.user(), server.password());
    std::mutex traceMutex;
    QStringList trace;
    ftp.control.setTraceListener([&](const QString& line) {
        std::lock_guard lk(traceMutex);
        trace << line;
    });

    // The first "dir" logs in; the root listing starts with ./ and ../ too.
    const QStringList root = ftp.dir();
    ASSERT_GE(root.size(), 2) << root.join('|').toStdString();
    EXPECT_EQ(root.mid(0, 2), (QStringList{"./", "../"}));
    EXPECT_TRUE(root.contains("PED 1.txt"));
    EXPECT_TRUE(root.contains("pedidos do dia/"));
    EXPECT_TRUE(root.contains("vazia/"));
    EXPECT_EQ(root.size(), 5);
    EXPECT_EQ(ftp.finalState(), 12);
    EXPECT_FALSE(ftp.runningAtFinal);
    EXPECT_TRUE(ftp.states.contains(3)) << "a new connection reports connecting";
    EXPECT_EQ(ftp.pwd(), "/");

    // cd into a folder with blanks, then list it.
    ASSERT_TRUE(ftp.run("cd", {"pedidos do dia"})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(ftp.pwd(), "/pedidos do dia");
    EXPECT_EQ(ftp.dir(), (QStringList{"./", "../", "PED2.txt"}));

    // A missing folder fails with the server's reply and leaves the folder as it was.
    EXPECT_FALSE(ftp.run("cd", {"nao existe"}));
    EXPECT_EQ(ftp.finalState(), 11);
    EXPECT_TRUE(notFound(ftp.control.ResponseInfo())) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(ftp.pwd(), "/pedidos do dia");

    // Download: content equal, no .part left; an existing local file is never overwritten.
    const QString target = local.filePath("PED2.txt");
    ASSERT_TRUE(ftp.run("recv", {"PED2.txt", target})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(readLocal(target), "pedido 2");
    EXPECT_FALSE(QFile::exists(target + ".part"));
    server.writeFile("pedidos do dia/PED2.txt", "outro conteudo");
    EXPECT_FALSE(ftp.run("recv", {"PED2.txt", target}));
    EXPECT_EQ(readLocal(target), "pedido 2");

    // A missing remote file: failure, nothing left locally.
    const QString missing = local.filePath("NAO.txt");
    EXPECT_FALSE(ftp.run("recv", {"NAO.txt", missing}));
    EXPECT_EQ(ftp.finalState(), 11);
    EXPECT_TRUE(notFound(ftp.control.ResponseInfo())) << ftp.control.ResponseInfo().toStdString();
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(QFile::exists(missing + ".part"));

    // ".." goes back up; a path relative to the parent works too.
    ASSERT_TRUE(ftp.run("cd", {".."}));
    EXPECT_EQ(ftp.pwd(), "/");
    const QString first = local.filePath("PED 1.txt");
    ASSERT_TRUE(ftp.run("recv", {"PED 1.txt", first}));
    EXPECT_EQ(readLocal(first), "pedido 1\r\nlinha 2\r\n");

    // Delete: the file vanishes on the server; deleting it again fails with 550.
    ASSERT_TRUE(ftp.run("delete", {"PED 1.txt"})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_FALSE(server.exists("PED 1.txt"));
    EXPECT_FALSE(ftp.run("delete", {"PED 1.txt"}));
    EXPECT_TRUE(notFound(ftp.control.ResponseInfo())) << ftp.control.ResponseInfo().toStdString();

    // Upload, absolute and relative remote paths (a doubled "/" as the window may send).
    ASSERT_TRUE(ftp.run("send", {first, "//pedidos do dia/enviado 1.txt"})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(server.readFile("pedidos do dia/enviado 1.txt"), "pedido 1\r\nlinha 2\r\n");
    ASSERT_TRUE(ftp.run("send", {target, "enviado2.txt"}));
    EXPECT_EQ(server.readFile("enviado2.txt"), "pedido 2");
    EXPECT_FALSE(ftp.run("send", {local.filePath("nada.txt"), "x.txt"}));
    EXPECT_FALSE(server.exists("x.txt"));

    // mkdir / rmdir, names with blanks; rmdir of a folder that is not empty fails.
    ASSERT_TRUE(ftp.run("mkdir", {"nova pasta"})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_TRUE(QFileInfo(server.path("nova pasta")).isDir());
    EXPECT_TRUE(ftp.dir().contains("nova pasta/"));
    ASSERT_TRUE(ftp.run("rmdir", {"nova pasta"}));
    EXPECT_FALSE(server.exists("nova pasta"));
    EXPECT_FALSE(ftp.run("rmdir", {"pedidos do dia"}));
    EXPECT_EQ(ftp.finalState(), 11);
    EXPECT_TRUE(server.exists("pedidos do dia/PED2.txt"));

    // An absolute cd.
    ASSERT_TRUE(ftp.run("cd", {"/vazia"}));
    EXPECT_EQ(ftp.pwd(), "/vazia");
    EXPECT_EQ(ftp.dir(), (QStringList{"./", "../"}));

    // The dialogue never shows the password.
    {
        std::lock_guard lk(traceMutex);
        EXPECT_TRUE(trace.contains("> PASS ****")) << trace.join('\n').toStdString();
        EXPECT_TRUE(trace.filter(server.password()).isEmpty());
        EXPECT_TRUE(trace.filter("s3nh").isEmpty());
    }
    EXPECT_FALSE(ftp.badDelivery) << "notifications come queued, on the creating thread";

    // Everything above ran on one login.
    EXPECT_EQ(server.loginCount(), 1) << server.logText().toStdString();

    // quit ends the session; the next command logs in again at the login folder.
    ASSERT_TRUE(ftp.run("quit"));
    EXPECT_TRUE(ftp.states.contains(9) && ftp.states.contains(10));
    EXPECT_EQ(ftp.pwd(), "/");
    EXPECT_EQ(server.loginCount(), 2);
}
