// The libcurl transfer control over SFTP against a real OpenSSH server on loopback: the
// window's commands, and the host key check that comes before the password.
#include "ftp/curl/curl_transfer_control.h"
#include "support/ssh_server.h"
#include "tests/ftp/curl_driver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

void put(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(data);
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<ausente>");
}

} // namespace

// The commands in the order a session uses them, each checked against the server's disk.
TEST(CurlSftp, CommandsOverSsh)
{
    SshServer server;
    if (!server.isRunning())
        GTEST_SKIP() << server.error().toStdString();
    server.writeFile("pedidos/PED 1.txt", "pedido um");
    server.writeFile("pedidos/PED2.txt", "dois");
    QTemporaryDir app, local;
    put(QDir(app.path()).filePath("known_hosts"), server.knownHostsLine());
    const QString root = server.root();
    const QString sent = local.filePath("envio \"ç\".txt");
    put(sent, "enviado");

    CurlDriver sftp(server.address(), server.user(), server.password());
    sftp.control.setTrustFolder(app.path());
    struct Step {
        QString verb;
        QStringList args;
        bool ok;
        std::function<void()> check;
    };
    const QList<Step> steps = {
        {"pwd", {}, true, [&] { EXPECT_EQ(sftp.answer(), root); }},
        {"dir", {}, true, [&] { EXPECT_EQ(sftp.answer(), "./\r\n../\r\npedidos/\r\n"); }},
        {"cd", {"pedidos"}, true, {}},
        {"pwd", {}, true, [&] { EXPECT_EQ(sftp.answer(), root + "/pedidos"); }},
        {"dir", {}, true, [&] {
             QStringList entries = sftp.answer().split("\r\n", Qt::SkipEmptyParts).mid(2);
             entries.sort();
             EXPECT_EQ(entries, (QStringList{"PED 1.txt", "PED2.txt"}));
         }},
        {"recv", {"PED 1.txt", local.filePath("PED 1.txt")}, true,
         [&] { EXPECT_EQ(contents(local.filePath("PED 1.txt")), "pedido um"); }},
        {"recv", {"falta.txt", local.filePath("falta.txt")}, false,
         [&] { EXPECT_FALSE(QFile::exists(local.filePath("falta.txt"))); }},
        {"delete", {"PED 1.txt"}, true, [&] { EXPECT_FALSE(server.exists("pedidos/PED 1.txt")); }},
        {"delete", {"PED 1.txt"}, false,
         [&] { EXPECT_TRUE(sftp.control.ResponseInfo().contains("rm")) << sftp.control.ResponseInfo().toStdString(); }},
        {"mkdir", {"nova \"pasta\""}, true, [&] { EXPECT_TRUE(QFileInfo(server.path("pedidos/nova \"pasta\"")).isDir()); }},
        {"send", {sent, "nova \"pasta\"/envio.txt"}, true,
         [&] { EXPECT_EQ(server.readFile("pedidos/nova \"pasta\"/envio.txt"), "enviado"); }},
        {"rmdir", {"nova \"pasta\""}, false, [&] { EXPECT_TRUE(server.exists("pedidos/nova \"pasta\"")); }},
        {"delete", {"nova \"pasta\"/envio.txt"}, true, {}},
        {"rmdir", {"nova \"pasta\""}, true, [&] { EXPECT_FALSE(server.exists("pedidos/nova \"pasta\"")); }},
        {"cd", {"nao existe"}, false, {}},
        {"pwd", {}, true, [&] { EXPECT_EQ(sftp.answer(), root + "/pedidos"); }},
        {"cd", {".."}, true, {}},
        {"pwd", {}, true, [&] { EXPECT_EQ(sftp.answer(), root); }},
        {"quit", {}, true, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE((step.verb + ' ' + step.args.join(' ')).toStdString());
        EXPECT_EQ(sftp.run(step.verb, step.args), step.ok) << sftp.control.ResponseInfo().toStdString();
        EXPECT_EQ(sftp.finalState(), step.ok ? 12 : 11);
        if (step.check)
            step.check();
    }
    EXPECT_FALSE(sftp.badDelivery);
    EXPECT_EQ(server.loginCount(), 1) << "one SSH session until quit";
}

// A key that is not in known_hosts, or not the one there, ends the connection before the user
// name and password go out; the refusal names the file, the key's fingerprint and the command
// that registers it.
TEST(CurlSftp, UnknownOrChangedHostKeyIsRefusedBeforeThePassword)
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
    EXPECT_TRUE(info.contains(QString("ssh-keyscan -p %1 127.0.0.1 >> '%2'").arg(server.port()).arg(knownHosts)))
        << info.toStdString();

    // Another server's key under this host and port: a changed key.
    put(knownHosts, QByteArray("[127.0.0.1]:") + QByteArray::number(server.port())
                        + " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOtSgrJtuSB9lpW57ArLV+UhmPKv/1dDpk03QlDeTKAx\n");
    EXPECT_FALSE(sftp.run("recv", {"PED1.txt", app.filePath("PED1.txt")}));
    info = sftp.control.ResponseInfo();
    EXPECT_TRUE(info.contains("mudou")) << info.toStdString();
    EXPECT_TRUE(info.contains(QString("ssh-keygen -R '[127.0.0.1]:%1' -f '%2'").arg(server.port()).arg(knownHosts)))
        << info.toStdString();
    EXPECT_FALSE(QFile::exists(app.filePath("PED1.txt")));

    // Without a trust folder no key is trusted.
    CurlDriver untrusting(server.address(), server.user(), server.password());
    EXPECT_FALSE(untrusting.run("pwd"));

    EXPECT_EQ(server.loginCount() + server.refusedLogins(), 0) << server.logText().toStdString();
    EXPECT_TRUE(server.exists("PED1.txt"));
}
