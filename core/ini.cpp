#include "core/ini.h"

#include "core/text_codec.h"

#include <QFile>

namespace {
constexpr int kBufferLength = 255; // the reader's buffer keeps one place for the terminator

QString trimBlanks(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}
} // namespace

QString LE_INI(const QString& section, const QString& key, const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString content = text::decodeFileText(f.readAll());
    const QStringList lines = content.split(QLatin1Char('\n'));

    bool inSection = false;
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString t = trimBlanks(line);
        if (t.startsWith(QLatin1Char('['))) {
            if (inSection)
                break; // only the first section of that name is read
            const qsizetype close = t.indexOf(QLatin1Char(']'));
            const QString name = trimBlanks(t.mid(1, close < 0 ? -1 : close - 1));
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || t.isEmpty() || t.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (trimBlanks(t.left(eq)).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value = trimBlanks(t.mid(eq + 1));
        if (value.size() >= 2 && ((value.front() == QLatin1Char('"') && value.back() == QLatin1Char('"'))
                                  || (value.front() == QLatin1Char('\'') && value.back() == QLatin1Char('\''))))
            value = value.mid(1, value.size() - 2);
        return value.left(kBufferLength - 1);
    }
    return {};
}
