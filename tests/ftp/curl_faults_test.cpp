// The libcurl transfer control when things go wrong: cancel, dropped and hung servers, bad
// addresses and logins, downloads that do not match the listing, replies lost after a command.
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

namespace {
QByteArray bigContent(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char('A' + (i * 7 + i / 1000) % 26);
    return data;
}
QStringList filesIn(const QTemporaryDir& d) { return QDir(d.path()).entryList(QDir::Files); }
} // namespace

// Cancel or destroying the control during a download: it stops and leaves no file (the data went
// to the ".part"); after a cancel the next command reconnects by itself in the same folder.
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
    const auto flowing = [&] { return QFileInfo(target + ".part").size() > 0; };

    CurlDriver ftp(server.address(), server.user(), server.password());
    ASSERT_TRUE(ftp.run("cd", {"lote"}));
    ftp.start("recv", {"grande.bin", target});
    ASSERT_TRUE(ftp.waitFor(flowing));
    ftp.control.Cancel();
    EXPECT_FALSE(ftp.control.StillExecuting() || ftp.control.LastSucceeded());
    EXPECT_TRUE(ftp.run("recv", {"pequeno.txt", local.filePath("pequeno.txt")})) << ftp.info().toStdString();
    EXPECT_EQ(ftp.pwd(), "/lote");
    EXPECT_EQ(filesIn(local), QStringList{"pequeno.txt"});

    auto other = std::make_unique<CurlDriver>(server.address(), server.user(), server.password());
    ASSERT_TRUE(other->run("cd", {"lote"}));
    other->start("recv", {"grande.bin", target});
    ASSERT_TRUE(other->waitFor(flowing));
    other.reset();
    EXPECT_EQ(filesIn(local), QStringList{"pequeno.txt"});
}

// A server that closes idle sessions: the next command is retried once on a new login, in the
// same folder. A command whose reply is lost after the server carried it out is not sent again
// (a second DELE would fail for the file it deleted; a download cut short is reported).
TEST(CurlControl, DroppedSessionsRetryOnlyWhatTheServerDidNotGet)
{
    PyFtpServer::Options o;
    o.idleTimeoutSec = 1;
    PyFtpServer idle(o);
    ASSERT_TRUE(idle.isRunning()) << idle.error().toStdString();
    idle.writeFile("sub/PED9.txt", "nove");
    CurlDriver again(idle.address(), idle.user(), idle.password());
    ASSERT_TRUE(again.run("cd", {"sub"}));
    ASSERT_TRUE(again.waitFor([&] { return idle.logText().contains("421 Control"); }));
    ASSERT_TRUE(again.run("delete", {"PED9.txt"})) << again.info().toStdString();
    EXPECT_FALSE(idle.exists("sub/PED9.txt"));
    EXPECT_EQ(idle.loginCount(), 2);

    for (const QString& word : {QString("DELE"), QString("RETR")}) {
        SCOPED_TRACE(word.toStdString());
        PyFtpServer::Options d;
        d.dropAfterCommand = word;
        PyFtpServer server(d);
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        server.writeFile("PED1.txt", bigContent(300000));
        QTemporaryDir local;
        CurlDriver ftp(server.address(), server.user(), server.password());
        ASSERT_EQ(ftp.dir(), QStringList{"PED1.txt"});
        EXPECT_FALSE(word == "DELE" ? ftp.run("delete", {"PED1.txt"}) : ftp.run("recv", {"PED1.txt", local.filePath("PED1.txt")}));
        EXPECT_EQ(server.commandCount(word), 1) << server.logText().toStdString();
        EXPECT_EQ(server.exists("PED1.txt"), word == "RETR");
        EXPECT_EQ(filesIn(local), QStringList());
        EXPECT_EQ(ftp.pwd(), "/") << "the session goes on";
    }
}

// Malformed addresses, a refused login (tried once per connect), a closed port and a server that
// never answers (the request time-out) end the command with FtpState::Error and a readable report.
TEST(CurlControl, BadAddressesLoginsAndServers)
{
    CurlDriver malformed("http://127.0.0.1", "u", "p");
    EXPECT_FALSE(malformed.run("dir"));
    EXPECT_EQ(malformed.states, QList<FtpState>{FtpState::Error});
    EXPECT_TRUE(malformed.info().contains("Endereço")) << malformed.info().toStdString();

    PyFtpServer server;
    ASSERT_TRUE(server.isRunning());
    const int port = server.port();
    CurlDriver ftp(QString("ftp://127.0.0.1:%1/").arg(port), server.user(), "senha errada");
    const QString refusal =
        QString("Usuário ou senha recusados pelo servidor FTP 127.0.0.1:%1: 530 Authentication failed. (curl 67)").arg(port);
    for (const char* verb : {"dir", "pwd", "cd"}) {
        EXPECT_FALSE(ftp.run(verb, {"pedidos"})) << verb;
        EXPECT_EQ(ftp.info(), refusal) << verb;
    }
    EXPECT_TRUE(ftp.control.LoginRefused());
    EXPECT_EQ(server.commandCount("USER"), 1);
    ftp.control.setPassword(server.password()); // a new connect
    EXPECT_TRUE(ftp.run("dir")) << ftp.info().toStdString();

    server.stop();
    CurlDriver closed(QString("127.0.0.1:%1").arg(port), "u", "p");
    EXPECT_FALSE(closed.run("pwd"));
    EXPECT_EQ(closed.info(), QString("Não foi possível conectar ao servidor FTP 127.0.0.1:%1: conexão recusada (curl 7)").arg(port));

    PyFtpServer::Options mute;
    mute.mute = true;
    PyFtpServer silent(mute);
    ASSERT_TRUE(silent.isRunning()) << silent.error().toStdString();
    CurlDriver hung(silent.address(), "u", "p");
    hung.control.setRequestTimeoutMs(1000);
    EXPECT_FALSE(hung.run("dir"));
    EXPECT_EQ(hung.finalState(), FtpState::Error);
    EXPECT_TRUE(hung.info().contains("Tempo esgotado")) << hung.info().toStdString();
}

// A download is complete when it brings the bytes the last listing gave the file (SIZE is then
// not asked), or, for a file not listed, those of the SIZE answer; otherwise it fails and leaves
// nothing. A ".part" target is written in place.
TEST(CurlControl, DownloadsAreCheckedAgainstTheListingElseSize)
{
    PyFtpServer::Options o;
    o.lieSizeBy = 100; // SIZE answers 100 bytes more than the file has
    PyFtpServer server(o);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    server.writeFile("PED5.txt", bigContent(5000));
    server.writeFile("PED6.txt", "seis");
    QTemporaryDir local;
    CurlDriver ftp(server.address(), server.user(), server.password());

    EXPECT_FALSE(ftp.run("recv", {"PED5.txt", local.filePath("PED5.txt")}));
    EXPECT_EQ(filesIn(local), QStringList());
    ASSERT_EQ(ftp.dir(), (QStringList{"PED5.txt", "PED6.txt"}));
    EXPECT_TRUE(ftp.run("recv", {"PED5.txt", local.filePath("PED5.txt")})) << ftp.info().toStdString();
    EXPECT_EQ(readFile(local.filePath("PED5.txt")), bigContent(5000));

    server.writeFile("PED6.txt", "seis, e mais"); // changed since the listing
    EXPECT_FALSE(ftp.run("recv", {"PED6.txt", local.filePath("PED6.txt")}));
    EXPECT_TRUE(ftp.info().contains("listagem")) << ftp.info().toStdString();
    EXPECT_EQ(filesIn(local), QStringList{"PED5.txt"});

    ftp.dir();
    writeFile(local.filePath("PED6.txt.part"), "sobra de um download interrompido, maior que o arquivo");
    EXPECT_TRUE(ftp.run("recv", {"PED6.txt", local.filePath("PED6.txt.part")})) << ftp.info().toStdString();
    EXPECT_EQ(readFile(local.filePath("PED6.txt.part")), "seis, e mais");
    EXPECT_EQ(server.commandCount("SIZE"), 1);
}
