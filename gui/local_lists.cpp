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

} // namespace

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

LocalLists::LocalLists(const LocalWidgets& widgets, LocalFolder& folder, IDialogs& dialogs, const IDrives& drives,
                       const QString& startFolder, QObject* parent)
    : QObject(parent), w_(widgets), folder_(folder), dialogs_(dialogs), drives_(drives)
{
    connect(&folder_, &LocalFolder::filesChanged, this, &LocalLists::showFiles);
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
    const QString target = localFolderForm(folder);
    const QString error = folderReadError(target);
    if (!error.isEmpty()) {
        folder_.reportFolderError(target, error);
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
    folder_.setPath(dirPath_);
}

void LocalLists::showFiles()
{
    w_.filList->clear();
    w_.filList->addItems(folder_.names());
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
