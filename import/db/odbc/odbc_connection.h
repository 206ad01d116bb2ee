#pragma once
// ODBC through Qt's QODBC driver: the connection string goes to the driver manager unchanged.
// Work runs in explicit transactions (autocommit would hide a failing commit): execute()/open()
// outside begin()..commit() get a transaction of their own, committed at once.
#include "import/db/database.h"

#include <QString>
#include <QStringList>
#include <memory>

// Throws a Failure when the driver manager or the driver refuses the connection.
std::unique_ptr<IConnection> openOdbcConnection(const QString& connectionString);

// The driver names unixODBC knows (odbcinst.ini, or the folder ODBCSYSINI names).
QStringList registeredOdbcDrivers();
