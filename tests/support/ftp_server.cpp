#include "support/ftp_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMultiHash>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A process and all its descendants, parents first (forking servers answer from a child).
QList<pid_t> processTree(pid_t root)
{
    QMultiHash<pid_t, pid_t> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.toInt() > 0 && stat.open(QIODevice::ReadOnly)) {
            const QByteArray line = stat.readAll(); // "pid (name) state ppid ..."
            children.insert(pid_t(line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toInt()), pid_t(entry.toInt()));
        }
    }
    QList<pid_t> tree{root};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree += children.values(tree[i]);
    return tree;
}

} // namespace

FtpServerFixture::FtpServerFixture(QString user, QString password)
    : user_(std::move(user)), password_(std::move(password))
{
    QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ExeGroup | QFile::ExeOther
                              | QFile::ReadGroup | QFile::ReadOther);
    QDir(dir_.path()).mkpath(QStringLiteral("root"));
}

FtpServerFixture::~FtpServerFixture() = default;

bool FtpServerFixture::isRunning() const { return process_ && process_->state() == QProcess::Running; }

QString FtpServerFixture::address() const
{
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(port_);
    return tls_ ? QStringLiteral("ftps://") + hostPort : hostPort;
}

QString FtpServerFixture::root() const { return dir_.path() + QStringLiteral("/root"); }

QString FtpServerFixture::logPath() const { return dir_.path() + QStringLiteral("/server.log"); }

QString FtpServerFixture::logText() const
{
    QFile f(logPath());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

int FtpServerFixture::loginCount() const { return int(logText().count(loginMarker())); }

int FtpServerFixture::commandCount(const QString& word) const
{
    const QString marker = commandMarker(word);
    int n = 0;
    for (const QString& line : logText().split(QLatin1Char('\n'))) {
        const qsizetype at = line.indexOf(marker);
        if (at < 0)
            continue;
        const qsizetype end = at + marker.size();
        if (end == line.size() || line.at(end) == QLatin1Char(' ') || line.at(end) == QLatin1Char('"'))
            ++n;
    }
    return n;
}

void FtpServerFixture::stop()
{
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        resume(); // a paused child would be left stopped for good
        process_->kill();
        process_->waitForFinished(5000);
    }
    process_.reset();
}

void FtpServerFixture::signalAll(int signal)
{
    if (isRunning()) {
        for (pid_t pid : processTree(pid_t(process_->processId())))
            ::kill(pid, signal);
    }
}

void FtpServerFixture::giveToOwner(const QString& file) const
{
    if (ownerUid_ >= 0 && ::chown(QFile::encodeName(file).constData(), uid_t(ownerUid_), gid_t(ownerGid_)) != 0)
        qWarning("chown %s failed", qPrintable(file));
}

QString FtpServerFixture::path(const QString& rel) const { return root() + QLatin1Char('/') + rel; }

void FtpServerFixture::writeFile(const QString& rel, const QByteArray& data) const
{
    QString sofar = root();
    for (const QString& part : rel.split(QLatin1Char('/')).mid(0, rel.count(QLatin1Char('/')))) {
        sofar += QLatin1Char('/') + part;
        QDir().mkdir(sofar);
        giveToOwner(sofar);
    }
    QFile f(path(rel));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
    f.close();
    giveToOwner(path(rel));
}

void FtpServerFixture::appendFile(const QString& rel, const QByteArray& data) const
{
    QFile f(path(rel));
    if (f.open(QIODevice::Append))
        f.write(data);
}

QByteArray FtpServerFixture::readFile(const QString& rel) const
{
    QFile f(path(rel));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool FtpServerFixture::exists(const QString& rel) const { return QFileInfo::exists(path(rel)); }

PyFtpServer::PyFtpServer() : PyFtpServer(Options{}) {}

PyFtpServer::PyFtpServer(const Options& options)
    : FtpServerFixture(options.user, options.password), options_(options)
{
    tls_ = options.tls;
    if (!launch() && error_.isEmpty())
        error_ = QStringLiteral("pyftpdlib did not start");
}

PyFtpServer::~PyFtpServer() { stop(); }

QString PyFtpServer::certFile() const { return dir_.path() + QStringLiteral("/cert.pem"); }

QString PyFtpServer::loginMarker() const { return QStringLiteral("USER '%1' logged in.").arg(options_.user); }

bool PyFtpServer::launch()
{
    process_ = std::make_unique<QProcess>();
    QStringList args = {
        QStringLiteral(PEDIDOS_SOURCE_DIR "/tests/support/ftp_server.py"),
        QStringLiteral("--port"), QString::number(port_),
        QStringLiteral("--root"), root(),
        QStringLiteral("--user"), options_.user,
        QStringLiteral("--password"), options_.password,
        QStringLiteral("--log"), logPath(),
    };
    if (options_.tls)
        args << QStringLiteral("--tls") << QStringLiteral("--cert") << certFile() << QStringLiteral("--cert-name")
             << options_.tlsName;
    if (options_.tlsExpired)
        args << QStringLiteral("--cert-expired");
    if (options_.idleTimeoutSec > 0)
        args << QStringLiteral("--idle-timeout") << QString::number(options_.idleTimeoutSec);
    if (options_.throttleBytesPerSec > 0)
        args << QStringLiteral("--throttle") << QString::number(options_.throttleBytesPerSec);
    if (options_.mute)
        args << QStringLiteral("--mute");
    if (options_.lieSizeBy > 0)
        args << QStringLiteral("--lie-size") << QString::number(options_.lieSizeBy);
    if (!options_.dropAfterCommand.isEmpty())
        args << QStringLiteral("--drop-after") << options_.dropAfterCommand;
    if (!options_.refuseCommand.isEmpty())
        args << QStringLiteral("--refuse") << options_.refuseCommand << QStringLiteral("--refusal") << options_.refusal;
    if (options_.absoluteHome)
        args << QStringLiteral("--absolute-home");
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(QStringLiteral("/usr/bin/python3"), args);
    if (!process_->waitForStarted(10000)) {
        error_ = QStringLiteral("cannot start /usr/bin/python3: ") + process_->errorString();
        return false;
    }
    // The launcher prints "READY <port>" once it listens.
    QByteArray out;
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && !out.contains('\n')) {
        if (process_->state() != QProcess::Running)
            break;
        process_->waitForReadyRead(200);
        out += process_->readAllStandardOutput();
    }
    if (!out.startsWith("READY ")) {
        process_->waitForFinished(200);
        error_ = QStringLiteral("pyftpdlib did not start: ")
            + QString::fromUtf8(out + process_->readAllStandardError());
        stop();
        return false;
    }
    port_ = out.mid(6).trimmed().toInt();
    error_.clear();
    return true;
}

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool acceptsConnections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(quint16(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

namespace {
const char* const kSystemUser = "pedftp";
const char* const kSystemPassword = "Pedidos-Teste-42";
} // namespace

SshServer::SshServer() : FtpServerFixture(QLatin1String(kSystemUser), QLatin1String(kSystemPassword))
{
    if (::geteuid() != 0 || !QFileInfo::exists(QStringLiteral("/usr/sbin/sshd"))) {
        error_ = QStringLiteral("the SFTP tests need root and /usr/sbin/sshd (openssh-server)");
        return;
    }
    // The user, created once per machine; the lock serialises test programs running side by side.
    QProcess account;
    account.start(QStringLiteral("flock"), {QStringLiteral("/tmp/pedidosftp-vsftpd-user.lock"), QStringLiteral("sh"),
                                            QStringLiteral("-c"),
                                            QStringLiteral("id -u %1 >/dev/null 2>&1 || useradd -M -d /tmp -s /bin/bash %1;"
                                                           " echo %1:%2 | chpasswd")
                                                .arg(QLatin1String(kSystemUser), QLatin1String(kSystemPassword))});
    const passwd* p = account.waitForFinished(30000) && account.exitCode() == 0 ? ::getpwnam(kSystemUser) : nullptr;
    if (!p) {
        error_ = QStringLiteral("cannot create the user %1: ").arg(user_) + QString::fromUtf8(account.readAllStandardError());
        return;
    }
    ownerUid_ = int(p->pw_uid);
    ownerGid_ = int(p->pw_gid);
    giveToOwner(root());
    QProcess keygen;
    keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                                QStringLiteral("-N"), QString(), QStringLiteral("-f"), hostKey()});
    if (!keygen.waitForFinished(20000) || keygen.exitCode() != 0) {
        error_ = QStringLiteral("ssh-keygen failed: ") + QString::fromUtf8(keygen.readAllStandardError());
        return;
    }
    QDir().mkpath(QStringLiteral("/run/sshd")); // sshd's privilege separation folder
    launch();
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

// A port free a moment ago may be taken when sshd binds it: a few tries, each up once its log
// says it listens.
bool SshServer::launch()
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = freeLoopbackPort();
        QFile conf(dir_.path() + QStringLiteral("/sshd_config"));
        if (conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            conf.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile %3/sshd.pid\n"
                                      "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                                      "PubkeyAuthentication no\nUsePAM no\nPermitRootLogin no\nAllowUsers %4\n"
                                      "LogLevel VERBOSE\nSubsystem sftp internal-sftp -d %5\n")
                           .arg(port_)
                           .arg(hostKey(), dir_.path(), user_, root())
                           .toUtf8());
        conf.close();
        QFile::remove(logPath());
        process_ = std::make_unique<QProcess>();
        process_->start(QStringLiteral("/usr/sbin/sshd"),
                        {QStringLiteral("-D"), QStringLiteral("-f"), conf.fileName(), QStringLiteral("-E"), logPath()});
        process_->waitForStarted(10000);
        for (QDeadlineTimer deadline(10000); !deadline.hasExpired() && isRunning(); QThread::msleep(20)) {
            if (logText().contains(QStringLiteral("Server listening on"))) {
                error_.clear();
                return true;
            }
        }
        error_ = QStringLiteral("sshd did not listen on port %1: %2").arg(port_).arg(logText());
        stop();
    }
    return false;
}
