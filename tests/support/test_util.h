#pragma once
// Small helpers shared by the tests: readable QString values in failure messages, files written
// and read back, order files as bytes.
#include "core/failure.h"
#include "core/text_codec.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <csignal>
#include <ostream>
#include <sys/resource.h>

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

// Runs `run` while a file may grow to `bytes` at most, which stands for a full disk and stops
// root too (a write fails with EFBIG, no signal). The message of the Failure it threw, or
// "nothing thrown".
template <typename Run>
QString failureWithFileSizeLimit(rlim_t bytes, Run&& run)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{bytes, saved.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    QString message = QStringLiteral("nothing thrown");
    try {
        run();
    } catch (const Failure& e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    return message;
}

} // namespace testutil
