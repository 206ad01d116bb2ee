#include "core/paths.h"

#include <QDir>
#include <QFileInfo>

namespace paths {

namespace {
bool hasDriveLetter(const QString& p)
{
    return p.size() >= 2 && p[1] == QLatin1Char(':') && p[0].isLetter();
}
bool isSeparator(QChar c) { return c == QLatin1Char('\\') || c == QLatin1Char('/'); }
} // namespace

QChar separatorOf(const QString& path)
{
    if (path.contains(QLatin1Char('\\')) || hasDriveLetter(path))
        return QLatin1Char('\\');
    return QLatin1Char('/');
}

bool isRoot(const QString& path)
{
    if (path.size() == 1 && isSeparator(path[0]))
        return true;
    if (hasDriveLetter(path))
        return path.size() == 2 || (path.size() == 3 && isSeparator(path[2]));
    return false;
}

QString applicationFolder(const QString& executableFolder)
{
    QString folder = executableFolder;
    const QChar sep = separatorOf(folder);
    folder += sep;
    // A root already ends in its separator: "C:\" + "\" must stay "C:\".
    while (folder.size() >= 2 && isSeparator(folder[folder.size() - 1]) && isSeparator(folder[folder.size() - 2]))
        folder.chop(1);
    return folder;
}

QString folderListForm(const QString& folder)
{
    QString f = folder;
    if (hasDriveLetter(f) && f.size() == 2)
        return f + QLatin1Char('\\');
    while (f.size() > 1 && isSeparator(f.back()) && !isRoot(f))
        f.chop(1);
    return f;
}

QString joinName(const QString& folder, const QString& name)
{
    if (isRoot(folder) && isSeparator(folder.back()))
        return folder + name;
    return folder + separatorOf(folder) + name;
}

QString findFileIgnoringCase(const QString& folder, const QString& name)
{
    const QString base = applicationFolder(folder);
    const QDir dir(base);
    const QStringList entries = dir.entryList(QDir::Files | QDir::NoDotAndDotDot);
    if (entries.contains(name))
        return base + name;
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return base + entry;
    }
    return base + name;
}

QString numberedName(const QString& name, int n)
{
    if (n <= 1)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    return QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(ext);
}

QString freeFileName(const QString& folder, const QString& name)
{
    for (int n = 1;; ++n) {
        const QString candidate = numberedName(name, n);
        if (!QFileInfo::exists(joinName(folder, candidate)))
            return candidate;
    }
}

} // namespace paths
