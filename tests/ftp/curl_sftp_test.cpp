// The libcurl transfer control over SFTP against a real OpenSSH server on loopback: the
// window's commands, and the host key check that comes before the password.
#include "ftp/curl/curl_transfer_control.h"
#include "support/ssh_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The commands in the order a session uses them, on one SSH session.
TEST(CurlSftp, CommandsOverSsh)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    server.writeFile("pedidos/PED 1.txt", "pedido um");
    QTemporaryDir app, local;
    ASSERT_TRUE(writeLocal(QDir(app.path()).filePath("known_hosts"), server.knownHostsLine()));
    const QString root = server.root(), sent = local.filePath("envio.txt");
    ASSERT_TRUE(writeLocal(sent, "enviado"));

    CurlDriver sftp(server.address(), server.user(), server.password());
    sftp.control.setTrustFolder(app.path());
    const struct {
        QString verb;
        QStringList args;
        bool ok;
        QString answer; // of pwd and dir
    } steps[] = {
        {"pwd", {}, true, root},
        {"dir", {}, true, "./\r\n../\r\npedidos/\r\n"},
        {"cd", {"pedidos"}, true, {}},
        {"pwd", {}, true, root + "/pedidos"},
        {"dir", {}, true, "./\r\n../\r\nPED 1.txt\r\n"},
        {"recv", {"PED 1.txt", local.filePath("PED 1.txt")}, true, {}},
        {"delete", {"PED 1.txt"}, true, {}},
        {"delete", {"PED 1.txt"}, false, {}},
        {"mkdir", {"nova \"pasta\""}, true, {}},
        {"send", {sent, "nova \"pasta\"/envio.txt"}, true, {}},
        {"rmdir", {"nova \"pasta\""}, false, {}}, // not empty
        {"mkdir", {"vazia"}, true, {}},
        {"rmdir", {"vazia"}, true, {}},
        {"cd", {"nao existe"}, false, {}},
        {"cd", {"nova \"pasta\""}, true, {}},
        {"cd", {".."}, true, {}},
        {"dir", {}, true, "./\r\n../\r\nnova \"pasta\"/\r\n"},
        {"cd", {"nova \"pasta\""}, true, {}},
        {"dir", {}, true, "./\r\n../\r\nenvio.txt\r\n"},
        {"quit", {}, true, {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE((step.verb + ' ' + step.args.join(' ')).toStdString());
        EXPECT_EQ(sftp.run(step.verb, step.args), step.ok) << sftp.control.ResponseInfo().toStdString();
        EXPECT_EQ(sftp.finalState(), step.ok ? 12 : 11);
        if (!step.answer.isEmpty()) {
            EXPECT_EQ(sftp.answer(), step.answer);
        }
    }
    EXPECT_EQ(readLocal(local.filePath("PED 1.txt")), "pedido um");
    EXPECT_EQ(sftp.control.LastListing().size("envio.txt"), 7) << "the sizes the download walk checks";
    EXPECT_EQ(server.readFile("pedidos/nova \"pasta\"/envio.txt"), "enviado");
    EXPECT_FALSE(sftp.badDelivery);
    EXPECT_EQ(server.loginCount(), 1) << "one SSH session until quit";

    // A server that stops answering in the middle of a session fails the command after the
    // request time-out instead of holding it forever; the next command opens a new session.
    sftp.control.setRequestTimeoutMs(1000);
    ASSERT_TRUE(sftp.run("pwd"));
    server.pause();
    EXPECT_FALSE(sftp.run("dir", {}, 30000));
    EXPECT_EQ(sftp.finalState(), 11);
    EXPECT_TRUE(sftp.control.ResponseInfo().startsWith("Tempo esgotado aguardando o servidor SFTP"))
        << sftp.control.ResponseInfo().toStdString();
    server.resume();
    EXPECT_EQ(sftp.dir().size(), 3);
}

// A key that is not in known_hosts, or not the one there, ends the connection before the user
// name and password go out, with the key's fingerprint and what to run (the command that
// registers a new key is run in tests/program). Neither a refused key nor a wrong password is
// tried again before the next connect.
TEST(CurlSftp, RefusedHostKeysAndAWrongPasswordAreTriedOnce)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    server.writeFile("PED1.txt", "pedido");
    QTemporaryDir app;
    const QString knownHosts = QDir(app.path()).filePath("known_hosts");

    CurlDriver sftp(server.address(), server.user(), server.password());
    sftp.control.setTrustFolder(app.path()); // no known_hosts there yet
    EXPECT_FALSE(sftp.run("dir"));
    QString info = sftp.control.ResponseInfo();
    EXPECT_TRUE(info.contains("não é conhecida")) << info.toStdString();
    EXPECT_TRUE(info.contains("ssh-ed25519 " + server.fingerprint())) << info.toStdString();
    EXPECT_FALSE(sftp.run("pwd"));
    EXPECT_EQ(sftp.states, QList<int>{11}) << "no second connection";
    EXPECT_TRUE(sftp.control.ServerNotTrusted());

    // Another server's key under this host and port: a changed key.
    writeLocal(knownHosts, QByteArray("[127.0.0.1]:") + QByteArray::number(server.port())
                               + " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOtSgrJtuSB9lpW57ArLV+UhmPKv/1dDpk03QlDeTKAx\n");
    sftp.control.setAddress(server.address()); // a new connect
    EXPECT_FALSE(sftp.run("recv", {"PED1.txt", app.filePath("PED1.txt")}));
    info = sftp.control.ResponseInfo();
    EXPECT_TRUE(info.contains("mudou")) << info.toStdString();
    EXPECT_TRUE(info.contains(QString("ssh-keygen -R '[127.0.0.1]:%1' -f '%2'").arg(server.port()).arg(knownHosts)))
        << info.toStdString();
    EXPECT_FALSE(QFile::exists(app.filePath("PED1.txt")));

    // Without a trust folder no key is trusted.
    CurlDriver untrusting(server.address(), server.user(), server.password());
    EXPECT_FALSE(untrusting.run("pwd"));

    EXPECT_EQ(server.loginCount() + server.commandCount("Failed password"), 0) << server.logText().toStdString();
    EXPECT_TRUE(server.exists("PED1.txt"));

    // The right key and a wrong password: one attempt, whatever commands follow.
    writeLocal(knownHosts, server.knownHostsLine());
    sftp.control.setPassword("errada");
    EXPECT_FALSE(sftp.run("dir"));
    EXPECT_FALSE(sftp.run("pwd"));
    EXPECT_TRUE(sftp.control.LoginRefused() && !sftp.control.ServerNotTrusted());
    EXPECT_EQ(server.commandCount("Failed password"), 1);
}
