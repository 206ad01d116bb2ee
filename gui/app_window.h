#pragma once
// The window for interactive use: frmFTP with its remote side bound to the FTP session, its
// local lists on the local folder, and its buttons. What the session does is the same as in an
// unattended run; the window shows it and drives it.
#include "core/ftp_ini.h"
#include "gui/frmFTP.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class FtpSession;
class IDialogs;
class IDrives;
class ITransferControl;
class LocalFolder;
class LocalLists;
class RemoteView;
class Transfers;

class AppWindow : public QObject {
    Q_OBJECT
public:
    // `applicationFolder`: where ftp.ini lives, ending in one separator. `drives`: the
    // machine's drives for the local lists (null: the real ones).
    AppWindow(ITransferControl& control, IDialogs& dialogs, const QString& applicationFolder,
              const IDrives* drives = nullptr);
    ~AppWindow() override;

    // Start-up: the values of ftp.ini as read (`settings.sellerCode` unset when it was absent)
    // into the address, user and password boxes, the remote folder label and the seller code.
    // Without ftp.ini the window keeps what it shows.
    void Form_Load(const FtpSettings& settings);

    // Closing of the window: a walk under way ends after its command in flight; "Quit" goes
    // straight to the control when connected.
    void Form_Unload();

    // "Gravar Configurações": after confirmation, saves the server, login and remote folder to
    // ftp.ini, keeping the seller code read at start-up.
    void Command1_Click();

    // Focus on the log passes at once to the address box.
    void txtLog_GotFocus();

    frmFTP& window() { return window_; }
    FtpSession& session() { return *session_; }
    RemoteView& remoteView() { return *remoteView_; }
    LocalLists& localLists() { return *localLists_; }
    Transfers& transfers() { return *transfers_; }

    const QString& applicationFolder() const { return applicationFolder_; }
    // "COD_VENDEDOR" of ftp.ini as read at start-up; unset when ftp.ini was absent.
    const std::optional<QString>& sellerCode() const { return sellerCode_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    frmFTP window_;
    IDialogs& dialogs_;
    QString applicationFolder_;
    std::optional<QString> sellerCode_;

    std::unique_ptr<IDrives> ownDrives_;
    std::unique_ptr<FtpSession> session_;
    std::unique_ptr<LocalFolder> localFolder_;
    std::unique_ptr<RemoteView> remoteView_;
    std::unique_ptr<LocalLists> localLists_;
    std::unique_ptr<Transfers> transfers_;
};
