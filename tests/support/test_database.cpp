#include "test_database.h"

#include "import/db/firebird/firebird_connection.h"
#include "support/ftp_server.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <unistd.h>

namespace testdb {

namespace {

[[noreturn]] void fail(const QString& message)
{
    ADD_FAILURE() << message.toStdString();
    throw std::runtime_error(message.toStdString());
}

QByteArray projectFile(const char* relativePath)
{
    QFile f(QStringLiteral(PEDIDOS_SOURCE_DIR "/") + QLatin1String(relativePath));
    if (!f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read ") + f.fileName());
    return f.readAll();
}

// In memory when the machine has it: Firebird syncs every commit to disk.
QString tempPattern()
{
    static const QString root = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return root + QStringLiteral("/pedidos_db_XXXXXX");
}

// unixODBC reads the private driver list named by ODBCSYSINI: set before anything asks it.
QString odbcFolder()
{
    static QTemporaryDir folder;
    static const bool done = [] {
        qputenv("ODBCSYSINI", folder.path().toLocal8Bit());
        return true;
    }();
    (void)done;
    return folder.path();
}

// The template of a character set, kept in the build folder under a name made from the
// scripts' contents; built by isql-fb, moved into place with an atomic rename (parallel tests).
QString templateFor(Charset charset)
{
    static QMutex mutex;
    static QMap<Charset, QString> templates;
    QMutexLocker lock(&mutex);
    if (templates.contains(charset))
        return templates[charset];
    const QString name = charset == Charset::None ? "NONE" : charset == Charset::Utf8 ? "UTF8" : "WIN1252";
    const QByteArray schema = projectFile("import/schema/erp_firebird.sql") + projectFile("import/schema/sample_erp.sql");
    const QString cached = QStringLiteral(PEDIDOS_BINARY_DIR "/test_databases/%1_%2.fdb")
                               .arg(name, QString::fromLatin1(QCryptographicHash::hash(schema, QCryptographicHash::Sha1).toHex().left(12)));
    if (!QFileInfo::exists(cached)) {
        QDir().mkpath(QFileInfo(cached).path());
        QTemporaryDir work(tempPattern());
        const QString path = work.filePath(QStringLiteral("template.fdb"));
        QProcess isql;
        isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-ch"), QStringLiteral("WIN1252")});
        isql.write(QStringLiteral("CREATE DATABASE '%1' USER 'SYSDBA' PASSWORD 'masterkey' PAGE_SIZE 8192 DEFAULT CHARACTER SET %2;\n"
                                  "INPUT '%3/import/schema/erp_firebird.sql';\nINPUT '%3/import/schema/sample_erp.sql';\nCOMMIT;\n")
                       .arg(path, name, QStringLiteral(PEDIDOS_SOURCE_DIR))
                       .toUtf8());
        isql.closeWriteChannel();
        if (!isql.waitForFinished(60000) || isql.exitCode() != 0 || isql.readAllStandardError().contains("failed"))
            fail(QStringLiteral("isql-fb could not create ") + path);
        const QString partial = cached + QStringLiteral(".%1.part").arg(::getpid());
        if (!QFile::copy(path, partial) || std::rename(QFile::encodeName(partial), QFile::encodeName(cached)) != 0)
            fail(QStringLiteral("cannot write ") + cached);
    }
    return templates[charset] = cached;
}

} // namespace

void writeZeltoIni(const QString& folder, const ZeltoSettings& s)
{
    QDir().mkpath(folder);
    QString text = QStringLiteral("[Geral]\r\n");
    const std::pair<const char*, QString> keys[] = {{"USUARIO", s.user},     {"SENHA", s.password},
                                                     {"LOCALBANCO", s.databasePath}, {"BANCO", s.databaseName},
                                                     {"SERVIDOR", s.server}, {"TIPO_CONEXAO", s.connectionType}};
    for (const auto& [key, value] : keys)
        if (!value.isEmpty())
            text += QLatin1String(key) + QLatin1Char('=') + value + QStringLiteral("\r\n");
    QFile f(QDir(folder).filePath(QStringLiteral("Zelto.ini")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write ") + f.fileName());
    f.write(text.toUtf8());
}

FirebirdTestDatabase::FirebirdTestDatabase(Charset charset) : dir_(tempPattern())
{
    odbcFolder();
    // The embedded engine keeps its lock files where only root may write; others get their own.
    if (geteuid() != 0 && !qEnvironmentVariableIsSet("FIREBIRD_LOCK")) {
        static QTemporaryDir lockFolder(tempPattern());
        qputenv("FIREBIRD_LOCK", lockFolder.path().toLocal8Bit());
    }
    path_ = dir_.filePath(QStringLiteral("erp.fdb"));
    if (!dir_.isValid() || !QFile::copy(templateFor(charset), path_))
        fail(QStringLiteral("cannot copy the template database to ") + path_);
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup);
}

ZeltoSettings FirebirdTestDatabase::settings() const
{
    ZeltoSettings s;
    s.user = user();
    s.password = password();
    s.databasePath = path_;
    return s;
}

std::unique_ptr<IConnection> FirebirdTestDatabase::connect() const
{
    return openFirebirdConnection(path_, user(), password());
}

void FirebirdTestDatabase::writeZeltoIni(const QString& folder) const
{
    testdb::writeZeltoIni(folder, settings());
}

QString FirebirdTestDatabase::value(const QString& select) const
{
    if (!probe_)
        probe_ = connect();
    const auto rs = probe_->open(select);
    if (rs->eof())
        return QStringLiteral("<none>");
    const Field f = rs->field(QStringLiteral("v"));
    return f.isNull() ? QStringLiteral("<NULL>") : f.text;
}

void FirebirdTestDatabase::execute(const QString& sql) const
{
    if (!probe_)
        probe_ = connect();
    probe_->execute(sql);
}

void registerOdbcDrivers(const QStringList& names)
{
    QFile f(odbcFolder() + QStringLiteral("/odbcinst.ini"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write ") + f.fileName());
    for (const QString& name : names)
        f.write(QStringLiteral("[%1]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n\n").arg(name).toUtf8());
}

SqliteOdbcDatabase::SqliteOdbcDatabase()
{
    registerOdbcDrivers();
    path_ = dir_.filePath(QStringLiteral("erp.sqlite"));
    auto c = openConnection(buildConnectionString(settings()));
    c->begin();
    // Statements end in ";" at the end of a line; comments are whole lines or /* */ blocks.
    QString script = QString::fromUtf8(projectFile("import/schema/erp_sqlite.sql") + "\n" + projectFile("import/schema/sample_erp.sql") + "\n");
    script.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"), QRegularExpression::DotMatchesEverythingOption));
    script.remove(QRegularExpression(QStringLiteral("--[^\\n]*")));
    for (const QString& statement : script.split(QRegularExpression(QStringLiteral(";\\s*\\n"))))
        if (!statement.trimmed().isEmpty())
            c->execute(statement.trimmed());
    c->commit();
}

ZeltoSettings SqliteOdbcDatabase::settings() const
{
    ZeltoSettings s;
    s.user = QStringLiteral("sa");
    s.password = QStringLiteral("segredo");
    s.server = QStringLiteral("127.0.0.1");
    s.databaseName = path_;
    s.connectionType = QStringLiteral("1");
    return s;
}

FirebirdTestServer::FirebirdTestServer() : root_(tempPattern()) {}

bool FirebirdTestServer::start()
{
    const QDir root(root_.path());
    if (port_ == 0) {
        const QDir engine(QStringLiteral("/usr/lib/x86_64-linux-gnu/firebird/3.0"));
        for (const QString& name : engine.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            if (name != QLatin1String("firebird.conf") && name != QLatin1String("intl"))
                QFile::link(engine.filePath(name), root.filePath(name));
        // The character sets' module is not found through a link: copied.
        root.mkdir(QStringLiteral("intl"));
        for (const char* name : {"intl/libfbintl.so", "intl/fbintl.conf"})
            QFile::copy(engine.filePath(QLatin1String(name)), root.filePath(QLatin1String(name)));
        port_ = freeLoopbackPort();
        const QString security = root.filePath(QStringLiteral("security.fdb"));
        QFile conf(root.filePath(QStringLiteral("firebird.conf")));
        if (!QFile::copy(QStringLiteral("/var/lib/firebird/3.0/system/security3.fdb"), security)
            || !conf.open(QIODevice::WriteOnly)) {
            error_ = QStringLiteral("no Firebird server installed (firebird3.0-server)");
            return false;
        }
        conf.write(QStringLiteral("RemoteServicePort = %1\nRemoteBindAddress = 127.0.0.1\nSecurityDatabase = %2\n")
                       .arg(port_).arg(security).toUtf8());
        conf.close();
    }
    kill();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FIREBIRD"), root.path());   // this configuration, this security database
    if (!root.exists(QStringLiteral("lock"))) {
        QProcess isql;
        isql.setProcessEnvironment(env);
        isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-user"), FirebirdTestDatabase::user(),
                                               root.filePath(QStringLiteral("security.fdb"))});
        isql.write("create or alter user SYSDBA password 'masterkey' using plugin Srp; commit;\n");
        isql.closeWriteChannel();
        if (!isql.waitForFinished(30000) || isql.exitCode() != 0 || !root.mkdir(QStringLiteral("lock"))) {
            error_ = QStringLiteral("isql-fb could not set SYSDBA's password: ") + QString::fromUtf8(isql.readAllStandardError());
            return false;
        }
    }
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(env);
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QStringLiteral("/usr/sbin/firebird"), {QStringLiteral("-p"), QString::number(port_)});
    for (int i = 0; i < 200 && process_->state() != QProcess::NotRunning && !acceptsConnections(port_); ++i)
        QThread::msleep(50);
    if (!acceptsConnections(port_)) {
        kill();
        error_ = QStringLiteral("the Firebird server did not listen on port %1").arg(port_);
        return false;
    }
    return true;
}

void FirebirdTestServer::kill()
{
    if (process_) {
        process_->kill();
        process_->waitForFinished(10000);
        process_.reset();
    }
}

QString FirebirdTestServer::address(const FirebirdTestDatabase& db) const
{
    return QStringLiteral("127.0.0.1/%1:%2").arg(port_).arg(db.path());
}

} // namespace testdb
