#pragma once
// Our adapter over the Firebird client library (libfbclient, its object interface).
//
// The attachment's character set follows the database: UTF8 for a UTF8 (or UNICODE_FSS)
// database, WIN1252 for every other one (WIN1252, ISO8859_1, NONE: the legacy ERP stores
// Windows-1252 bytes). Statement texts are transcoded by us; a character the attachment cannot
// carry is sent as "?" and reported through the warning handler.
//
// execute()/open() outside begin()..commit() run in a transaction of their own that is committed
// at once; a failing commit is reported like any other failure. A lone select runs read-only
// (nothing written, so nothing to sync to disk at its commit).
//
// Statements are prepared and kept per attachment by fb::StatementCache (statement_cache.h).
#include "import/db/database.h"

#include <QString>
#include <memory>

// `database`: a file path (embedded engine, no server), "host:path" or "host/port:path" (a
// Firebird server). `user`/`password` may be empty (embedded access as the owner).
// Throws a Failure when the attachment fails.
std::unique_ptr<IConnection> openFirebirdConnection(const QString& database, const QString& user,
                                                    const QString& password);
