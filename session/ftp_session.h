#pragma once
// The FTP session: every logged command goes through EXECUTA_COMANDO, one at a time, and is
// waited for by AGUARDA while the thread keeps handling its events (the window's clicks, the
// control's notifications). Connect and disconnect, the remote listing, the status text and
// the log live here; whoever shows them (the window, or nobody in an unattended run) listens
// to the signals.
#include "core/dialogs.h"
#include "ftp/transfer_control.h"
#include "session/remote_folder.h"

#include <QObject>
#include <QString>

class FtpSession : public QObject {
    Q_OBJECT
public:
    // Failure number shown for a failure that is not the program's own (an unexpected exception).
    static constexpr int kInternalFailureNumber = 51;
    // Longest single sleep of the wait loop: clicks and notifications are handled at least this
    // often while a command runs.
    static constexpr int kWaitSliceMs = 20;

    // Listens to the control's state notifications. The control must outlive the session.
    FtpSession(ITransferControl& control, IDialogs& dialogs, QObject* parent = nullptr);
    ~FtpSession() override;

    // The server and login CONECTA hands to the control (the window's address, user and
    // password boxes); the address also names the server in failure messages.
    void setAddress(const QString& address) { address_ = address; }
    void setUserName(const QString& user) { user_ = user; }
    void setPassword(const QString& password) { password_ = password; }
    const QString& address() const { return address_; }
    const QString& userName() const { return user_; }
    const QString& password() const { return password_; }

    // Logs "Comando: <command>", runs it on the control (cancelling a command still running)
    // and waits for its end; with `refresh` the remote folder is listed again afterwards, also
    // when the server refused the command (the list then shows the folder as it really is).
    // A failure raised on the way shows "Não foi possivel efetuar operacao com : ..." and skips
    // the remaining steps. Returns whether the command itself ran to a successful end: false
    // when it raised a failure, when the server refused it, and when another command started
    // during the wait cancelled it. A failure of the refresh alone does not change the result.
    // A command the server refused also marks the run as failed (unattended exit status) and,
    // while refusals are reported, is named through IDialogs::alert with the server's report.
    // Once a stop was asked for nothing is sent and the result is false.
    bool EXECUTA_COMANDO(const FtpCommand& command, bool refresh);

    // Whether EXECUTA_COMANDO names each refused command through IDialogs::alert (on by
    // default). The unattended run turns it off while it connects and enters its folder, and
    // reports the outcome of those steps once.
    void setReportRefusals(bool on) { reportRefusals_ = on; }
    // While off, a command that failed for want of the server (ITransferControl::ServerLost) is
    // not named through IDialogs::alert even while refusals are reported: the download walk
    // tries it once more and reports a lost server once.
    void setReportLostServer(bool on) { reportLostServer_ = on; }
    // The control's report of the last command that did not succeed (empty until one failed).
    const QString& lastRefusal() const { return lastRefusal_; }
    // How many commands failed and failures were reported in this session, reported to a person
    // or not (a run's outcome counts them).
    int failures() const { return failures_; }

    // Waits until the control is idle, handling events in between and sleeping in the control
    // (never more than kWaitSliceMs at a time) instead of spinning. Once the control is idle,
    // events already queued (its last notifications) are handled too.
    void AGUARDA();

    // Re-reads the remote folder: "dir" into the remote folder's entries (without "./"), "pwd"
    // into its path. Failures of the commands are reported by EXECUTA_COMANDO; a failure of its
    // own (reading the answer) is thrown to the caller. When a command started by a click during
    // the listing replaces the "dir", the listing stops and leaves the folder to that command.
    void ATUALIZA_LISTA();

    // Hands address and login to the control, lists the first folder and switches to the
    // connected state. Returns true when that completed and the server delivered the listing;
    // false after an empty address, a failure (both shown in a box), or a listing the server
    // refused (the session is then still connected, so the user can disconnect, but the caller
    // learns the server was not reached).
    bool CONECTA();

    // Ends the FTP dialogue and switches back to the disconnected state.
    void DESCONECTA();

    // The control's state notification: status text and log.
    void itcFTP_StateChanged(FtpState state);

    // Sends a command straight to the control: not logged, not waited for (the "Quit" sent
    // when the window closes). A command being waited for is taken as cancelled by it.
    void executeUnlogged(const FtpCommand& command);

    // Shows `status` as the status text. `fixedText`: one of the session's own short texts;
    // any other text (a server's report, the import's progress) may be longer than the line
    // that shows it.
    void showStatus(const QString& status, bool fixedText = false);

    // The run is ending (the window closes): the procedure waiting in a command gives up after
    // it, and EXECUTA_COMANDO sends nothing more.
    void requestStop() { stopRequested_ = true; }
    bool stopRequested() const { return stopRequested_; }

    // Handles the events waiting (clicks, notifications) and returns; for long work between
    // commands.
    void handleEvents();

    // Appends one line to the log; every log line is also traced through IDialogs.
    void appendLog(const QString& line);

    // True from a connect until the next disconnect.
    bool connected() const { return connected_; }

    // Only inside a catch block: shows the failure being handled as a failed operation with the
    // server ("Não foi possivel efetuar operacao com : <address>" and its number).
    void reportCommandFailure();

    // True when the last ATUALIZA_LISTA got both its "dir" and its "pwd" answered.
    bool lastListingSucceeded() const { return lastListingSucceeded_; }

    RemoteFolder& remote() { return remote_; }
    const RemoteFolder& remote() const { return remote_; }
    ITransferControl& control() { return control_; }
    IDialogs& dialogs() { return dialogs_; }

    // The last folder command: the latest "cd" composed by the connect button, a double-click
    // on a folder entry, or the unattended run.
    FtpCommand lastFolderCommand;

signals:
    void logLine(const QString& line);
    void statusChanged(const QString& status, bool fixedText);
    // After every state notification, whatever its number (the window brings its newest log
    // line into view).
    void notified();
    void connectedChanged(bool connected);
    // CONECTA found no address to connect to (the window puts the focus on its address box).
    void addressMissing();

private:
    void setConnected(bool connected);

    ITransferControl& control_;
    IDialogs& dialogs_;
    RemoteFolder remote_;
    QString address_, user_, password_;
    // Counts commands handed to the control, so a wait can tell that a command started in the
    // middle of it (from a click or a notification) replaced the one it was waiting for.
    quint64 commandSerial_ = 0;
    bool lastListingSucceeded_ = false;
    bool connected_ = false;
    bool reportRefusals_ = true;
    int failures_ = 0;
    bool reportLostServer_ = true;
    QString lastRefusal_;
    bool stopRequested_ = false;
};
