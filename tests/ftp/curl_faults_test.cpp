// The libcurl transfer control when things go wrong: cancel, dropped and hung servers, bad
// addresses and logins.
#include "ftp/curl/curl_transfer_control.h"
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray bigContent(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char('A' + (i * 7 + i / 1000) % 26);
    return data;
}

// Processes events for `ms` milliseconds.
void idle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
}

// Processes events until `done` or `maxMs` passed; the final value of `done`.
template <typename F>
bool idleUntil(F done, int maxMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < maxMs) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return done();
}

} // namespace

// Cancel during a slow download returns at once, leaves no file behind, and the next
// commands reconnect by themselves in the same folder; a new Execute while a command runs
// replaces it the same way.
TEST(CurlControl, CancelMidDownloadThenCarryOn)
{
    PyFtpServer::Options o;
    o.throttleBytesPerSec = 100 * 1024;
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile("lote/grande.bin", bigContent(2 * 1024 * 1024));
    server.writeFile("lote/pequeno.txt", "ok");
    QTemporaryDir local;
    const QString target = local.filePath("grande.bin");

    CurlDriver ftp(server.address(), server.user(), server.password());
    ASSERT_TRUE(ftp.run("cd", {"lote"}));
    ftp.start("recv", {"grande.bin", target});
    // Wait until data flows into the .part file.
    QElapsedTimer t;
    t.start();
    while (QFileInfo(target + ".part").size() == 0 && t.elapsed() < 10000) {
        QCoreApplication::processEvents();
        ftp.control.waitForProgress(50);
    }
    ASSERT_GT(QFileInfo(target + ".part").size(), 0);
    ASSERT_TRUE(ftp.control.StillExecuting());
    QElapsedTimer c;
    c.start();
    ftp.control.Cancel();
    EXPECT_LT(c.elapsed(), 100);
    EXPECT_FALSE(ftp.control.StillExecuting());
    EXPECT_FALSE(ftp.control.LastSucceeded());
    idle(100);
    EXPECT_FALSE(ftp.states.contains(12)) << "a cancelled command does not complete";

    // The next command works, in the same folder, on a new login.
    QStringList entries = ftp.dir();
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries.mid(0, 2), (QStringList{"./", "../"}));
    entries = entries.mid(2);
    entries.sort();
    EXPECT_EQ(entries, (QStringList{"grande.bin", "pequeno.txt"}));
    EXPECT_EQ(ftp.pwd(), "/lote");
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_FALSE(QFile::exists(target + ".part"));
    EXPECT_EQ(server.loginCount(), 2);

    // Execute while a download runs: the download is dropped, the new command answers.
    ftp.start("recv", {"grande.bin", target});
    idle(300);
    ASSERT_TRUE(ftp.control.StillExecuting());
    EXPECT_TRUE(ftp.run("recv", {"pequeno.txt", local.filePath("pequeno.txt")}))
        << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(QFile(local.filePath("pequeno.txt")).size(), 2);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_FALSE(QFile::exists(target + ".part"));
    EXPECT_FALSE(ftp.badDelivery);

    // Destroying the control during a download stops it promptly and cleans up.
    {
        auto other = std::make_unique<CurlDriver>(server.address(), server.user(), server.password());
        ASSERT_TRUE(other->run("cd", {"lote"}));
        other->start("recv", {"grande.bin", target});
        ASSERT_TRUE(idleUntil([&] { return QFileInfo(target + ".part").size() > 0; }, 10000));
        QElapsedTimer d;
        d.start();
        other.reset();
        EXPECT_LT(d.elapsed(), 1000);
    }
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_FALSE(QFile::exists(target + ".part"));
}

// A server that closes idle sessions: the next command is retried once on a new login and
// keeps the current folder.
TEST(CurlControl, IdleDropIsRetriedOnNewLogin)
{
    PyFtpServer::Options o;
    o.idleTimeoutSec = 1;
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile("sub/PED9.txt", "nove");
    QTemporaryDir local;

    CurlDriver ftp(server.address(), server.user(), server.password());
    ASSERT_TRUE(ftp.run("cd", {"sub"}));
    EXPECT_EQ(server.loginCount(), 1);
    // The server says 421 and hangs up meanwhile.
    auto dropped = [&](int n) { return idleUntil([&] { return server.logText().count("421 Control") >= n; }, 8000); };
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(dropped(round + 1)) << server.logText().toStdString();
        EXPECT_EQ(ftp.dir(), (QStringList{"./", "../", "PED9.txt"})) << "round " << round;
        EXPECT_EQ(ftp.finalState(), 12);
    }
    EXPECT_EQ(ftp.pwd(), "/sub");
    ASSERT_TRUE(dropped(3));
    const QString file = local.filePath("PED9.txt");
    ASSERT_TRUE(ftp.run("recv", {"PED9.txt", file})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(QFile(file).size(), 4);
    ASSERT_TRUE(dropped(4));
    ASSERT_TRUE(ftp.run("delete", {"PED9.txt"})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_FALSE(server.exists("sub/PED9.txt"));
    EXPECT_EQ(server.loginCount(), 5);
}

// A server that stops answering fails the command within the request time-out (twice the
// time-out when a logged-in session hangs: one new login is tried); once it answers again,
// the next command works.
TEST(CurlControl, HungServerTimesOut)
{
    PyFtpServer::Options mute;
    mute.mute = true;
    PyFtpServer silent(mute);
    ASSERT_TRUE(silent.isRunning()) << silent.error().toStdString();
    {
        CurlDriver ftp(silent.address(), "u", "p");
        ftp.control.setRequestTimeoutMs(2000);
        EXPECT_FALSE(ftp.run("dir", {}, 20000));
        EXPECT_EQ(ftp.finalState(), 11);
        EXPECT_GE(ftp.lastMs, 1500);
        EXPECT_LT(ftp.lastMs, 3500);
        EXPECT_TRUE(ftp.control.ResponseInfo().contains("Tempo esgotado")) << ftp.control.ResponseInfo().toStdString();
    }

    PyFtpServer server;
    ASSERT_TRUE(server.isRunning());
    server.writeFile("a.txt", "a");
    CurlDriver ftp(server.address(), server.user(), server.password());
    ftp.control.setRequestTimeoutMs(2000);
    ASSERT_TRUE(ftp.run("dir"));
    server.pause();
    EXPECT_FALSE(ftp.run("dir", {}, 20000));
    EXPECT_EQ(ftp.finalState(), 11);
    EXPECT_LT(ftp.lastMs, 2 * 2000 + 1500);
    server.resume();
    EXPECT_EQ(ftp.dir(), (QStringList{"./", "../", "a.txt"}));

    // Closing the session (QUIT) on a server that hangs is bounded by the time-out as well.
    server.pause();
    QElapsedTimer q;
    q.start();
    ftp.run("quit", {}, 20000);
    EXPECT_LT(q.elapsed(), 2000 + 1500);
    server.resume();
    EXPECT_EQ(ftp.dir(), (QStringList{"./", "../", "a.txt"}));
    server.pause();
    {
        CurlDriver last(server.address(), server.user(), server.password());
        last.control.setRequestTimeoutMs(2000);
        server.resume();
        ASSERT_TRUE(last.run("pwd"));
        server.pause();
        q.restart();
    }
    EXPECT_LT(q.elapsed(), 2000 + 1500) << "destroying the control does not wait long for a hung server";
    server.resume();
}

// Malformed addresses, a closed port and a refused login end the command with state 11 and a
// readable report; nothing crashes and nothing is left running.
TEST(CurlControl, BadAddressesAndLogins)
{
    for (const QString& address : {QString("ftp://"), QString("   "), QString("host:99999"), QString("ftp://host/pasta"),
                                   QString("http://127.0.0.1"), QString("127.0.0.1:"), QString("a b")}) {
        CurlDriver ftp(address, "u", "p");
        EXPECT_FALSE(ftp.run("dir", {}, 10000)) << address.toStdString();
        EXPECT_EQ(ftp.states, (QList<int>{11})) << address.toStdString();
        EXPECT_TRUE(ftp.control.ResponseInfo().contains("Endereço")) << ftp.control.ResponseInfo().toStdString();
        EXPECT_FALSE(ftp.control.StillExecuting());
    }

    PyFtpServer server;
    ASSERT_TRUE(server.isRunning());
    const int port = server.port();
    {
        CurlDriver ftp(QString("ftp://127.0.0.1:%1/").arg(port), server.user(), "senha errada");
        EXPECT_FALSE(ftp.run("dir"));
        EXPECT_EQ(ftp.finalState(), 11);
        // In Portuguese, with the server's own reply and libcurl's code for support.
        const QString refusal =
            QString("Usuário ou senha recusados pelo servidor FTP 127.0.0.1:%1: 530 Authentication failed. (curl 67)").arg(port);
        EXPECT_EQ(ftp.control.ResponseInfo(), refusal);
        // The commands after it fail at once with the refusal: one login attempt per connect.
        for (const char* verb : {"pwd", "cd", "dir"}) {
            EXPECT_FALSE(ftp.run(verb, {"pedidos"})) << verb;
            EXPECT_EQ(ftp.finalState(), 11) << verb;
            EXPECT_EQ(ftp.control.ResponseInfo(), refusal) << verb;
        }
        EXPECT_TRUE(ftp.control.LoginRefused());
        EXPECT_EQ(server.commandCount("USER"), 1);
        // Setting the password again is a new connect: the right one logs in.
        ftp.control.setPassword(server.password());
        EXPECT_FALSE(ftp.control.LoginRefused());
        EXPECT_TRUE(ftp.run("dir")) << ftp.control.ResponseInfo().toStdString();
        EXPECT_EQ(server.commandCount("USER"), 2);
    }
    server.stop();
    CurlDriver ftp(QString("127.0.0.1:%1").arg(port), "u", "p");
    EXPECT_FALSE(ftp.run("pwd"));
    EXPECT_EQ(ftp.finalState(), 11);
    EXPECT_EQ(ftp.control.ResponseInfo(),
              QString("Não foi possível conectar ao servidor FTP 127.0.0.1:%1: conexão recusada (curl 7)").arg(port));
    EXPECT_FALSE(ftp.run("frobnicate"));
    EXPECT_TRUE(ftp.control.ResponseInfo().contains("desconhecido"));
    // The server is back: the same control connects.
    ASSERT_TRUE(server.restart()) << server.error().toStdString();
    ftp.control.setUserName(server.user());
    ftp.control.setPassword(server.password());
    EXPECT_EQ(ftp.dir(), (QStringList{"./", "../"}));
}

// A download is complete when it brings the bytes the last listing of its folder gave the file
// (SIZE is then not asked), or, for a file not listed, those of the server's SIZE answer;
// otherwise it fails and leaves nothing behind. A ".part" target is written in place.
TEST(CurlControl, DownloadsAreCheckedAgainstTheListingElseSize)
{
    PyFtpServer::Options o;
    o.lieSizeBy = 100; // SIZE answers 100 bytes more than the file has
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile("PED5.txt", bigContent(5000));
    server.writeFile("PED6.txt", "seis");
    QTemporaryDir local;
    const auto nothingLocal = [&] { return QDir(local.path()).entryList(QDir::Files).join(' ').toStdString(); };
    CurlDriver ftp(server.address(), server.user(), server.password());

    EXPECT_FALSE(ftp.run("recv", {"PED5.txt", local.filePath("PED5.txt")}));
    EXPECT_EQ(ftp.finalState(), 11);
    EXPECT_EQ(server.commandCount("SIZE"), 1);
    EXPECT_EQ(nothingLocal(), "");

    ASSERT_EQ(ftp.dir(), (QStringList{"./", "../", "PED5.txt", "PED6.txt"}));
    EXPECT_TRUE(ftp.run("recv", {"PED5.txt", local.filePath("PED5.txt")})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(readLocal(local.filePath("PED5.txt")), bigContent(5000));
    EXPECT_EQ(server.commandCount("SIZE"), 1) << "no SIZE for a listed file";

    // Changed on the server since the listing.
    server.writeFile("PED6.txt", "seis, e mais");
    EXPECT_FALSE(ftp.run("recv", {"PED6.txt", local.filePath("PED6.txt")}));
    EXPECT_TRUE(ftp.control.ResponseInfo().contains("listagem")) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(nothingLocal(), "PED5.txt");

    // Listed again: a ".part" left by an interrupted download is replaced in place.
    ftp.dir();
    QFile stale(local.filePath("PED6.txt.part"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("sobra de um download interrompido, maior que o arquivo");
    stale.close();
    EXPECT_TRUE(ftp.run("recv", {"PED6.txt", local.filePath("PED6.txt.part")})) << ftp.control.ResponseInfo().toStdString();
    EXPECT_EQ(readLocal(local.filePath("PED6.txt.part")), "seis, e mais");
    EXPECT_EQ(server.commandCount("SIZE"), 1);
    EXPECT_TRUE(server.exists("PED5.txt") && server.exists("PED6.txt"));
}

// The server carries out a command and closes the connection before its reply: the command is
// not sent again on a new login. A DELE sent twice would fail with 550 for a file it deleted;
// a download cut short is reported, not fetched again.
TEST(CurlControl, ACommandWhoseReplyIsLostIsNotSentAgain)
{
    for (const QString& word : {QString("DELE"), QString("RETR")}) {
        SCOPED_TRACE(word.toStdString());
        PyFtpServer::Options o;
        o.dropAfterCommand = word;
        PyFtpServer server(o);
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        server.writeFile("PED1.txt", bigContent(300000));
        QTemporaryDir local;
        CurlDriver ftp(server.address(), server.user(), server.password());
        ASSERT_EQ(ftp.dir(), (QStringList{"./", "../", "PED1.txt"}));

        const bool ok = word == "DELE" ? ftp.run("delete", {"PED1.txt"})
                                       : ftp.run("recv", {"PED1.txt", local.filePath("PED1.txt")});
        EXPECT_FALSE(ok);
        EXPECT_EQ(server.commandCount(word), 1) << server.logText().toStdString();
        EXPECT_EQ(server.exists("PED1.txt"), word == "RETR");
        EXPECT_TRUE(QDir(local.path()).entryList(QDir::Files).isEmpty());
        // The session goes on, on a new login.
        EXPECT_EQ(ftp.pwd(), "/");
        EXPECT_EQ(server.loginCount(), 1);
    }
}
