#pragma once
// Text encodings met in settings and order files: UTF-8 (what web shops write today) and
// Windows-1252 (the code page of the machines the ERP runs on).
#include <QByteArray>
#include <QString>

namespace text {

bool isValidUtf8(const QByteArray& bytes);

// Windows-1252 bytes to text. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 controls of the same value, so no byte is lost.
QString fromCp1252(const QByteArray& bytes);

// Text to Windows-1252. A character the code page cannot carry becomes '?'; `replaced`, when
// given, receives each such character once.
QByteArray toCp1252(const QString& text, QString* replaced = nullptr);

// True when every character of `text` has a Windows-1252 byte.
bool fitsCp1252(const QString& text);

// Removes spaces (the space character only, not tabs) at both ends: how the order files and the
// ERP's values are trimmed.
QString trimSpaces(const QString& text);

// Bytes of a text file: UTF-8 when they are valid UTF-8 (a leading byte order mark is dropped),
// Windows-1252 otherwise.
QString decodeFileText(const QByteArray& bytes);

} // namespace text
