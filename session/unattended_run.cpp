#include "session/unattended_run.h"

#include "core/clock.h"
#include "core/dialogs.h"
#include "core/failure.h"
#include "core/run_lock.h"
#include "import/report.h"
#include "session/download_walk.h"
#include "session/ftp_session.h"
#include "session/local_folder.h"

namespace {
// The import's reports: boxes through the dialogs, lines in the session's log, progress as the
// status text (and a line of the log's stream).
class SessionImportReport final : public IImportReport {
public:
    explicit SessionImportReport(FtpSession& session) : session_(session) {}
    void critical(const QString& text) override { session_.dialogs().message(text, Icon::Critical); }
    void log(const QString& line) override { session_.appendLog(line); }
    void warning(const QString& line) override
    {
        session_.appendLog(line);
        session_.dialogs().alert(line, Icon::Exclamation);
    }
    void progress(const QString& line) override
    {
        session_.showStatus(line);
        session_.dialogs().trace(line);
    }

private:
    FtpSession& session_;
};
} // namespace

StartMode startModeOf(const FtpSettings& settings)
{
    return settings.server.trimmed().isEmpty() ? StartMode::Interactive : StartMode::Unattended;
}

void loadIntoSession(FtpSession& session, const FtpSettings& settings)
{
    session.setAddress(settings.server);
    session.setUserName(settings.user);
    session.setPassword(settings.password);
    session.remote().setPath(settings.remoteFolder);
}

FtpSettings settingsToSave(const FtpSession& session, const QString& remoteFolder,
                           const std::optional<QString>& sellerCode)
{
    FtpSettings settings;
    settings.server = session.address();
    settings.user = session.userName();
    settings.password = session.password();
    settings.remoteFolder = remoteFolder;
    settings.sellerCode = sellerCode;
    return settings;
}

UnattendedRun::UnattendedRun(FtpSession& session, LocalFolder& local, IClock& clock, const QString& applicationFolder,
                             const FtpSettings& settings, ConnectionOpener opener)
    : session_(session)
    , local_(local)
    , clock_(clock)
    , applicationFolder_(applicationFolder)
    , configuredFolder_(settings.remoteFolder)
    , sellerCode_(settings.sellerCode)
    , opener_(std::move(opener))
{
}

UnattendedRun::~UnattendedRun() = default;

RunOutcome UnattendedRun::run()
{
    IDialogs& dialogs = session_.dialogs();
    ITransferControl& control = session_.control();
    RunOutcome outcome;
    RunLock lock;
    try {
        lock.acquire(applicationFolder_);
    } catch (const Failure& e) {
        // Nothing is touched: not the server, not the local folder, not ftp.ini.
        dialogs.alert(e.message());
        outcome.failed = true;
        return outcome;
    }

    // A server that cannot be reached fails every command of these steps alike: it is told once
    // below, with the first step's report, instead of once per command.
    session_.setReportRefusals(false);
    const bool connected = session_.CONECTA();
    const QString firstRefusal = session_.lastRefusal();
    bool noConnection = !connected && control.ServerLost();
    if (control.LoginRefused() || control.ServerNotTrusted()) {
        // Logging in again would only get this address blocked by the server, and a server that
        // may not be the right one gets nothing; the orders of the local folder wait for a run
        // that gets in. Nothing is fetched, booked or rewritten.
        session_.setReportRefusals(true);
        const QString text = (control.LoginRefused()
                                  ? QStringLiteral("O servidor %1 recusou o usuário ou a senha de ftp.ini: nada foi baixado nem "
                                                   "importado. Corrija USUARIO e SENHA em ftp.ini.")
                                  : QStringLiteral("O servidor %1 não foi reconhecido como confiável: nada foi baixado nem "
                                                   "importado."))
                                 .arg(session_.address())
            + (firstRefusal.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(firstRefusal));
        session_.appendLog(text);
        dialogs.alert(text);
        outcome.failed = true;
        return outcome;
    }
    const QString& configuredFolder = configuredFolder_;
    session_.lastFolderCommand = FtpCommand{QStringLiteral("cd"), {configuredFolder}};
    const bool inFolder = session_.EXECUTA_COMANDO(session_.lastFolderCommand, true);
    noConnection = noConnection || (!inFolder && control.ServerLost());
    session_.setReportRefusals(true);

    std::optional<QString> keepFolder;
    if (connected && inFolder && session_.lastListingSucceeded()) {
        const DownloadSummary d = DownloadWalk(session_, local_).BAIXA_TUDO();
        outcome.failed = d.failed > 0 || d.notDeleted > 0 || !d.serverLost.isEmpty();
    } else {
        // Listing whatever folder the login landed in would fetch and delete the wrong files and
        // store that folder in ftp.ini: nothing is fetched, the configured folder is kept.
        keepFolder = configuredFolder;
        const QString reason = firstRefusal.isEmpty() ? session_.lastRefusal() : firstRefusal;
        // "Sem conexão" only when the server could not be reached; a server that answered but
        // refused the folder or its listing is told as such.
        const QString text = (noConnection ? QStringLiteral("Sem conexão com %1 na pasta \"%2\": nenhum arquivo foi baixado; "
                                                            "os pedidos já presentes na pasta local serão importados.")
                                           : QStringLiteral("O servidor %1 não abriu ou não listou a pasta \"%2\": nenhum "
                                                            "arquivo foi baixado; os pedidos já presentes na pasta local "
                                                            "serão importados."))
                                 .arg(session_.address(), configuredFolder)
            + (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
        session_.appendLog(text);
        dialogs.alert(text);
        outcome.failed = true;
    }

    const BatchSummary batch = BOTAO_IMPORTA(keepFolder);
    outcome.booked = batch.booked + batch.bookedWithMissing;
    // A command or a folder that failed outside the steps above was reported where it failed.
    outcome.failed = outcome.failed || !batch.success() || session_.failures() > 0 || local_.failures() > 0;
    // The database is closed while the lock is still held, so a run started right after this one
    // never finds the database file still open.
    importState_.query.reset();
    importState_.connection.reset();
    return outcome;
}

BatchSummary UnattendedRun::BOTAO_IMPORTA(const std::optional<QString>& configuredFolder)
{
    IDialogs& dialogs = session_.dialogs();
    importState_.sellerCode = sellerCode_;
    const auto rewriteFtpIni = [this, &configuredFolder] {
        writeFtpIni(applicationFolder_,
                    settingsToSave(session_, configuredFolder.value_or(session_.remote().path()), sellerCode_));
    };
    SessionImportReport report(session_);
    const BatchSummary summary =
        ::BOTAO_IMPORTA(rewriteFtpIni, importState_, applicationFolder_, local_.batchView(), clock_, report, opener_);
    if (summary.sessionOpened)
        session_.appendLog(summary.summaryLine());
    if (!summary.otherFiles.isEmpty()) {
        const QString text = QStringLiteral("Atenção: arquivos que não são pedidos (.txt) ficaram na pasta local %1 e "
                                            "já não estão no servidor: %2")
                                 .arg(local_.path(), summary.otherFiles.join(QStringLiteral(", ")));
        session_.appendLog(text);
        dialogs.alert(text, Icon::Exclamation);
    }
    return summary;
}

RunOutcome runUnattended(ITransferControl& control, IDialogs& dialogs, IClock& clock, const QString& applicationFolder,
                         const FtpSettings& settings, const QString& localFolder, ConnectionOpener opener)
{
    FtpSession session(control, dialogs);
    loadIntoSession(session, settings);
    LocalFolder local(dialogs);
    local.setPath(localFolderForm(localFolder));
    UnattendedRun run(session, local, clock, applicationFolder, settings, std::move(opener));
    return run.run();
}
