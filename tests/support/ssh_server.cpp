#include "support/ssh_server.h"

#include "support/loopback.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

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

int SshServer::refusedLogins() const { return int(logText().count(QStringLiteral("Failed password for"))); }

bool SshServer::launch()
{
    if (port_ == 0)
        port_ = freeLoopbackPort();
    const QString conf = dir_.path() + QStringLiteral("/sshd_config");
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error_ = QStringLiteral("cannot write ") + conf;
        return false;
    }
    f.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile %3/sshd.pid\n"
                           "PasswordAuthentication yes\nKbdInteractiveAuthentication no\nPubkeyAuthentication no\n"
                           "UsePAM no\nPermitRootLogin no\nAllowUsers %4\nLogLevel VERBOSE\n"
                           "Subsystem sftp internal-sftp -d %5\n")
                .arg(port_)
                .arg(hostKey(), dir_.path(), user_, root())
                .toUtf8());
    f.close();
    process_ = std::make_unique<QProcess>();
    process_->start(QStringLiteral("/usr/sbin/sshd"), {QStringLiteral("-D"), QStringLiteral("-f"), conf,
                                                       QStringLiteral("-E"), logPath()});
    if (!process_->waitForStarted(10000)) {
        error_ = QStringLiteral("cannot start sshd: ") + process_->errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process_->state() != QProcess::Running) {
            error_ = QStringLiteral("sshd exited with %1 (port %2 taken?): %3")
                         .arg(process_->exitCode())
                         .arg(port_)
                         .arg(logText());
            process_.reset();
            return false;
        }
        if (acceptsConnections(port_)) {
            error_.clear();
            return true;
        }
        QThread::msleep(20);
    }
    error_ = QStringLiteral("sshd does not accept connections on port %1").arg(port_);
    stop();
    return false;
}
