#pragma once
// The window's transfer buttons: download (the download walk), upload of the selected local
// files, and the remote delete and make-folder buttons. All of them work through the session.
#include <QObject>

class FtpSession;
class LocalLists;
struct RemoteWidgets;

class Transfers : public QObject {
    Q_OBJECT
public:
    // Hooks itself to the clicks of cmdRecebe, cmdEnvia, cmdDelete and cmdMkDir. Session and
    // lists must outlive it.
    Transfers(const RemoteWidgets& widgets, FtpSession& session, LocalLists& local, QObject* parent = nullptr);

    // The download walk over the remote folder, the same as the unattended run's.
    void cmdRecebe_Click();
    // Sends each selected local file to the remote folder, then lists both folders again.
    void cmdEnvia_Click();
    // After confirmation, removes each selected remote entry (a folder with rmdir).
    void cmdDelete_Click();
    // Asks for a name and makes that folder on the server.
    void cmdMkDir_Click();

private:
    // Re-reads the remote folder; a failure is shown like a failed command and the caller
    // goes on.
    void refreshListing();

    FtpSession& session_;
    LocalLists& local_;
};
