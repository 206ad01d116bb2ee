#include "support/ssh_server.h"

#include "support/loopback.h"

#include <QDir>
#include <QFile>
#include <QProcess>

SshServer::SshServer() : FtpServerFixture(SystemUser{})
{
    error_ = adoptSystemUser(QStringLiteral("/usr/sbin/sshd"));
    if (!error_.isEmpty())
        return;
    QProcess keygen;
    keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                                QStringLiteral("-N"), QString(), QStringLiteral("-f"), hostKey()});
    if (!keygen.waitForFinished(20000) || keygen.exitCode() != 0) {
        error_ = QStringLiteral("ssh-keygen failed: ") + QString::fromUtf8(keygen.readAllStandardError());
        return;
    }
    QDir().mkpath(QStringLiteral("/run/sshd")); // sshd's privilege separation folder
    for (int attempt = 0; attempt < 5 && !launch(); ++attempt)
        port_ = 0;
}

SshServer::~SshServer() { stop(); }

QString SshServer::address() const { return QStringLiteral("sftp://127.0.0.1:%1").arg(port_); }

QString SshServer::hostKey() const { return dir_.path() + QStringLiteral("/host_key"); }

QByteArray SshServer::knownHostsLine() const
{
    QFile pub(hostKey() + QStringLiteral(".pub"));
    if (!pub.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = pub.readAll().split(' '); // type, key, comment
    return "[127.0.0.1]:" + QByteArray::number(port_) + ' ' + fields.value(0) + ' ' + fields.value(1) + '\n';
}

QString SshServer::fingerprint() const
{
    QProcess keygen;
    keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-l"), QStringLiteral("-f"), hostKey()});
    keygen.waitForFinished(20000);
    return QString::fromUtf8(keygen.readAllStandardOutput()).split(QLatin1Char(' ')).value(1); // "256 SHA256:... comment"
}

bool SshServer::launch()
{
    if (port_ == 0)
        port_ = freeLoopbackPort();
    const QString conf = dir_.path() + QStringLiteral("/sshd_config");
    writeConfig(conf, QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile %3/sshd.pid\n"
                                     "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                                     "PubkeyAuthentication no\nUsePAM no\nPermitRootLogin no\nAllowUsers %4\n"
                                     "LogLevel VERBOSE\nSubsystem sftp internal-sftp -d %5\n")
                          .arg(port_)
                          .arg(hostKey(), dir_.path(), user_, root()));
    return startDaemon(QStringLiteral("/usr/sbin/sshd"),
                       {QStringLiteral("-D"), QStringLiteral("-f"), conf, QStringLiteral("-E"), logPath()});
}
