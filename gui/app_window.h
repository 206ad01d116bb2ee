#pragma once
// The window together with the services it works with: the transfer control, the dialogs and
// the clock. It holds what the start-up sequence reads from ftp.ini and decides whether the
// program runs unattended or shows its window.
#include "core/ftp_ini.h"
#include "gui/frmFTP.h"
#include "import/batch.h"
#include "import/import_state.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class FtpSession;
class IClock;
class IDialogs;
class IDrives;
class IImportReport;
class ITransferControl;
class LocalLists;
class Transfers;

enum class StartMode {
    Interactive, // no server named in ftp.ini: the window is shown
    Unattended,  // a server is named: fetch, delete on the server, book, end
};

class AppWindow : public QObject {
    Q_OBJECT
public:
    // `applicationFolder`: where ftp.ini is looked up; empty means the executable's folder
    // (tests pass a temporary folder).
    // `drives`: the machine's drives for the local lists (null: the real ones). `opener` opens the
    // ERP database (tests may count or fail the opens).
    AppWindow(ITransferControl& control, IDialogs& dialogs, IClock& clock,
              const QString& applicationFolder = QString(), const IDrives* drives = nullptr,
              ConnectionOpener opener = openConnection);
    ~AppWindow() override;

    // Start-up: works out the application folder, reads ftp.ini into the address, user and
    // password boxes, the remote folder label and the seller code, and decides the mode.
    StartMode Form_Load();

    // The unattended run: connect, change to the configured folder, fetch and delete the
    // files, import them. One run at a time (a lock file in the application folder). A login
    // the server refuses ends it at once, touching nothing. Returns true when no failure was
    // reported.
    bool runUnattended();

    // The import batch over the local folder (also the second half of the unattended run).
    // `configuredFolder`, when given, is written to ftp.ini as "PASTAS" instead of the remote
    // folder label (the label does not show the configured folder when the "cd" failed).
    BatchSummary BOTAO_IMPORTA(const std::optional<QString>& configuredFolder = std::nullopt);

    // Closing of the window: sends "Quit" straight to the control when connected.
    void Form_Unload();

    // "Gravar Configurações": after confirmation, saves the server, login and remote folder to
    // ftp.ini, keeping the seller code read at start-up.
    void Command1_Click();

    // Focus on the log passes at once to the address box.
    void txtLog_GotFocus();

    frmFTP& window() { return window_; }
    const frmFTP& window() const { return window_; }
    FtpSession& session() { return *session_; }
    LocalLists& localLists() { return *localLists_; }
    Transfers& transfers() { return *transfers_; }

    // The folder ftp.ini lives in, ending in one separator.
    QString applicationFolder() const { return applicationFolder_; }
    // "COD_VENDEDOR" of ftp.ini as read at start-up; unset when ftp.ini was absent.
    const std::optional<QString>& sellerCode() const { return sellerCode_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString resolveApplicationFolder() const;
    // The values ftp.ini is written from: the window's boxes, `remoteFolder`, and the seller code
    // read at start-up.
    FtpSettings settingsToSave(const QString& remoteFolder) const;

    frmFTP window_;
    ITransferControl& control_;
    IDialogs& dialogs_;
    IClock& clock_;
    QString folderOverride_;
    QString applicationFolder_;
    std::optional<QString> sellerCode_;

    std::unique_ptr<IDrives> ownDrives_;
    std::unique_ptr<FtpSession> session_;
    std::unique_ptr<LocalLists> localLists_;
    std::unique_ptr<Transfers> transfers_;
    std::unique_ptr<IImportReport> report_;
    ConnectionOpener opener_;
    ImportState importState_;
};
