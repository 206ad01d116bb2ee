#include "ftp/remote_paths.h"

#include <QStringList>

QByteArray FtpServerAddress::baseUrl() const
{
    const QByteArray h = host.contains(QLatin1Char(':')) ? '[' + host.toUtf8() + ']' : host.toUtf8();
    return (sftp ? "sftp://" : "ftp://") + h + ':' + QByteArray::number(port);
}

QString FtpServerAddress::hostAndPort() const
{
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return h + QLatin1Char(':') + QString::number(port);
}

static bool validHostChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_');
}

std::optional<FtpServerAddress> parseFtpServerAddress(const QString& text)
{
    FtpServerAddress a;
    QString rest = text.trimmed();
    if (rest.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive)) {
        rest = rest.mid(6);
    } else if (rest.startsWith(QLatin1String("ftps://"), Qt::CaseInsensitive)) {
        a.tls = true;
        rest = rest.mid(7);
    } else if (rest.startsWith(QLatin1String("sftp://"), Qt::CaseInsensitive)) {
        a.sftp = true;
        a.port = 22;
        rest = rest.mid(7);
    } else if (rest.contains(QLatin1String("://"))) {
        return std::nullopt;
    }
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        a.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':')))
                return std::nullopt;
            portText = after.mid(1);
            if (portText.isEmpty())
                return std::nullopt;
        }
        for (QChar c : a.host)
            if (!(c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
                  || c == QLatin1Char(':') || c == QLatin1Char('.')))
                return std::nullopt;
        if (!a.host.contains(QLatin1Char(':')))
            return std::nullopt;
    } else {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            a.host = rest.left(colon);
            portText = rest.mid(colon + 1);
            if (portText.isEmpty())
                return std::nullopt;
        } else {
            a.host = rest;
        }
        for (QChar c : a.host)
            if (!validHostChar(c))
                return std::nullopt;
    }
    if (a.host.isEmpty())
        return std::nullopt;
    if (!portText.isEmpty()) {
        for (QChar c : portText)
            if (!c.isDigit())
                return std::nullopt;
        bool ok = false;
        const int port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return std::nullopt;
        a.port = port;
    }
    return a;
}

QString resolveRemotePath(const QString& cwd, const QString& arg)
{
    QStringList parts;
    const QString start = arg.startsWith(QLatin1Char('/')) ? arg : cwd + QLatin1Char('/') + arg;
    for (const QString& p : start.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (p == QLatin1String("."))
            continue;
        if (p == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(p);
    }
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

QString joinRemotePath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString remoteParent(const QString& absPath)
{
    const qsizetype slash = absPath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : absPath.left(slash);
}

QString remoteLeaf(const QString& absPath)
{
    return absPath.mid(absPath.lastIndexOf(QLatin1Char('/')) + 1);
}

QByteArray nameBytesUtf8(const QString& absPath)
{
    return remoteLeaf(absPath).toUtf8();
}

namespace {
// Each part of an absolute path as the server knows it.
QList<QByteArray> pathParts(const QString& absPath, const NameBytes& bytes)
{
    QList<QByteArray> out;
    QString prefix;
    for (const QString& p : absPath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        prefix += QLatin1Char('/') + p;
        out << bytes(prefix);
    }
    return out;
}
} // namespace

QByteArray encodeRemotePath(const QString& absPath, const NameBytes& bytes)
{
    QByteArray path;
    for (const QByteArray& p : pathParts(absPath, bytes))
        path += '/' + p;
    return path.isEmpty() ? QByteArray("/") : path;
}

QByteArray remoteFolderUrl(const QByteArray& baseUrl, const QString& absFolder, const NameBytes& bytes)
{
    const QList<QByteArray> parts = pathParts(absFolder, bytes);
    QByteArray path;
    for (const QByteArray& p : parts)
        path += p.toPercentEncoding() + '/';
    if (!baseUrl.startsWith("sftp:"))
        return baseUrl + "/%2F" + (path.isEmpty() ? QByteArray("/") : path); // one absolute CWD
    // libcurl reads a path starting with "/~/" as one in the login folder: "//~/" keeps a
    // folder named "~" where it is.
    return baseUrl + (parts.value(0) == "~" ? "//" : "/") + path;
}

QByteArray remoteFileUrl(const QByteArray& baseUrl, const QString& absPath, const NameBytes& bytes)
{
    return remoteFolderUrl(baseUrl, remoteParent(absPath), bytes) + bytes(absPath).toPercentEncoding();
}

QString parsePwdReply(const QString& replyLine)
{
    const qsizetype open = replyLine.indexOf(QLatin1Char('"'));
    if (open < 0)
        return {};
    QString path;
    for (qsizetype i = open + 1; i < replyLine.size(); ++i) {
        const QChar c = replyLine.at(i);
        if (c == QLatin1Char('"')) {
            if (i + 1 < replyLine.size() && replyLine.at(i + 1) == QLatin1Char('"')) {
                path += c;
                ++i;
                continue;
            }
            return path;
        }
        path += c;
    }
    return {};
}
