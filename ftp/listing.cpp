#include "ftp/listing.h"

#include "core/text_codec.h"

#include <QRegularExpression>
#include <QStringConverter>
#include <QStringList>

QString decodeServerText(const QByteArray& bytes, bool* wasCp1252)
{
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    const bool bad = decoder.hasError();
    if (wasCp1252)
        *wasCp1252 = bad;
    return bad ? text::fromCp1252(bytes) : text;
}

QByteArray cp1252NameBytes(const QString& name)
{
    QByteArray out;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u == 0x81 || u == 0x8D || u == 0x8F || u == 0x90 || u == 0x9D) // read as themselves
            out.append(char(u));
        else
            out.append(text::toCp1252(QString(c)));
    }
    return out;
}

// A size column or fact: digits only, else unknown (-1).
static qint64 listedSize(QStringView digits)
{
    bool ok = false;
    const qint64 size = digits.toLongLong(&ok);
    return ok && size >= 0 && !digits.startsWith(QLatin1Char('+')) ? size : -1;
}

static bool isSelfOrParent(const QString& name)
{
    return name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..");
}

bool parseMlsdLine(const QString& line, FtpListEntry* entry)
{
    // Facts end with ";" and a single blank separates them from the name.
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return false;
    const QString facts = line.left(blank);
    const QString name = line.mid(blank + 1);
    if (isSelfOrParent(name) || !facts.contains(QLatin1Char('=')))
        return false;
    QString type;
    qint64 size = -1;
    for (const QString& fact : facts.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = fact.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QStringView key = QStringView(fact).left(eq);
        if (key.compare(QLatin1String("type"), Qt::CaseInsensitive) == 0)
            type = fact.mid(eq + 1).toLower();
        else if (key.compare(QLatin1String("size"), Qt::CaseInsensitive) == 0)
            size = listedSize(QStringView(fact).mid(eq + 1));
    }
    if (type == QLatin1String("cdir") || type == QLatin1String("pdir"))
        return false;
    entry->name = name;
    entry->folder = type == QLatin1String("dir");
    entry->size = type.isEmpty() || type == QLatin1String("file") ? size : -1;
    return true;
}

static bool isMonth(QStringView token)
{
    static const QStringList months = {
        QStringLiteral("jan"), QStringLiteral("feb"), QStringLiteral("mar"), QStringLiteral("apr"),
        QStringLiteral("may"), QStringLiteral("jun"), QStringLiteral("jul"), QStringLiteral("aug"),
        QStringLiteral("sep"), QStringLiteral("oct"), QStringLiteral("nov"), QStringLiteral("dec"),
    };
    return token.size() == 3 && months.contains(token.toString().toLower());
}

static bool isDay(QStringView token)
{
    bool ok = false;
    const int d = token.toInt(&ok);
    return ok && token.size() <= 2 && d >= 1 && d <= 31;
}

static bool isTimeOrYear(QStringView token)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}:\\d{2}|\\d{4})$"));
    return re.match(token).hasMatch();
}

static bool parseUnixLine(const QString& line, FtpListEntry* entry)
{
    static const QRegularExpression perms(QStringLiteral("^[-dlbcpsD][-rwxsStTlL]{9}"));
    if (!perms.match(line).hasMatch())
        return false;
    // Tokens with their positions; the name starts one blank after the time/year that
    // follows "<month> <day>".
    struct Tok { qsizetype begin, end; };
    QList<Tok> toks;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n && toks.size() < 12) {
        while (i < n && line.at(i) == QLatin1Char(' '))
            ++i;
        if (i >= n)
            break;
        const qsizetype b = i;
        while (i < n && line.at(i) != QLatin1Char(' '))
            ++i;
        toks.append({b, i});
    }
    auto tok = [&](int k) { return QStringView(line).mid(toks[k].begin, toks[k].end - toks[k].begin); };
    for (int k = 2; k + 2 < toks.size(); ++k) {
        if (!isMonth(tok(k)) || !isDay(tok(k + 1)) || !isTimeOrYear(tok(k + 2)))
            continue;
        const qsizetype nameStart = toks[k + 2].end + 1;
        if (nameStart >= n)
            return false;
        QString name = line.mid(nameStart);
        const QChar kind = line.at(0);
        if (kind == QLatin1Char('l')) {
            const qsizetype arrow = name.indexOf(QLatin1String(" -> "));
            if (arrow > 0)
                name.truncate(arrow);
        }
        if (isSelfOrParent(name))
            return false;
        entry->name = name;
        entry->folder = kind == QLatin1Char('d') || kind == QLatin1Char('D');
        entry->size = kind == QLatin1Char('-') ? listedSize(tok(k - 1)) : -1;
        return true;
    }
    return false;
}

static bool parseDosLine(const QString& line, FtpListEntry* entry)
{
    static const QRegularExpression re(QStringLiteral(
        "^(\\d{1,2}-\\d{1,2}-\\d{2,4})\\s+(\\d{1,2}:\\d{2}\\s*(?:[AaPp][Mm])?)\\s+(<DIR>|\\d+)\\s+(.+)$"));
    const auto m = re.match(line);
    if (!m.hasMatch())
        return false;
    const QString name = m.captured(4);
    if (isSelfOrParent(name))
        return false;
    entry->name = name;
    entry->folder = m.captured(3).compare(QLatin1String("<DIR>"), Qt::CaseInsensitive) == 0;
    entry->size = entry->folder ? -1 : listedSize(m.capturedView(3));
    return true;
}

bool parseListLine(const QString& line, FtpListEntry* entry)
{
    return parseUnixLine(line, entry) || parseDosLine(line, entry);
}

QList<FtpListEntry> parseListing(const QByteArray& bytes, bool mlsd)
{
    QList<FtpListEntry> entries;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        if (end > start) {
            bool cp1252 = false;
            const QString line = decodeServerText(bytes.mid(start, end - start), &cp1252);
            FtpListEntry e;
            if (mlsd ? parseMlsdLine(line, &e) : parseListLine(line, &e)) {
                e.cp1252 = cp1252;
                entries.append(e);
            }
        }
        start = end + 1;
    }
    return entries;
}

QString composeDirAnswer(const QList<FtpListEntry>& entries)
{
    QString out = QStringLiteral("./\r\n../\r\n");
    for (const FtpListEntry& e : entries) {
        out += e.name;
        if (e.folder)
            out += QLatin1Char('/');
        out += QLatin1String("\r\n");
    }
    return out;
}
