#pragma once
// Transfers between the local folder and the server's current folder: the download walk that
// fetches and removes the remote files, the upload of the selected local files, and the remote
// delete and make-folder buttons.
#include <QObject>
#include <QString>

class FtpSession;
class LocalLists;

// What one download walk did, for the unattended run's progress and exit status.
struct DownloadSummary {
    int fetched = 0;    // downloaded completely into the local folder
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

    // Fetches every entry of the remote list from position 1 on into the local folder and
    // deletes each one on the server once its download is complete; unselects each visited
    // entry and re-reads the local file list at the end. The remote list is not re-read.
    DownloadSummary BAIXA_TUDO();

    // The buttons.
    void cmdRecebe_Click();
    void cmdEnvia_Click();
    void cmdDelete_Click();
    void cmdMkDir_Click();

private:
    // Re-reads the remote folder; a failure is shown like a failed command and the caller
    // goes on.
    void refreshListing();
    void log(const QString& line);

    FtpSession& session_;
    LocalLists& local_;
};
