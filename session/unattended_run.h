#pragma once
// The start-up decision and the unattended run: with a server named in ftp.ini the program
// connects, enters the configured folder, fetches the files and deletes them on the server,
// rewrites ftp.ini, books every order of the local folder and ends with its exit status.
#include "core/ftp_ini.h"
#include "import/batch.h"
#include "import/import_state.h"

#include <QString>
#include <optional>

class FtpSession;
class IClock;
class IDialogs;
class ITransferControl;
class LocalFolder;

enum class StartMode {
    Interactive, // no server named in ftp.ini: the window is shown
    Unattended,  // a server is named: fetch, delete on the server, book, end
};

// A server named (the address, blanks removed, is not empty) makes the start unattended.
StartMode startModeOf(const FtpSettings& settings);

// Puts the values read from ftp.ini into the session: address, user, password, and the
// configured folder as the remote folder's path until the first listing.
void loadIntoSession(FtpSession& session, const FtpSettings& settings);

// What ftp.ini is rewritten with: the session's address and login, `remoteFolder`, and the
// seller code read at start-up.
FtpSettings settingsToSave(const FtpSession& session, const QString& remoteFolder,
                           const std::optional<QString>& sellerCode);

// What an unattended run did: the orders it booked, and whether anything failed that a person
// has to look at (it was reported where it failed). The exit status follows from it.
struct RunOutcome {
    int booked = 0;       // orders booked, whole or without some products
    bool failed = false;
    int exitStatus() const { return failed ? 1 : 0; }
};

class UnattendedRun {
public:
    // Session and folder must outlive the run. `settings`: ftp.ini as read at start-up (its
    // folder "PASTAS" and seller code "COD_VENDEDOR"). `opener` opens the ERP database (tests may
    // count or fail the opens).
    UnattendedRun(FtpSession& session, LocalFolder& local, IClock& clock, const QString& applicationFolder,
                  const FtpSettings& settings, ConnectionOpener opener = openConnection);
    ~UnattendedRun();

    // The whole run: one at a time (a lock file in the application folder), connect, change to
    // the configured folder, fetch and delete the files, import them. A login the server
    // refuses, or a server not trusted, ends it at once, touching nothing.
    RunOutcome run();

    // The import batch over the local folder (the second half of the run). `configuredFolder`,
    // when given, is written to ftp.ini as "PASTAS" instead of the remote folder's path (which
    // is not the configured folder when the "cd" failed).
    BatchSummary BOTAO_IMPORTA(const std::optional<QString>& configuredFolder = std::nullopt);

private:
    FtpSession& session_;
    LocalFolder& local_;
    IClock& clock_;
    QString applicationFolder_;
    QString configuredFolder_;
    std::optional<QString> sellerCode_;
    ConnectionOpener opener_;
    ImportState importState_;
};

// A scheduled start from beginning to end, with nothing shown but the dialogs: the session and
// the local folder (`localFolder`, the process's working folder) made here, and the run.
RunOutcome runUnattended(ITransferControl& control, IDialogs& dialogs, IClock& clock, const QString& applicationFolder,
                         const FtpSettings& settings, const QString& localFolder,
                         ConnectionOpener opener = openConnection);
