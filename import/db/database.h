#pragma once
// Database access of the import: one connection, selects read through a recordset whose first
// row is current, inserts/updates executed at once, explicit transactions. Two adapters: our
// Firebird client adapter (libfbclient) and ODBC through Qt's QODBC driver.
//
// A statement is its text, with "?" where each value goes, and its values in order. No value is
// ever part of the text. Every value is bound as text and the database converts it to the
// column's type the way it converts a quoted text literal: '150.90' into a NUMERIC, '2/4/2015'
// into a DATE, '' stays an empty text (not NULL), a text too long for its column fails, and a
// compared text that cannot be in the column simply matches nothing.
#include "core/failure.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>


// A field of the current row. NULL is distinct from an empty text.
struct Field {
    enum class Kind { Null, Text, Integer, Decimal, Other };
    Kind kind = Kind::Null;
    // The value as text: texts as stored (CHAR blank-padded as the database gives it), integers
    // as plain decimal digits, exact decimals with "." and their scale ("150.90"), dates ISO.
    QString text;

    bool isNull() const { return kind == Kind::Null; }
    // Numeric value of an Integer/Decimal field, or of a Text field that reads as a number
    // with "." as decimal separator. Throws a Failure otherwise.
    double toDouble() const;
};

class IRecordset {
public:
    virtual ~IRecordset() = default;
    // True when the select yielded no row.
    virtual bool eof() const = 0;
    // A field of the first row by column name or alias, matched without regard to case.
    // Throws a Failure for an unknown name or when eof().
    virtual Field field(const QString& name) const = 0;
};

class IConnection {
public:
    virtual ~IConnection() = default;
    // Runs an insert or update, `values` bound to its "?" in order. Throws a Failure.
    virtual void execute(const QString& sql, const QStringList& values = {}) = 0;
    // Runs a select; its first row, if any, is current. Throws a Failure.
    virtual std::unique_ptr<IRecordset> open(const QString& sql, const QStringList& values = {}) = 0;
    virtual void begin() = 0;
    virtual void commit() = 0;     // throws a Failure when the commit fails (then rolled back)
    virtual void rollback() = 0;   // never throws
    virtual bool inTransaction() const = 0;
    // One savepoint inside the open transaction, so that a part of its work can be undone alone.
    // Offered by Firebird only: SQL Server's savepoints differ from the other databases' ones.
    virtual bool hasSavepoints() const = 0;
    virtual void savepoint() = 0;
    virtual void releaseSavepoint() = 0;
    // Undoes the work since savepoint(). When even that fails, the whole transaction is rolled
    // back (inTransaction() turns false) and a Failure is thrown.
    virtual void rollbackToSavepoint() = 0;
    // Where the connection goes, for messages ("Firebird /srv/erp.fdb", "ODBC SQl Server ...").
    virtual QString description() const = 0;
    // Called with each text that the connection could not carry whole (a character replaced by
    // "?" because the connection's character set lacks it).
    virtual void setWarningHandler(std::function<void(const QString&)> handler) = 0;
};

// Opens a connection from an ODBC-style connection string ("driver={...};server=...;uid=...;
// Pwd=...;database=..."). The Firebird/InterBase driver name opens through our Firebird adapter
// (database = file path, "host:path" or "host/port:path") unless unixODBC has a driver registered
// under that exact name; every other string goes to QODBC unchanged. Throws a Failure.
std::unique_ptr<IConnection> openConnection(const QString& connectionString);

// The key=value pairs of an ODBC-style connection string: keys lower-cased, a value in braces
// unwrapped ("{a;b}}c}" is "a;b}c"); the first occurrence of a key wins.
QMap<QString, QString> parseConnectionString(const QString& connectionString);

using ConnectionOpener = std::function<std::unique_ptr<IConnection>(const QString& connectionString)>;
