#include "support/firebird_server.h"

#include "support/loopback.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const kInstallFolder = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
const char* const kServer = "/usr/sbin/firebird";
const char* const kSecurityTemplate = "/var/lib/firebird/3.0/system/security3.fdb";
const char* const kSystemConf = "/etc/firebird/3.0/firebird.conf";


bool giveTo(const QString& path, unsigned uid, unsigned gid)
{
    return ::chown(QFile::encodeName(path).constData(), uid, gid) == 0;
}

} // namespace

FirebirdServer::FirebirdServer()
{
    if (::geteuid() != 0) {
        error_ = QStringLiteral("a Firebird server of its own needs root (it runs as the firebird user)");
        return;
    }
    const passwd* pw = ::getpwnam("firebird");
    if (!pw || !QFile::exists(QString::fromLatin1(kServer)) || !QFile::exists(QString::fromLatin1(kSecurityTemplate))) {
        error_ = QStringLiteral("firebird3.0-server is not installed (no firebird user, %1 or %2)")
                     .arg(QString::fromLatin1(kServer), QString::fromLatin1(kSecurityTemplate));
        return;
    }
    uid_ = pw->pw_uid;
    gid_ = pw->pw_gid;
    if (!prepare() && error_.isEmpty())
        error_ = QStringLiteral("could not prepare the server folder");
}

FirebirdServer::~FirebirdServer()
{
    if (running())
        kill();
}

bool FirebirdServer::prepare()
{
    if (!root_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    const QDir root(root_.path());
    const QDir install(QString::fromLatin1(kInstallFolder));
    for (const char* entry : {"lib", "plugins", "UDF", "firebird.msg", "plugins.conf"}) {
        const QString target = install.filePath(QString::fromLatin1(entry));
        if (QFile::exists(target))
            QFile::link(target, root.filePath(QString::fromLatin1(entry)));
    }
    // The character sets module is not loaded through a link: it is copied.
    root.mkdir(QStringLiteral("intl"));
    for (const char* entry : {"intl/libfbintl.so", "intl/fbintl.conf"})
        QFile::copy(install.filePath(QString::fromLatin1(entry)), root.filePath(QString::fromLatin1(entry)));
    port_ = freeLoopbackPort();
    QFile systemConf(QString::fromLatin1(kSystemConf));
    QByteArray conf = systemConf.open(QIODevice::ReadOnly) ? systemConf.readAll() : QByteArray();
    conf += QStringLiteral("\nRemoteServicePort = %1\nRemoteBindAddress = 127.0.0.1\nServerMode = Super\n"
                           "IpcName = PEDIDOS_TEST_%1\nGuardianOption = 0\n")
                .arg(port_)
                .toLatin1();
    QFile confFile(root.filePath(QStringLiteral("firebird.conf")));
    if (!confFile.open(QIODevice::WriteOnly) || confFile.write(conf) != conf.size()) {
        error_ = QStringLiteral("cannot write firebird.conf");
        return false;
    }
    confFile.close();

    const QString security = root.filePath(QStringLiteral("security3.fdb"));
    QFile databases(root.filePath(QStringLiteral("databases.conf")));
    if (!QFile::copy(QString::fromLatin1(kSecurityTemplate), security) || !databases.open(QIODevice::WriteOnly)) {
        error_ = QStringLiteral("cannot copy the security database");
        return false;
    }
    databases.write(QStringLiteral("security.db = %1\n{\n    RemoteAccess = false\n}\n").arg(security).toLocal8Bit());
    databases.close();
    root.mkdir(QStringLiteral("lock"));

    // The SYSDBA password, set on the security database opened directly (embedded).
    QProcess isql;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FIREBIRD"), root_.path());
    env.insert(QStringLiteral("FIREBIRD_LOCK"), root.filePath(QStringLiteral("lock")));
    isql.setProcessEnvironment(env);
    isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-user"),
                                           QStringLiteral("SYSDBA"), security});
    isql.write(QStringLiteral("create or alter user SYSDBA password '%1' using plugin Srp;\ncommit;\n")
                   .arg(password())
                   .toLatin1());
    isql.closeWriteChannel();
    if (!isql.waitForFinished(30000) || isql.exitCode() != 0) {
        error_ = QStringLiteral("setting the SYSDBA password failed: ") + QString::fromLocal8Bit(isql.readAllStandardError());
        return false;
    }

    for (const QString& p : {root_.path(), security, root.filePath(QStringLiteral("lock"))}) {
        if (!giveTo(p, uid_, gid_)) {
            error_ = QStringLiteral("cannot give %1 to the firebird user").arg(p);
            return false;
        }
    }
    return true;
}

bool FirebirdServer::start()
{
    if (!available())
        return false;
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FIREBIRD"), root_.path());
    env.insert(QStringLiteral("FIREBIRD_LOCK"), QDir(root_.path()).filePath(QStringLiteral("lock")));
    process_->setProcessEnvironment(env);
    process_->setWorkingDirectory(root_.path());
    process_->setStandardOutputFile(QDir(root_.path()).filePath(QStringLiteral("server.out")), QIODevice::Append);
    process_->setStandardErrorFile(QDir(root_.path()).filePath(QStringLiteral("server.out")), QIODevice::Append);
    const unsigned uid = uid_, gid = gid_;
    process_->setChildProcessModifier([uid, gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(126);
    });
    process_->start(QString::fromLatin1(kServer), {});
    if (!process_->waitForStarted(10000)) {
        error_ = QStringLiteral("%1 did not start: %2").arg(QString::fromLatin1(kServer), process_->errorString());
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        if (acceptsConnections(port_))
            return true;
        if (process_->state() != QProcess::Running)
            break;
        QThread::msleep(20);
    }
    error_ = QStringLiteral("the Firebird server does not listen on 127.0.0.1:%1 (%2)")
                 .arg(port_)
                 .arg(process_->state() == QProcess::Running ? QStringLiteral("running") : QStringLiteral("ended"));
    kill();
    return false;
}

bool FirebirdServer::running() const { return process_ && process_->state() == QProcess::Running; }
qint64 FirebirdServer::pid() const { return process_ ? process_->processId() : 0; }

void FirebirdServer::kill()
{
    if (!process_)
        return;
    process_->kill();
    process_->waitForFinished(10000);
}

QString FirebirdServer::serve(const QString& databaseFile) const
{
    const QString folder = QFileInfo(databaseFile).absolutePath();
    giveTo(folder, uid_, gid_);
    giveTo(databaseFile, uid_, gid_);
    return QStringLiteral("127.0.0.1/%1:%2").arg(port_).arg(databaseFile);
}
