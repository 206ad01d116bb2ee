#include "support/ftp_server.h"

#include "support/loopback.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMultiHash>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Passive ports for a control port, the same rule as the python launcher uses.
int passiveBase(int port) { return 10000 + (port % 400) * 50; }

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

void FtpServerFixture::makeFolder(const QString& rel) const
{
    QString sofar = root();
    for (const QString& part : rel.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        sofar += QLatin1Char('/') + part;
        QDir().mkdir(sofar);
        giveToOwner(sofar);
    }
}

void FtpServerFixture::writeFile(const QString& rel, const QByteArray& data) const
{
    const qsizetype slash = rel.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        makeFolder(rel.left(slash));
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
        args << QStringLiteral("--refuse") << options_.refuseCommand;
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

namespace {
const char* const kSystemUser = "pedftp";
const char* const kSystemPassword = "Pedidos-Teste-42";

// Creates the system user once per machine (serialised across test processes).
QString ensureSystemUser(int* uid, int* gid)
{
    if (::geteuid() != 0)
        return QStringLiteral("these tests need root to create the user %1").arg(QLatin1String(kSystemUser));
    const int lock = ::open("/tmp/pedidosftp-vsftpd-user.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    QString problem;
    if (!::getpwnam(kSystemUser)) {
        QProcess add;
        add.start(QStringLiteral("/usr/sbin/useradd"),
                  {QStringLiteral("-M"), QStringLiteral("-d"), QStringLiteral("/tmp"), QStringLiteral("-s"),
                   QStringLiteral("/bin/bash"), QLatin1String(kSystemUser)});
        add.waitForFinished(20000);
        if (add.exitCode() != 0)
            problem = QStringLiteral("useradd failed: ") + QString::fromUtf8(add.readAllStandardError());
    }
    if (problem.isEmpty()) {
        QProcess pw;
        pw.start(QStringLiteral("/usr/sbin/chpasswd"), {});
        pw.waitForStarted();
        pw.write(QByteArray(kSystemUser) + ':' + kSystemPassword + '\n');
        pw.closeWriteChannel();
        pw.waitForFinished(20000);
        if (pw.exitCode() != 0)
            problem = QStringLiteral("chpasswd failed: ") + QString::fromUtf8(pw.readAllStandardError());
    }
    if (lock >= 0) {
        ::flock(lock, LOCK_UN);
        ::close(lock);
    }
    if (const passwd* p = ::getpwnam(kSystemUser)) {
        *uid = int(p->pw_uid);
        *gid = int(p->pw_gid);
    }
    return problem;
}
} // namespace

FtpServerFixture::FtpServerFixture(SystemUser)
    : FtpServerFixture(QLatin1String(kSystemUser), QLatin1String(kSystemPassword))
{
}

QString FtpServerFixture::adoptSystemUser(const QString& server)
{
    if (!QFileInfo::exists(server))
        return server + QStringLiteral(" is not installed");
    QString problem = ensureSystemUser(&ownerUid_, &ownerGid_);
    if (problem.isEmpty() && ::chown(QFile::encodeName(root()).constData(), uid_t(ownerUid_), gid_t(ownerGid_)) != 0)
        problem = QStringLiteral("cannot hand the served folder to %1").arg(user_);
    return problem;
}

void FtpServerFixture::writeConfig(const QString& file, const QString& text) const
{
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text.toUtf8());
}

bool FtpServerFixture::startDaemon(const QString& program, const QStringList& arguments)
{
    const QString name = QFileInfo(program).fileName();
    process_ = std::make_unique<QProcess>();
    process_->start(program, arguments);
    if (!process_->waitForStarted(10000)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(name, process_->errorString());
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process_->state() != QProcess::Running) {
            error_ = QStringLiteral("%1 exited with %2 (port %3 taken?): %4")
                         .arg(name)
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
    error_ = QStringLiteral("%1 does not accept connections on port %2").arg(name).arg(port_);
    stop();
    return false;
}

VsftpdServer::VsftpdServer() : FtpServerFixture(SystemUser{})
{
    error_ = adoptSystemUser(QStringLiteral("/usr/sbin/vsftpd"));
    if (!error_.isEmpty())
        return;
    QDir(dir_.path()).mkpath(QStringLiteral("empty"));
    for (int attempt = 0; attempt < 5 && !launch(); ++attempt)
        port_ = 0;
}

VsftpdServer::~VsftpdServer() { stop(); }

bool VsftpdServer::launch()
{
    if (port_ == 0)
        port_ = freeLoopbackPort();
    const int base = passiveBase(port_);
    const QString conf = dir_.path() + QStringLiteral("/vsftpd.conf");
    writeConfig(conf, QStringLiteral(
                "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
                "pasv_enable=YES\npasv_min_port=%2\npasv_max_port=%3\npasv_address=127.0.0.1\n"
                "secure_chroot_dir=%4\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=%5\n"
                "local_root=%6\n")
                .arg(port_)
                .arg(base)
                .arg(base + 49)
                .arg(dir_.path() + QStringLiteral("/empty"), logPath(), root()));
    return startDaemon(QStringLiteral("/usr/sbin/vsftpd"), {conf});
}
