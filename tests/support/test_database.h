#pragma once
// Fresh ERP databases for tests, made from import/schema/ with the sample shop of sample_erp.sql.
//
// FirebirdTestDatabase: a Firebird file in a temporary folder of its own. The first database of
// each character set is built with isql-fb and kept in the build folder; every later one is a
// copy of it (a few milliseconds).
//
// SqliteOdbcDatabase: the same ERP as a SQLite file reached through unixODBC's SQLite driver,
// registered in a private driver list under the name "SQl Server".
#include "import/db/database.h"
#include "import/erp_session.h"
#include "import/report.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace testdb {

enum class Charset { Win1252, None, Utf8 };   // DEFAULT CHARACTER SET of the database

class FirebirdTestDatabase {
public:
    explicit FirebirdTestDatabase(Charset charset = Charset::Win1252);

    QString path() const { return path_; }
    QString folder() const { return dir_.path(); }
    static QString user() { return QStringLiteral("SYSDBA"); }
    static QString password() { return QStringLiteral("masterkey"); }
    // Zelto.ini settings for this file (USUARIO, SENHA, LOCALBANCO).
    ZeltoSettings settings() const;
    std::unique_ptr<IConnection> connect() const;
    void writeZeltoIni(const QString& folder) const;

    // The column "v" of the first row of a select, on committed data: "<none>" when there is no
    // row, "<NULL>" for NULL. The one way the tests read the database back.
    QString value(const QString& select) const;
    // Runs a statement of the test's own (setup rows, triggers) and commits it.
    void execute(const QString& sql) const;

private:
    QTemporaryDir dir_;
    QString path_;
    mutable std::unique_ptr<IConnection> probe_;
};

// A Firebird server of its own on a free loopback port (the installed engine, its own
// configuration and security database, SYSDBA as the databases' user), to be killed mid-batch.
class FirebirdTestServer {
public:
    FirebirdTestServer();
    ~FirebirdTestServer() { kill(); }
    bool start();                 // false, and error() says why, when it does not listen
    void kill();                  // SIGKILL: the connections drop, nothing is shut down
    QString error() const { return error_; }
    QString address(const FirebirdTestDatabase& db) const;   // LOCALBANCO through this server

private:
    QTemporaryDir root_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
    QString error_;
};

class SqliteOdbcDatabase {
public:
    SqliteOdbcDatabase();
    QString path() const { return path_; }
    // TIPO_CONEXAO "1", BANCO = the file (the SQLite driver takes database= as the file).
    ZeltoSettings settings() const;

private:
    QTemporaryDir dir_;
    QString path_;
};

// Writes [Geral] into `folder`/Zelto.ini; keys whose value is empty are left out.
void writeZeltoIni(const QString& folder, const ZeltoSettings& settings);

// Registers the SQLite driver under each of `names` in the private driver list unixODBC reads.
void registerOdbcDrivers(const QStringList& names = {QStringLiteral("SQl Server")});

} // namespace testdb

// Report double: records what the import tells the user.
class RecordingReport : public IImportReport {
public:
    QStringList criticals;
    QStringList logs;
    QStringList progresses;
    std::function<void()> onProgress;   // hears each progress line once it is recorded
    void critical(const QString& text) override { criticals << text; }
    void log(const QString& line) override { logs << line; }
    void progress(const QString& line) override
    {
        progresses << line;
        if (onProgress)
            onProgress();
    }
};
