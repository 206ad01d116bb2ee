#include "test_database.h"

#include "import/db/firebird/firebird_connection.h"
#include "import/db/odbc/odbc_connection.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QProcess>
#include <QStringEncoder>
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <stdexcept>

namespace testdb {

namespace {

QString charsetName(Charset c)
{
    switch (c) {
    case Charset::None:
        return QStringLiteral("NONE");
    case Charset::Utf8:
        return QStringLiteral("UTF8");
    case Charset::Win1252:
        break;
    }
    return QStringLiteral("WIN1252");
}

[[noreturn]] void fail(const QString& message)
{
    ADD_FAILURE() << message.toStdString();
    throw std::runtime_error(message.toStdString());
}

QString runIsql(const QStringList& arguments, const QString& script)
{
    QProcess p;
    p.start(QStringLiteral("isql-fb"), arguments);
    if (!p.waitForStarted(10000))
        fail(QStringLiteral("isql-fb could not be started"));
    p.write(script.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        fail(QStringLiteral("isql-fb did not finish"));
    }
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitCode() != 0 || err.contains(QLatin1String("Statement failed")))
        fail(QStringLiteral("isql-fb %1 failed: %2\n%3").arg(arguments.join(QLatin1Char(' ')), err, script.left(2000)));
    return out;
}

// Databases live in memory (/dev/shm) when the machine has it: Firebird syncs every commit to
// disk, which on a busy disk costs seconds per test.
QString tempPattern()
{
    static const QString root = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                                                     : QDir::tempPath();
    return root + QStringLiteral("/pedidos_db_XXXXXX");
}

// One template database per kind, shared by all test programs and runs: kept in the build
// folder under a name made from the scripts' contents, so a changed script makes a new one.
// Built in memory by isql-fb, then moved into place with an atomic rename (parallel tests).
QString templateFor(const FirebirdOptions& options)
{
    static QMutex mutex;
    static QMap<QString, QString> templates;
    QMutexLocker lock(&mutex);
    const QString kind = charsetName(options.charset) + (options.sampleData ? QStringLiteral("_sample") : QStringLiteral("_empty"));
    if (auto it = templates.constFind(kind); it != templates.constEnd())
        return *it;

    const QString schema = QStringLiteral(PEDIDOS_SOURCE_DIR "/import/schema/erp_firebird.sql");
    const QString sample = QStringLiteral(PEDIDOS_SOURCE_DIR "/import/schema/sample_erp.sql");
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(projectFile(QStringLiteral("import/schema/erp_firebird.sql")).toUtf8());
    if (options.sampleData)
        hash.addData(projectFile(QStringLiteral("import/schema/sample_erp.sql")).toUtf8());
    const QString cacheFolder = QStringLiteral(PEDIDOS_BINARY_DIR "/test_databases");
    QDir().mkpath(cacheFolder);
    const QString cached = cacheFolder + QLatin1Char('/') + kind + QLatin1Char('_')
                           + QString::fromLatin1(hash.result().toHex().left(12)) + QStringLiteral(".fdb");
    if (!QFileInfo::exists(cached)) {
        QTemporaryDir work(tempPattern());
        const QString path = work.filePath(QStringLiteral("template.fdb"));
        QString script = QStringLiteral("CREATE DATABASE '%1' USER '%2' PASSWORD '%3' PAGE_SIZE 8192 DEFAULT CHARACTER SET %4;\n")
                             .arg(path, FirebirdTestDatabase::user(), FirebirdTestDatabase::password(), charsetName(options.charset));
        script += QStringLiteral("INPUT '%1';\n").arg(schema);
        if (options.sampleData)
            script += QStringLiteral("INPUT '%1';\n").arg(sample);
        script += QStringLiteral("COMMIT;\n");
        runIsql({QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-ch"), QStringLiteral("WIN1252")}, script);
        const QString partial = cached + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
        if (!QFile::copy(path, partial))
            fail(QStringLiteral("cannot write ") + partial);
        if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(cached).constData()) != 0)
            fail(QStringLiteral("cannot rename ") + partial);
    }
    templates.insert(kind, cached);
    return cached;
}

QTemporaryDir& odbcFolder()
{
    static QTemporaryDir folder;
    return folder;
}

} // namespace

QString projectFile(const QString& relativePath)
{
    QFile f(QStringLiteral(PEDIDOS_SOURCE_DIR "/") + relativePath);
    if (!f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read ") + f.fileName());
    return QString::fromUtf8(f.readAll());
}

void writeZeltoIni(const QString& folder, const ZeltoSettings& s, const QString& fileName)
{
    QDir().mkpath(folder);
    QString text = QStringLiteral("[Geral]\r\n");
    auto put = [&](const char* key, const QString& value) {
        if (!value.isEmpty())
            text += QLatin1String(key) + QLatin1Char('=') + value + QStringLiteral("\r\n");
    };
    put("USUARIO", s.user);
    put("SENHA", s.password);
    put("LOCALBANCO", s.databasePath);
    put("BANCO", s.databaseName);
    put("SERVIDOR", s.server);
    put("TIPO_CONEXAO", s.connectionType);
    QFile f(QDir(folder).filePath(fileName));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write ") + f.fileName());
    f.write(text.toUtf8());
}

// ---- Firebird ----

FirebirdTestDatabase::FirebirdTestDatabase(FirebirdOptions options) : dir_(tempPattern())
{
    setUpOdbc(); // before anything asks unixODBC which drivers it knows
    // The embedded engine keeps its lock files in a system folder only root may write; other
    // users get a folder of their own (isql-fb inherits it).
    if (geteuid() != 0 && !qEnvironmentVariableIsSet("FIREBIRD_LOCK")) {
        static QTemporaryDir lockFolder(tempPattern());
        qputenv("FIREBIRD_LOCK", lockFolder.path().toLocal8Bit());
    }
    if (!dir_.isValid())
        fail(QStringLiteral("no temporary folder"));
    path_ = dir_.filePath(QStringLiteral("erp.fdb"));
    if (!QFile::copy(templateFor(options), path_))
        fail(QStringLiteral("cannot copy the template database to ") + path_);
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup);
}

FirebirdTestDatabase::~FirebirdTestDatabase() = default;

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

QString FirebirdTestDatabase::isql(const QString& script, const QString& charset) const
{
    return runIsql({QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-ch"), charset, QStringLiteral("-user"), user(),
                    QStringLiteral("-password"), password(), path_},
                   script);
}

// ---- ODBC / SQLite ----

void registerOdbcDrivers(const QStringList& names)
{
    setUpOdbc();
    QFile f(odbcFolder().filePath(QStringLiteral("odbcinst.ini")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write ") + f.fileName());
    QString text;
    for (const QString& name : names)
        text += QStringLiteral("[%1]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n\n").arg(name);
    f.write(text.toUtf8());
}

void setUpOdbc()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qputenv("ODBCSYSINI", odbcFolder().path().toLocal8Bit());
    registerOdbcDrivers();
}

bool registeredOdbcDriversContain(const QString& name)
{
    setUpOdbc();
    return registeredOdbcDrivers().contains(name, Qt::CaseInsensitive);
}

QStringList splitSqlScript(const QString& script)
{
    QStringList statements;
    QString current;
    const qsizetype n = script.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = script[i];
        if (c == QLatin1Char('\'')) {
            current.append(c);
            for (++i; i < n; ++i) {
                current.append(script[i]);
                if (script[i] == QLatin1Char('\'')) {
                    if (i + 1 < n && script[i + 1] == QLatin1Char('\'')) {
                        current.append(script[++i]);
                        continue;
                    }
                    break;
                }
            }
        } else if (c == QLatin1Char('-') && i + 1 < n && script[i + 1] == QLatin1Char('-')) {
            while (i < n && script[i] != QLatin1Char('\n'))
                ++i;
            current.append(QLatin1Char('\n'));
        } else if (c == QLatin1Char('/') && i + 1 < n && script[i + 1] == QLatin1Char('*')) {
            const qsizetype end = script.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 1;
            current.append(QLatin1Char(' '));
        } else if (c == QLatin1Char(';')) {
            const QString s = current.trimmed();
            if (!s.isEmpty() && s.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) != 0
                && !s.startsWith(QLatin1String("SET "), Qt::CaseInsensitive))
                statements << s;
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

SqliteOdbcDatabase::SqliteOdbcDatabase(bool sampleData) : dir_(tempPattern())
{
    setUpOdbc();
    if (!dir_.isValid())
        fail(QStringLiteral("no temporary folder"));
    path_ = dir_.filePath(QStringLiteral("erp.sqlite"));
    auto connection = connect();
    connection->begin();
    QStringList statements = splitSqlScript(projectFile(QStringLiteral("import/schema/erp_sqlite.sql")));
    if (sampleData)
        statements += splitSqlScript(projectFile(QStringLiteral("import/schema/sample_erp.sql")));
    for (const QString& s : statements)
        connection->execute(s);
    connection->commit();
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

std::unique_ptr<IConnection> SqliteOdbcDatabase::connect() const
{
    return openConnection(connectionString());
}

void SqliteOdbcDatabase::writeZeltoIni(const QString& folder) const
{
    testdb::writeZeltoIni(folder, settings());
}

} // namespace testdb
