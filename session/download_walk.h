#pragma once
// The download walk: every file of the remote folder into the local folder, and off the
// server once it is safely there. The unattended run and the window's download button run it.
#include "ftp/transfer_control.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

class FtpSession;
class LocalFolder;

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
    // The server stopped answering, or dropped or refused the connection, and a new login
    // failed too: the walk ended there. What failed (the control's report), and how many of the
    // listed files stay on the server for the next run.
    QString serverLost;
    int leftOnServer = 0;
};

// Why a remote entry is not fetched: empty when it names a plain file of the current remote
// folder; otherwise the reason shown in the log ("pasta", "nome inválido").
QString remoteEntryProblem(const QString& entry);

class DownloadWalk {
public:
    // Session and folder must outlive the walk.
    DownloadWalk(FtpSession& session, LocalFolder& local) : session_(session), local_(local) {}

    // Fetches every file of the remote folder from position 1 on into "<name>.part" in the local
    // folder, clearing each visited entry's selection mark; then, at least a second after the
    // listing the entries came from, lists the folder once more and keeps each file whose listed
    // size, size received and size listed now agree: its ".part" gets its name (a free one when
    // the name is taken), the file system is synced, and only then it is deleted on the server.
    // A file that changed meanwhile stays on the server for the next run; its ".part" is
    // removed. Re-reads the local file list at the end; the remote folder is not listed into the
    // model again. Ends early, leaving on the server what it did not settle, when a stop is asked
    // for or the remote folder is listed anew by a click meanwhile.
    // A command that fails for want of the server is tried once more on a new connection; when
    // that fails too the walk ends there: nothing more is fetched or deleted, files fetched but
    // not yet checked against the second listing are dropped (they stay on the server), and the
    // lost server is reported once (IDialogs::alert) with the number of files left on the server.
    DownloadSummary BAIXA_TUDO();

private:
    struct Fetched {
        QString name; // as listed
        QString part; // "<local folder>/<name>.part"
    };
    // The second pass of the walk.
    void keepUnchanged(const RemoteListing& first, const QList<Fetched>& fetched, const QStringList& notFetched,
                       const QString& folder, DownloadSummary& summary);
    // Handles events until `when`; false when a stop was asked for meanwhile.
    bool waitUntil(std::chrono::steady_clock::time_point when);
    // Syncs the local folder's file system while events are handled (a sync of thousands of new
    // files takes a while).
    bool syncLocalFolder(const QString& folder);
    void log(const QString& line);
    // One command of the walk, with one more try when it failed for want of the server; false
    // when it failed (then lost_ says whether the server is taken as gone).
    bool run(const FtpCommand& command);

    QString lost_; // the report of the command that found the server gone

    FtpSession& session_;
    LocalFolder& local_;
};
