#pragma once
#include <QString>

// Reads one value of an INI file, with the private-profile rules the settings files were
// written for: section and key match whatever their case; the value is the text after the
// first "=", blanks around it removed, one pair of enclosing quotes removed; the first
// matching section and key win; lines starting with ";" are comments. The value is cut to
// its first 254 characters. A missing file, section or key gives an empty text; the reader
// never fails. The file is read as UTF-8 when valid, as Windows-1252 otherwise.
QString LE_INI(const QString& section, const QString& key, const QString& file);
