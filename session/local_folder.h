#pragma once
// The local folder: where every download is written, every upload read from, and the import
// batch finds its order files. Its file list is read from the disk when asked (never kept
// in step by itself), in the order a file manager shows it.
#include "import/batch.h"

#include <QObject>
#include <QString>
#include <QStringList>

class IDialogs;

// Empty when `folder` can be listed, otherwise the platform's description of the failure
// ("No such file or directory", "Permission denied").
QString folderReadError(const QString& folder);

// The absolute, clean folder-list form of a folder a user or a caller names; a Windows path
// ("C:\PEDIDOS") is kept as written.
QString localFolderForm(const QString& folder);

// Name order as a file manager shows it: ignoring case, and by exact text between names that
// differ only in case, so the order never depends on the disk.
void sortNames(QStringList& names);

class LocalFolder : public QObject {
    Q_OBJECT
public:
    explicit LocalFolder(IDialogs& dialogs, QObject* parent = nullptr) : QObject(parent), dialogs_(dialogs) {}

    // The folder, in folder-list form: a root keeps its one separator ("/", "C:\"), any other
    // folder has no trailing separator.
    const QString& path() const { return path_; }
    // Takes `folder` (folder-list form) and reads its files.
    void setPath(const QString& folder);

    // Reads the folder's files again: every plain file, hidden ones too. A folder that cannot be
    // read lists nothing (names of it are joined to its path by the callers) and a message says
    // why.
    void refresh();

    int count() const { return int(names_.size()); }
    QString at(int index) const { return names_.value(index); }
    const QStringList& names() const { return names_; }

    // The file list as the import batch walks it.
    FileListView batchView();

    // The message naming a folder that cannot be read and the platform's reason.
    void reportFolderError(const QString& folder, const QString& reason);
    // How many such messages were shown (a run's outcome counts them).
    int failures() const { return failures_; }

signals:
    void filesChanged();

private:
    IDialogs& dialogs_;
    QString path_;
    QStringList names_;
    int failures_ = 0;
};
