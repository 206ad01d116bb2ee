#pragma once
// Fresh ERP databases for tests.
//
// FirebirdTestDatabase: a Firebird database file in a temporary folder of its own, made from
// import/schema/erp_firebird.sql (and sample_erp.sql unless asked not to). The first database
// of each kind in a test program is built with isql-fb (about 0.6 s); every later one is a copy
// of that template file (a few milliseconds). The folder is removed by the destructor.
//
// SqliteOdbcDatabase: the same ERP as a SQLite file reached through unixODBC's SQLite driver,
// registered in a private driver list under the name "SQl Server" (ODBCSYSINI points at it;
// the first fixture of any kind sets it up, before anything asks unixODBC).
#include "import/db/database.h"
#include "import/report.h"
#include "import/erp_session.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace testdb {

enum class Charset { Win1252, None, Utf8 };

struct FirebirdOptions {
    Charset charset = Charset::Win1252;   // DEFAULT CHARACTER SET of the database
    bool sampleData = true;               // load sample_erp.sql (company, parameters, products...)
};

class FirebirdTestDatabase {
public:
    explicit FirebirdTestDatabase(FirebirdOptions options = {});
    ~FirebirdTestDatabase();
    FirebirdTestDatabase(const FirebirdTestDatabase&) = delete;
    FirebirdTestDatabase& operator=(const FirebirdTestDatabase&) = delete;

    QString path() const { return path_; }        // the .fdb file
    QString folder() const { return dir_.path(); }
    static QString user() { return QStringLiteral("SYSDBA"); }
    static QString password() { return QStringLiteral("masterkey"); }

    // Zelto.ini settings for this file (USUARIO, SENHA, LOCALBANCO; TIPO_CONEXAO empty).
    ZeltoSettings settings() const;
    // The connection string the session builds from those settings.
    QString connectionString() const { return buildConnectionString(settings()); }
    // A connection through the Firebird adapter.
    std::unique_ptr<IConnection> connect() const;
    // Writes Zelto.ini for this database into `folder` (created when missing).
    void writeZeltoIni(const QString& folder) const;
    // Runs a script through isql-fb on this file (attachment character set `charset`, e.g.
    // "WIN1252", "UTF8", "NONE") and returns its standard output. Fails the test on an error.
    QString isql(const QString& script, const QString& charset = QStringLiteral("WIN1252")) const;

private:
    QTemporaryDir dir_;
    QString path_;
};

class SqliteOdbcDatabase {
public:
    explicit SqliteOdbcDatabase(bool sampleData = true);
    SqliteOdbcDatabase(const SqliteOdbcDatabase&) = delete;
    SqliteOdbcDatabase& operator=(const SqliteOdbcDatabase&) = delete;

    QString path() const { return path_; }
    QString folder() const { return dir_.path(); }
    // TIPO_CONEXAO "1", BANCO = the file (the SQLite driver takes database= as the file).
    ZeltoSettings settings() const;
    QString connectionString() const { return buildConnectionString(settings()); }
    std::unique_ptr<IConnection> connect() const;
    void writeZeltoIni(const QString& folder) const;

private:
    QTemporaryDir dir_;
    QString path_;
};

// Writes [Geral] with the six keys into `folder`/Zelto.ini (CR LF lines). A key whose value is
// empty is left out, as an ERP that never set it would.
void writeZeltoIni(const QString& folder, const ZeltoSettings& settings, const QString& fileName = QStringLiteral("Zelto.ini"));

// Points unixODBC at the private driver list (once per process). Idempotent.
void setUpOdbc();
// Rewrites the private driver list: the SQLite driver registered under each of `names`
// (default: just "SQl Server").
void registerOdbcDrivers(const QStringList& names = {QStringLiteral("SQl Server")});

// True when unixODBC lists a driver of that name (case-insensitively, as it matches them).
bool registeredOdbcDriversContain(const QString& name);

// Statements of an SQL script: split at ";" outside quotes and comments, comments dropped,
// "COMMIT" and "SET ..." statements left out.
QStringList splitSqlScript(const QString& script);

// Reads a file of the project (path relative to the source folder).
QString projectFile(const QString& relativePath);

} // namespace testdb

// Report double: records what the import tells the user.
class RecordingReport : public IImportReport {
public:
    QStringList criticals;
    QStringList logs;
    QStringList progresses;
    void critical(const QString& text) override { criticals << text; }
    void log(const QString& line) override { logs << line; }
    void progress(const QString& line) override { progresses << line; }
};
