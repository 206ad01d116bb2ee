// The libcurl transfer control over SFTP against a real OpenSSH server on loopback: the
// window's commands, and the host key check that comes before the password.
#include "support/ftp_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QTemporaryDir>

TEST(CurlSftp, CommandsOverSsh)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    server.writeFile("pedidos/PED 1.txt", "pedido um");
    QTemporaryDir app, local;
    writeFile(QDir(app.path()).filePath("known_hosts"), server.knownHostsLine());
    const QString sent = writeFile(local.filePath("envio.txt"), "enviado");

    CurlDriver sftp(server.address(), server.user(), server.password());
    sftp.control.setTrustFolder(app.path());
    const struct {
        QString verb;
        QStringList args;
        bool ok;
        QString answer; // of pwd and dir
    } steps[] = {
        {"pwd", {}, true, server.root()},
        {"cd", {"pedidos"}, true, {}},
        {"dir", {}, true, "./\r\n../\r\nPED 1.txt\r\n"},
        {"recv", {"PED 1.txt", local.filePath("PED 1.txt")}, true, {}},
        {"delete", {"PED 1.txt"}, true, {}},
        {"delete", {"PED 1.txt"}, false, {}},
        {"mkdir", {"nova \"pasta\""}, true, {}},
        {"send", {sent, "nova \"pasta\"/envio.txt"}, true, {}},
        {"rmdir", {"nova \"pasta\""}, false, {}}, // not empty
        {"cd", {"nova \"pasta\""}, true, {}},
        {"dir", {}, true, "./\r\n../\r\nenvio.txt\r\n"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE((step.verb + ' ' + step.args.join(' ')).toStdString());
        EXPECT_EQ(sftp.run(step.verb, step.args), step.ok) << sftp.info().toStdString();
        EXPECT_EQ(sftp.finalState(), step.ok ? FtpState::ResponseCompleted : FtpState::Error);
        if (!step.answer.isEmpty()) {
            EXPECT_EQ(sftp.answer(), step.answer);
        }
    }
    EXPECT_EQ(readFile(local.filePath("PED 1.txt")), "pedido um");
    EXPECT_EQ(sftp.control.LastListing().size("envio.txt"), 7) << "the sizes the download walk checks";
    EXPECT_EQ(server.loginCount(), 1) << "one SSH session";

    // A server that stops answering fails the command after the request time-out.
    sftp.control.setRequestTimeoutMs(1000);
    server.pause();
    EXPECT_FALSE(sftp.run("dir"));
    EXPECT_TRUE(sftp.info().startsWith("Tempo esgotado aguardando o servidor SFTP")) << sftp.info().toStdString();
    server.resume();
}

// A key that is not in known_hosts, or not the one there, ends the connection before the user
// name and password go out, with the key's fingerprint and what to run. Neither a refused key
// nor a wrong password is tried again before the next connect.
TEST(CurlSftp, RefusedHostKeysAndAWrongPasswordAreTriedOnce)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    QTemporaryDir app;
    const QString knownHosts = QDir(app.path()).filePath("known_hosts");

    CurlDriver sftp(server.address(), server.user(), server.password());
    sftp.control.setTrustFolder(app.path()); // no known_hosts there yet
    EXPECT_FALSE(sftp.run("dir"));
    EXPECT_TRUE(sftp.info().contains("não é conhecida")) << sftp.info().toStdString();
    EXPECT_TRUE(sftp.info().contains("ssh-ed25519 " + server.fingerprint())) << sftp.info().toStdString();
    EXPECT_TRUE(sftp.info().contains(QString("ssh-keyscan -p %1 127.0.0.1 >> '%2'").arg(server.port()).arg(knownHosts)))
        << sftp.info().toStdString();
    EXPECT_FALSE(sftp.run("pwd"));
    EXPECT_EQ(sftp.states, QList<FtpState>{FtpState::Error}) << "no second connection";
    EXPECT_TRUE(sftp.control.ServerNotTrusted());

    writeFile(knownHosts, QByteArray("[127.0.0.1]:") + QByteArray::number(server.port())
                              + " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOtSgrJtuSB9lpW57ArLV+UhmPKv/1dDpk03QlDeTKAx\n");
    sftp.control.setAddress(server.address()); // a new connect
    EXPECT_FALSE(sftp.run("dir"));
    EXPECT_TRUE(sftp.info().contains("mudou")) << sftp.info().toStdString();
    EXPECT_TRUE(sftp.info().contains(QString("ssh-keygen -R '[127.0.0.1]:%1' -f '%2'").arg(server.port()).arg(knownHosts)))
        << sftp.info().toStdString();
    EXPECT_EQ(server.loginCount() + server.commandCount("Failed password"), 0) << server.logText().toStdString();

    writeFile(knownHosts, server.knownHostsLine());
    sftp.control.setPassword("errada");
    EXPECT_FALSE(sftp.run("dir"));
    EXPECT_FALSE(sftp.run("pwd"));
    EXPECT_TRUE(sftp.control.LoginRefused() && !sftp.control.ServerNotTrusted());
    EXPECT_EQ(server.commandCount("Failed password"), 1);
}
