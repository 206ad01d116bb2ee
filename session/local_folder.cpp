#include "session/local_folder.h"

#include "core/dialogs.h"
#include "core/paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

QString folderReadError(const QString& folder)
{
    errno = 0;
    DIR* d = ::opendir(QFile::encodeName(folder).constData());
    if (d) {
        ::closedir(d);
        return QString();
    }
    const int error = errno;
    return QString::fromLocal8Bit(std::strerror(error ? error : ENOENT));
}

QString localFolderForm(const QString& folder)
{
    if (folder.size() >= 2 && folder[1] == QLatin1Char(':'))
        return paths::folderListForm(folder);
    return paths::folderListForm(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
}

void sortNames(QStringList& names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

void LocalFolder::setPath(const QString& folder)
{
    path_ = folder;
    refresh();
}

void LocalFolder::refresh()
{
    const QString error = folderReadError(path_);
    if (!error.isEmpty()) {
        names_.clear();
        emit filesChanged();
        reportFolderError(path_, error);
        return;
    }
    // One entry at a time: a folder of tens of thousands of orders (a backlog) is not held as
    // file information objects, only as names, sorted here.
    QStringList names;
    QDirIterator it(path_, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        names << it.fileName();
    }
    sortNames(names);
    names_ = std::move(names);
    emit filesChanged();
}

FileListView LocalFolder::batchView()
{
    FileListView view;
    view.folderPath = [this] { return path_; };
    view.count = [this] { return count(); };
    view.entry = [this](int i) { return at(i); };
    view.refresh = [this] { refresh(); };
    return view;
}

void LocalFolder::reportFolderError(const QString& folder, const QString& reason)
{
    ++failures_;
    dialogs_.message(QStringLiteral("Não foi possível abrir a pasta ") + folder + QStringLiteral("\r\n") + reason,
                     Icon::Exclamation, QStringLiteral("Pasta"));
}
