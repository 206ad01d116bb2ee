#pragma once
// Transfers between the local folder and the server's current folder: the download walk that
// fetches and removes the remote files, the upload of the selected local files, and the remote
// delete and make-folder buttons.
#include "ftp/transfer_control.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class FtpSession;
class LocalLists;

// What one download walk did, for the unattended run's progress and exit status.
struct DownloadSummary {
    int fetched = 0;    // downloaded completely into the local folder
    int received = 0;   // the same bytes were in the local folder or the archive already: not
                        // kept twice, deleted on the server
    int changed = 0;    // changed on the server during the walk (still being written): left
                        // there for the next run; not a failure
    int failed = 0;     // not downloaded: left on the server
    int skipped = 0;    // folders and names that cannot be a file of the local folder
    int notDeleted = 0; // downloaded, but the server refused to delete them
};

// Why a remote list entry is not fetched: empty when it names a plain file of the current
// remote folder; otherwise the reason shown in the log ("pasta", "nome inválido").
QString remoteEntryProblem(const QString& entry);

class Transfers : public QObject {
    Q_OBJECT
public:
    // Hooks itself to the clicks of cmdRecebe, cmdEnvia, cmdDelete and cmdMkDir of the
    // session's widgets. Session and lists must outlive it.
    Transfers(FtpSession& session, LocalLists& local, QObject* parent = nullptr);

    // Fetches every file of the remote list from position 1 on into "<name>.part" in the local
    // folder, unselecting each visited entry; then, at least a second after the listing the list
    // came from, lists the folder once more and keeps each file whose listed size, size
    // received and size listed now agree: its ".part" gets its name (a free one when the name is
    // taken) and only then it is deleted on the server. A file that changed meanwhile stays on
    // the server for the next run; its ".part" is removed. Re-reads the local file list at the
    // end; the remote list is not re-read. Ends early, leaving on the server what it did not
    // settle, when the window is closed.
    DownloadSummary BAIXA_TUDO();

    // The buttons.
    void cmdRecebe_Click();
    void cmdEnvia_Click();
    void cmdDelete_Click();
    void cmdMkDir_Click();

private:
    struct Fetched {
        QString name; // as listed
        QString part; // "<local folder>/<name>.part"
    };
    // The second pass of the walk.
    void keepUnchanged(const RemoteListing& first, const QList<Fetched>& fetched, const QStringList& notFetched,
                       const QString& folder, DownloadSummary& summary);
    // Handles the window's events until `when`; false when the window was closed meanwhile.
    bool waitUntil(std::chrono::steady_clock::time_point when);
    // Re-reads the remote folder; a failure is shown like a failed command and the caller
    // goes on.
    void refreshListing();
    void log(const QString& line);

    FtpSession& session_;
    LocalLists& local_;
};
