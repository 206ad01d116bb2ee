#pragma once
// Database access of the import: one connection, selects read through a recordset whose first
// row is current, inserts/updates executed at once, explicit transactions. Two adapters: our
// Firebird client adapter (libfbclient) and ODBC through Qt's QODBC driver.
#include <QMap>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

class DatabaseError : public std::runtime_error {
public:
    DatabaseError(const QString& message, int code = 0)
        : std::runtime_error(message.toStdString()), message_(message), code_(code) {}
    QString message() const { return message_; }
    int code() const { return code_; }   // the database's own error code (Firebird SQLCODE), 0 when none

private:
    QString message_;
    int code_;
};

// A field of the current row. NULL is distinct from an empty text.
struct Field {
    enum class Kind { Null, Text, Integer, Decimal, Other };
    Kind kind = Kind::Null;
    // The value as text: texts as stored (CHAR blank-padded as the database gives it), integers
    // as plain decimal digits, exact decimals with "." and their scale ("150.90"), dates ISO.
    QString text;

    bool isNull() const { return kind == Kind::Null; }
    // Numeric value of an Integer/Decimal field, or of a Text field that reads as a number
    // with "." as decimal separator. Throws DatabaseError otherwise.
    double toDouble() const;
};

class IRecordset {
public:
    virtual ~IRecordset() = default;
    // True when the select yielded no row.
    virtual bool eof() const = 0;
    // A field of the first row by column name or alias, matched without regard to case.
    // Throws DatabaseError for an unknown name or when eof().
    virtual Field field(const QString& name) const = 0;
};

class IConnection {
public:
    virtual ~IConnection() = default;
    // Runs an insert or update. Throws DatabaseError.
    virtual void execute(const QString& sql) = 0;
    // Runs a select; its first row, if any, is current. Throws DatabaseError.
    virtual std::unique_ptr<IRecordset> open(const QString& sql) = 0;
    virtual void begin() = 0;
    virtual void commit() = 0;     // throws DatabaseError when the commit fails
    virtual void rollback() = 0;   // never throws
    virtual bool inTransaction() const = 0;
    // Where the connection goes, for messages ("Firebird /srv/erp.fdb", "ODBC SQl Server ...").
    virtual QString description() const = 0;
    // Called with each text that the connection could not carry whole (a character replaced by
    // "?" because the connection's character set lacks it).
    virtual void setWarningHandler(std::function<void(const QString&)> handler) = 0;
};

// Opens a connection from an ODBC-style connection string ("driver={...};server=...;uid=...;
// Pwd=...;database=..."). The Firebird/InterBase driver name opens through our Firebird adapter
// (database = file path, "host:path" or "host/port:path") unless unixODBC has a driver registered
// under that exact name; every other string goes to QODBC unchanged. Throws DatabaseError.
std::unique_ptr<IConnection> openConnection(const QString& connectionString);

// The key=value pairs of an ODBC-style connection string: keys lower-cased, a value in braces
// unwrapped ("{a;b}}c}" is "a;b}c"); the first occurrence of a key wins.
QMap<QString, QString> parseConnectionString(const QString& connectionString);

using ConnectionOpener = std::function<std::unique_ptr<IConnection>(const QString& connectionString)>;
