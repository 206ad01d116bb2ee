#include "core/file_moves.h"

#include "core/failure.h"
#include "core/paths.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

[[noreturn]] void fail(const QString& text) { throw Failure(Failure::About::File, text); }

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// True when something, even a dangling link, has this name.
bool taken(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Renames without replacing an existing file; 0 or the errno of the failure (EEXIST: the name
// is taken, EXDEV: another file system).
int renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray f = QFile::encodeName(from);
    const QByteArray t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        return error;
    // A file system that cannot rename without replacing: a second name, then the first one
    // removed (a stop in between leaves the same file under both names, never half of it).
    if (::link(f.constData(), t.constData()) == 0) {
        ::unlink(f.constData());
        return 0;
    }
    error = errno;
    if (error != EPERM && error != EOPNOTSUPP)
        return error;
    // Nor hard links: checked, then renamed (one run at a time holds the folder).
    if (taken(t))
        return EEXIST;
    return ::rename(f.constData(), t.constData()) == 0 ? 0 : errno;
}

// Renames `from` to the first free one of `name`'s numbered names in `folder`.
QString renameToFreeName(const QString& from, const QString& folder, const QString& name, int* error)
{
    for (int n = 1;; ++n) {
        const QString target = paths::joinName(folder, paths::numberedName(name, n));
        if (taken(QFile::encodeName(target)))
            continue;
        *error = renameNoReplace(from, target);
        if (*error == 0)
            return target;
        if (*error != EEXIST)
            return {};
    }
}

// Copies `source` to `target`, replacing it, and forces the copy to the disk.
void copyDurably(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Não foi possível ler %1: %2").arg(source, in.errorString()));
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("Não foi possível copiar %1 para %2: %3").arg(source, target, out.errorString()));
    bool ok = true;
    while (ok && !in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        ok = !chunk.isEmpty() && out.write(chunk) == chunk.size();
    }
    ok = ok && out.flush() && ::fsync(out.handle()) == 0;
    const QString error = out.errorString();
    out.close();
    if (!ok || !sameContent(source, target)) {
        QFile::remove(target);
        fail(QStringLiteral("Não foi possível copiar %1 para %2: %3").arg(source, target, error));
    }
}

} // namespace

QString moveToFreeName(const QString& source, const QString& folder, const QString& name)
{
    int error = 0;
    QString target = renameToFreeName(source, folder, name, &error);
    if (error == EXDEV) {
        const QString part = paths::joinName(folder, name + QStringLiteral(".part"));
        copyDurably(source, part);
        target = renameToFreeName(part, folder, name, &error);
        if (error != 0) {
            QFile::remove(part);
        } else if (!QFile::remove(source)) {
            fail(QStringLiteral("%1 foi copiado para %2, mas não pôde ser apagado").arg(source, target));
        }
    }
    if (error != 0)
        fail(QStringLiteral("Não foi possível mover %1 para %2: %3").arg(source, folder, errorText(error)));
    return target;
}

bool sameContent(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd()) {
        const QByteArray x = fa.read(1 << 16);
        if (x.isEmpty() || x != fb.read(x.size()))
            return false;
    }
    return true;
}

QString sameContentUnderName(const QString& folder, const QString& name, const QString& file)
{
    const qint64 size = QFileInfo(file).size();
    for (int n = 1;; ++n) {
        const QString candidate = paths::joinName(folder, paths::numberedName(name, n));
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink())
            return {};
        if (info.isFile() && info.size() == size && sameContent(candidate, file))
            return candidate;
    }
}

bool syncFileSystem(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace files
