#pragma once
// The window's FTP session: every logged command goes through EXECUTA_COMANDO, one at a time,
// and is waited for by AGUARDA while the window keeps handling its events. Connect and
// disconnect, the remote listing, the status line and the command log live here too.
#include "core/dialogs.h"
#include "gui/remote_widgets.h"
#include "ftp/transfer_control.h"

#include <QObject>
#include <QString>
#include <functional>

class FtpSession : public QObject {
    Q_OBJECT
public:
    // Failure number shown for a failure that is not a TransferError (an unexpected exception).
    static constexpr int kInternalFailureNumber = 51;
    // Longest single sleep of the wait loop: clicks and notifications are handled at least this
    // often while a command runs.
    static constexpr int kWaitSliceMs = 20;

    // Hooks itself to the connect button, to double-clicks on the remote list and to the
    // control's state notifications. `readFolderSetting` reads "PASTAS" of ftp.ini when the
    // connect button is clicked. The widgets and the control must outlive the session.
    FtpSession(const RemoteWidgets& widgets, ITransferControl& control, IDialogs& dialogs,
               std::function<QString()> readFolderSetting, QObject* parent = nullptr);
    ~FtpSession() override;

    // Logs "Comando: <command>", runs it on the control (cancelling a command still running)
    // and waits for its end; with `refresh` the remote folder is listed again afterwards, also
    // when the server refused the command (the list then shows the folder as it really is).
    // A failure raised on the way shows "Não foi possivel efetuar operacao com : ..." and skips
    // the remaining steps. Returns whether the command itself ran to a successful end: false
    // when it raised a failure, when the server refused it, and when another command started
    // during the wait cancelled it. A failure of the refresh alone does not change the result.
    // A command the server refused also marks the run as failed (unattended exit status) and,
    // while refusals are reported, is named through IDialogs::alert with the server's report.
    // Once the window is closing nothing is sent and the result is false.
    bool EXECUTA_COMANDO(const FtpCommand& command, bool refresh);

    // Whether EXECUTA_COMANDO names each refused command through IDialogs::alert (on by
    // default). The unattended run turns it off while it connects and enters its folder, and
    // reports the outcome of those steps once.
    void setReportRefusals(bool on) { reportRefusals_ = on; }
    // The control's report of the last command that did not succeed (empty until one failed).
    const QString& lastRefusal() const { return lastRefusal_; }

    // Waits until the control is idle, handling the window's events in between and sleeping
    // in the control (never more than kWaitSliceMs at a time) instead of spinning. Once the
    // control is idle, events already queued (its last notifications) are handled too.
    void AGUARDA();

    // Re-reads the remote folder: "dir" into lstRemote (without "./"), "pwd" into
    // lblRemoteDirectory. Failures of the commands are reported by EXECUTA_COMANDO; a failure
    // of its own (reading the answer) is thrown to the caller. When a command started by a
    // click during the listing replaces the "dir", the listing stops and leaves the list and
    // the label to that command.
    void ATUALIZA_LISTA();

    // Connect/disconnect toggle, decided by the button's caption.
    void cmdConecta_Click();

    // Hands address and login to the control, lists the first folder and switches the window
    // to the connected state. Returns true when that completed and the server delivered the
    // listing; false after an empty address, a failure (both shown in a box), or a listing the
    // server refused (the window then still shows the connected state, so the user can
    // disconnect, but the caller learns the server was not reached).
    bool CONECTA();

    // Ends the FTP dialogue and switches the window back to the disconnected state.
    void DESCONECTA();

    // Double-click on the remote list: a folder entry (ending in "/") is entered and listed.
    void lstRemote_DblClick();

    // The control's state notification: status line and log.
    void itcFTP_StateChanged(int state);

    // Sends a command straight to the control: not logged, not waited for (the "Quit" sent
    // when the window closes). A command being waited for is taken as cancelled by it.
    void executeUnlogged(const FtpCommand& command);

    // Shows `status` on the status line. `fixedText`: one of the session's own short texts, shown
    // as it is; any other text (a server's report, the import's progress) is cut to the width of
    // the Status frame, with the whole text as the line's tooltip.
    void showStatus(const QString& status, bool fixedText = false);

    // The window is closing: the procedure waiting in a command gives up after it, and
    // EXECUTA_COMANDO sends nothing more.
    void requestStop() { stopRequested_ = true; }
    bool stopRequested() const { return stopRequested_; }

    // Appends one line to the log box; every log line is also traced through IDialogs.
    void appendLog(const QString& line);
    // The log as plain text, lines separated by "\n".
    QString logText() const;

    // True from a connect until the next disconnect (the connect button then offers to
    // disconnect and the transfer buttons are enabled).
    bool connected() const { return connected_; }

    // Only inside a catch block: shows the failure being handled as a failed operation with the
    // server ("Não foi possivel efetuar operacao com : <address>" and its number).
    void reportCommandFailure();

    // True when the last ATUALIZA_LISTA got both its "dir" and its "pwd" answered.
    bool lastListingSucceeded() const { return lastListingSucceeded_; }

    const RemoteWidgets& widgets() const { return w_; }
    ITransferControl& control() { return control_; }
    IDialogs& dialogs() { return dialogs_; }

    // The window's last folder command: the latest "cd" composed by the connect button, a
    // double-click on a folder entry, or the unattended run.
    FtpCommand lastFolderCommand;

private:
    void setConnected(bool connected);

    RemoteWidgets w_;
    ITransferControl& control_;
    IDialogs& dialogs_;
    std::function<QString()> readFolderSetting_;
    // Counts commands handed to the control, so a wait can tell that a command started in the
    // middle of it (from a click or a notification) replaced the one it was waiting for.
    quint64 commandSerial_ = 0;
    bool lastListingSucceeded_ = false;
    bool connected_ = false;
    bool reportRefusals_ = true;
    QString lastRefusal_;
    bool stopRequested_ = false;
};
