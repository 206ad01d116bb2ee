#pragma once
// Small helpers shared by the tests: readable QString values in failure messages, files written
// and read back, order files as bytes.
#include "core/text_codec.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace testutil {

// Writes `bytes` to `path`, replacing what was there; returns the path.
inline QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
    return path;
}

// The bytes of `path`, "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// An order file: `lines`, each ended by CR LF, in Windows-1252; or UTF-8 with bare LF.
enum class Encoding { Cp1252CrLf, Utf8Lf };
inline QByteArray orderFile(const QStringList& lines, Encoding encoding = Encoding::Cp1252CrLf)
{
    if (encoding == Encoding::Utf8Lf)
        return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    return text::toCp1252(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

} // namespace testutil
