#pragma once
// The database session of the import: Zelto.ini, the connection, the sales parameters and the
// configuration checks.
#include "import/db/database.h"
#include "import/import_state.h"
#include "import/report.h"

#include <QString>

// The six database keys of Zelto.ini (section "Geral").
struct ZeltoSettings {
    QString user;            // USUARIO
    QString password;        // SENHA
    QString databasePath;    // LOCALBANCO: the Firebird database
    QString databaseName;    // BANCO: the SQL Server database
    QString server;          // SERVIDOR: the SQL Server host
    QString connectionType;  // TIPO_CONEXAO: empty for Firebird
};


// Closes the shared recordset when it is open.
void FECHA_CONSULTA(ImportState& state);

// Zelto.ini of the executable's folder, found whatever the case of its name; missing keys (or
// a missing file) give empty texts.
ZeltoSettings readZeltoIni(const QString& executableFolder);

// The database Zelto.ini names, quoted as the user wrote it, for messages: "\"/srv/erp.fdb\"",
// "\"LOJA\" no servidor \"SRV01\"".
QString zeltoDatabaseName(const QString& executableFolder);

// A value as a connection string carries it: unchanged, unless it holds ";", "{" or "}" (a
// password, say), then wrapped in braces with every "}" doubled, so it cannot cut the string.
QString connectionStringValue(const QString& value);

// Empty TIPO_CONEXAO: "driver={Firebird/InterBase(r) driver};server=;uid=..;Pwd=..;database="
// LOCALBANCO. Otherwise "driver={SQl Server};server=" SERVIDOR ";uid=..;Pwd=..;database=" BANCO
// ("ZELTOCONTROLLER" when BANCO is empty).
QString buildConnectionString(const ZeltoSettings& settings);

// Opens the session and loads the sales parameters into `state`. Returns false when one of the
// configuration checks failed: its message went to report.critical() and the caller ends the
// program. Throws a Failure about the Database when the connection cannot be opened, about the
// SalesParameters when a select of the parameters fails or a value read there is out of range (a movement type's code
// beyond 16 bits, a rate that is no number).
bool ABRE_BANCO(ImportState& state, const QString& executableFolder, IImportReport& report,
                const ConnectionOpener& opener = openConnection);

// ABRE_BANCO as the batch runs it: a connection that cannot be opened, or a sales-parameter
// step that fails once it is open, is reported through report.critical naming the database of
// Zelto.ini (and the step). Returns false when the session is not open (that failure or a
// configuration check was reported).
bool openImportSession(ImportState& state, const QString& executableFolder, IImportReport& report,
                       const ConnectionOpener& opener = openConnection);
