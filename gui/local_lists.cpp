#include "gui/local_lists.h"

#include "core/dialogs.h"
#include "core/paths.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSet>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace {

// File systems that hold no user files: kernel interfaces, memory-backed scratch space,
// container plumbing and read-only package images.
const QSet<QByteArray>& pseudoFileSystems()
{
    static const QSet<QByteArray> types = {
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2", "securityfs",
        "pstore", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "bpf",
        "autofs", "binfmt_misc", "nsfs", "rpc_pipefs", "efivarfs", "selinuxfs", "squashfs",
        "fuse.gvfsd-fuse", "fuse.portal", "overlay",
    };
    return types;
}

bool underSystemFolder(const QString& root)
{
    for (const char* system : {"/proc", "/sys", "/dev", "/run"}) {
        const QString s = QString::fromLatin1(system);
        if (root == s || root.startsWith(s + QLatin1Char('/')))
            return true;
    }
    return false;
}

// Name order as a file manager shows it: ignoring case, and by exact text between names that
// differ only in case, so the order never depends on the disk.
void sortNames(QStringList& names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

QString lastComponent(const QString& folder)
{
    if (paths::isRoot(folder))
        return folder;
    const qsizetype cut = std::max(folder.lastIndexOf(QLatin1Char('/')), folder.lastIndexOf(QLatin1Char('\\')));
    return folder.mid(cut + 1);
}

QString parentOf(const QString& folder)
{
    const qsizetype cut = std::max(folder.lastIndexOf(QLatin1Char('/')), folder.lastIndexOf(QLatin1Char('\\')));
    if (cut < 0)
        return folder;
    return paths::folderListForm(folder.left(cut + 1));
}

// The absolute, clean form of a folder the user or a caller names.
QString normalised(const QString& folder)
{
    if (folder.size() >= 2 && folder[1] == QLatin1Char(':'))
        return paths::folderListForm(folder); // a Windows path: kept as written
    return paths::folderListForm(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
}

} // namespace

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

QList<IDrives::Drive> SystemDrives::drives() const
{
    QList<Drive> out{{QStringLiteral("/"), QStringLiteral("/")}};
    QSet<QString> seen{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || seen.contains(root) || pseudoFileSystems().contains(volume.fileSystemType())
            || underSystemFolder(root) || !QFileInfo(root).isDir())
            continue;
        seen.insert(root);
        const QString name = volume.name();
        out.append({name.isEmpty() ? root : root + QStringLiteral(" [") + name + QLatin1Char(']'), root});
    }
    std::sort(out.begin() + 1, out.end(), [](const Drive& a, const Drive& b) { return a.root < b.root; });
    return out;
}

IDrives::Opened SystemDrives::open(const Drive& drive) const
{
    const QString error = folderReadError(drive.root);
    if (!error.isEmpty())
        return {QString(), error};
    return {paths::folderListForm(drive.root), QString()};
}

LocalLists::LocalLists(const LocalWidgets& widgets, IDialogs& dialogs, const IDrives& drives,
                       const QString& startFolder, QObject* parent)
    : QObject(parent), w_(widgets), dialogs_(dialogs), drives_(drives)
{
    w_.filList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    w_.dirList->setSelectionMode(QAbstractItemView::SingleSelection);
    fillDrives();
    connect(w_.drvList, &QComboBox::activated, this, [this](int) { drvList_Change(); });
    connect(w_.dirList, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (item)
            setPath(item->data(PathRole).toString());
    });
    setPath(startFolder.isEmpty() ? QDir::currentPath() : startFolder);
}

void LocalLists::fillDrives()
{
    driveList_ = drives_.drives();
    w_.drvList->clear();
    for (const IDrives::Drive& d : driveList_)
        w_.drvList->addItem(d.text, d.root);
}

int LocalLists::driveIndexOf(const QString& folder) const
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < driveList_.size(); ++i) {
        const QString root = paths::folderListForm(driveList_[i].root);
        const bool windows = root.size() >= 2 && root[1] == QLatin1Char(':');
        const Qt::CaseSensitivity cs = windows ? Qt::CaseInsensitive : Qt::CaseSensitive;
        const QString withSeparator = paths::isRoot(root) ? root : root + paths::separatorOf(root);
        const bool inside = folder.compare(root, cs) == 0 || folder.startsWith(withSeparator, cs);
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

bool LocalLists::setPath(const QString& folder)
{
    const QString target = normalised(folder);
    const QString error = folderReadError(target);
    if (!error.isEmpty()) {
        folderError(target, error);
        return false;
    }
    QStringList subfolders = QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    sortNames(subfolders);
    dirPath_ = target;
    showTree(target, subfolders);
    const int drive = driveIndexOf(target);
    if (drive >= 0) {
        lastFolderOfDrive_[driveList_[drive].root] = target;
        w_.drvList->setCurrentIndex(drive);
    }
    dirList_Change();
    return true;
}

void LocalLists::showTree(const QString& folder, const QStringList& subfolders)
{
    QStringList chain{folder};
    for (QString up = parentOf(folder); up != chain.front(); up = parentOf(up))
        chain.prepend(up);

    QStyle* style = QApplication::style();
    const QIcon openIcon = style ? style->standardIcon(QStyle::SP_DirOpenIcon) : QIcon();
    const QIcon closedIcon = style ? style->standardIcon(QStyle::SP_DirClosedIcon) : QIcon();
    const QString indent = QStringLiteral("  ");

    w_.dirList->clear();
    QListWidgetItem* open = nullptr;
    for (int depth = 0; depth < chain.size(); ++depth) {
        auto* item = new QListWidgetItem(openIcon, indent.repeated(depth) + lastComponent(chain[depth]), w_.dirList);
        item->setData(PathRole, chain[depth]);
        open = item;
    }
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(closedIcon, indent.repeated(chain.size()) + name, w_.dirList);
        item->setData(PathRole, paths::joinName(folder, name));
    }
    w_.dirList->setCurrentItem(open);
}

void LocalLists::dirList_Change()
{
    filPath_ = dirPath_;
    refreshFiles();
}

void LocalLists::refreshFiles()
{
    const QString error = folderReadError(filPath_);
    if (!error.isEmpty()) {
        // Never keep names of a folder that cannot be read: callers join them to the path.
        showFiles({});
        folderError(filPath_, error);
        return;
    }
    QStringList names = QDir(filPath_).entryList(QDir::Files | QDir::Hidden);
    sortNames(names);
    showFiles(names);
}

void LocalLists::showFiles(const QStringList& names)
{
    w_.filList->clear();
    w_.filList->addItems(names);
}

int LocalLists::fileCount() const
{
    return w_.filList->count();
}

QString LocalLists::fileAt(int index) const
{
    const QListWidgetItem* item = w_.filList->item(index);
    return item ? item->text() : QString();
}

bool LocalLists::fileSelected(int index) const
{
    const QListWidgetItem* item = w_.filList->item(index);
    return item && item->isSelected();
}

void LocalLists::drvList_Change()
{
    const int index = w_.drvList->currentIndex();
    if (index < 0 || index >= driveList_.size())
        return;
    const IDrives::Drive& drive = driveList_[index];
    const IDrives::Opened opened = drives_.open(drive);
    if (!opened.ok()) {
        dialogs_.message(opened.error, Icon::Exclamation, QStringLiteral("Drive Error"));
        return;
    }
    // Like the platform's drive change: back to the folder last open on that drive.
    const QString last = lastFolderOfDrive_.value(drive.root);
    if (!last.isEmpty() && folderReadError(last).isEmpty())
        setPath(last);
    else
        setPath(opened.folder);
}

void LocalLists::folderError(const QString& folder, const QString& reason)
{
    dialogs_.message(QStringLiteral("Não foi possível abrir a pasta ") + folder + QStringLiteral("\r\n") + reason,
                     Icon::Exclamation, QStringLiteral("Pasta"));
}
