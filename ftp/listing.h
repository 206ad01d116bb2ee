#pragma once
// Folder listings as FTP servers send them: MLSD lines, and LIST lines in the Unix ("ls -l")
// and DOS/IIS formats. What comes out is the answer of "dir": one entry per line ended by
// CR LF, folders with a trailing "/", starting with "./" and "../".
#include <QByteArray>
#include <QList>
#include <QString>

struct FtpListEntry {
    QString name;
    bool folder = false;
    // Bytes as the listing gave them: MLSD's "size" fact, the size column of LIST. -1 when the
    // line gives none, and for a symbolic link (its listed size is the link's, not the file's).
    qint64 size = -1;
    // The line was not valid UTF-8 and was read as Windows-1252: the server knows the name by
    // toCp1252(name), not by its UTF-8 bytes.
    bool cp1252 = false;
    bool operator==(const FtpListEntry&) const = default;
};

// Decodes a name or a reply line sent by the server: UTF-8 when the bytes are valid UTF-8,
// otherwise Windows-1252 (older Windows tools and servers). `wasCp1252` tells which one was used.
QString decodeServerText(const QByteArray& bytes, bool* wasCp1252 = nullptr);

// The bytes of a name read as Windows-1252 (FtpListEntry::cp1252), the five bytes the code page
// leaves undefined included: the name the server knows the file by.
QByteArray cp1252NameBytes(const QString& name);

// One MLSD line ("type=file;size=12;modify=...; name"). The folder itself and its parent
// (type=cdir/pdir, or the names "." and "..") and unparseable lines give false.
bool parseMlsdLine(const QString& line, FtpListEntry* entry);

// One LIST line in Unix or DOS format. "total N" lines, "." and "..", and lines of neither
// format give false. Names keep inner and trailing blanks; a symbolic link is listed under its
// own name (without " -> target") as a file.
bool parseListLine(const QString& line, FtpListEntry* entry);

// Splits a listing into lines (CR LF, LF or CR ends a line), decodes each line on its own (one
// name in another encoding leaves the others as they are) and parses it.
QList<FtpListEntry> parseListing(const QByteArray& bytes, bool mlsd);

// The answer of "dir": "./", "../", then the entries in the server's order.
QString composeDirAnswer(const QList<FtpListEntry>& entries);
