#pragma once
// The local side of the window: the drive list, the folder list and the file list, linked the
// way a file-open box links them. The folder list's path is the local folder every download
// writes into, every upload reads from and the import batch walks; the file list shows that
// folder's files.
#include "gui/remote_widgets.h"
#include "session/local_folder.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class IDialogs;

// The machine's drives. On Linux: the root "/" and every mounted volume that holds files
// (pseudo file systems such as proc, sysfs, tmpfs or cgroup are left out).
class IDrives {
public:
    struct Drive {
        QString text;   // what the drive list shows: the root, then the volume name if any
        QString root;   // the drive's root folder ("/", "/media/pendrive", "C:\")
    };
    struct Opened {
        QString folder; // the folder the drive opens on, in folder-list form
        QString error;  // the platform's description of why the drive cannot be used; empty when it can
        bool ok() const { return error.isEmpty(); }
    };

    virtual ~IDrives() = default;
    virtual QList<Drive> drives() const = 0;
    virtual Opened open(const Drive& drive) const = 0;
};

// The drives of this machine, from the mounted volumes.
class SystemDrives : public IDrives {
public:
    QList<Drive> drives() const override;
    Opened open(const Drive& drive) const override;
};

class LocalLists : public QObject {
    Q_OBJECT
public:
    // The item data role of dirList entries holding the entry's full path (folder-list form).
    static constexpr int PathRole = 0x0100; // Qt::UserRole

    // Fills the drive list and opens the folder lists on `startFolder` (the program's working
    // folder when empty) and its drive; the file list shows `folder`, which must outlive the lists.
    LocalLists(const LocalWidgets& widgets, LocalFolder& folder, IDialogs& dialogs, const IDrives& drives,
               const QString& startFolder = QString(), QObject* parent = nullptr);

    // The folder list's path: a root keeps its one separator ("/", "C:\"), any other folder has
    // no trailing separator.
    QString path() const { return dirPath_; }

    // Opens `folder` in the folder list; the file list follows. When the folder cannot be read,
    // a message names it and the platform's reason, and both lists stay as they were (false).
    bool setPath(const QString& folder);

    // Re-reads the file list's folder. When the folder is gone, the list is emptied and a
    // message says why.
    void refreshFiles() { folder_.refresh(); }

    // The file list: its folder, its entries and their selection marks.
    LocalFolder& folder() { return folder_; }
    int fileCount() const { return folder_.count(); }
    QString fileAt(int index) const { return folder_.at(index); }
    bool fileSelected(int index) const;

    // Handlers: the user picked a drive; the folder list moved.
    void drvList_Change();
    void dirList_Change();

private:
    void fillDrives();
    int driveIndexOf(const QString& folder) const;
    void showTree(const QString& folder, const QStringList& subfolders);
    void showFiles();

    LocalWidgets w_;
    LocalFolder& folder_;
    IDialogs& dialogs_;
    const IDrives& drives_;
    QList<IDrives::Drive> driveList_;
    QHash<QString, QString> lastFolderOfDrive_; // drive root -> folder last open on it
    QString dirPath_;
};
