#pragma once
// ftp.ini: the FTP server, login, remote folder and seller code of this program, kept in the
// application folder, section "Geral".
#include "core/failure.h"

#include <QString>
#include <optional>

struct FtpSettings {
    QString server;        // "FTP": server address
    QString user;          // "USUARIO"
    QString password;      // "SENHA"
    QString remoteFolder;  // "PASTAS": remote folder holding the order files
    // "COD_VENDEDOR": unset when ftp.ini was absent at start-up.
    std::optional<QString> sellerCode;
};

// The path of ftp.ini in the application folder, found whatever the case of the stored name.
QString ftpIniPath(const QString& applicationFolder);

// Reads the five keys (with LE_INI). A missing file yields empty texts and no seller code (so
// an unset seller code tells that there was no ftp.ini).
FtpSettings readFtpIni(const QString& applicationFolder);

// Rewrites ftp.ini with six lines ended by CR LF: "[Geral]", FTP=, USUARIO=, SENHA=, PASTAS=,
// COD_VENDEDOR= carrying the seller code read at start-up (empty when unset). Values are written
// as they stand. The file is replaced in place (whatever the case of its stored name) through a
// temporary file, so a failed write never loses the old file, and keeps its permissions; a file
// created here is readable and writable by its owner alone (0600).
// Text is written in Windows-1252 when every character fits, in UTF-8 otherwise.
// Throws a Failure naming the file when it cannot be written, or when a value holds a
// line break (which would add lines of its own to the file); the file is then left unchanged.
void writeFtpIni(const QString& applicationFolder, const FtpSettings& settings);
