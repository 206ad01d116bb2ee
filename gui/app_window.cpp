#include "gui/app_window.h"

#include "gui/paint_throttle.h"
#include "core/dialogs.h"
#include "core/paths.h"
#include "core/run_lock.h"
#include "gui/local_lists.h"
#include "gui/ftp_session.h"
#include "ftp/transfer_control.h"
#include "gui/transfers.h"
#include "import/report.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <exception>

namespace {
// The import's reports: boxes through the dialogs, lines in the window's log (standard error when
// headless), progress on the status line.
class WindowImportReport final : public IImportReport {
public:
    WindowImportReport(IDialogs& dialogs, FtpSession& session) : dialogs_(dialogs), session_(session) {}
    void critical(const QString& text) override { dialogs_.message(text, Icon::Critical); }
    void log(const QString& line) override { session_.appendLog(line); }
    void warning(const QString& line) override
    {
        session_.appendLog(line);
        dialogs_.alert(line, Icon::Exclamation);
    }
    void progress(const QString& line) override
    {
        session_.showStatus(line);
        dialogs_.trace(line);
    }

private:
    IDialogs& dialogs_;
    FtpSession& session_;
};
} // namespace

AppWindow::AppWindow(ITransferControl& control, IDialogs& dialogs, IClock& clock, const QString& applicationFolder,
                     const IDrives* drives, ConnectionOpener opener)
    : control_(control)
    , dialogs_(dialogs)
    , clock_(clock)
    , folderOverride_(applicationFolder)
    , applicationFolder_(resolveApplicationFolder())
    , opener_(std::move(opener))
{
    if (!drives) {
        ownDrives_ = std::make_unique<SystemDrives>();
        drives = ownDrives_.get();
    }
    session_ = std::make_unique<FtpSession>(window_.remoteWidgets(), control_, dialogs_, [this] {
        return readFtpIni(applicationFolder_).remoteFolder;
    });
    localLists_ = std::make_unique<LocalLists>(window_.localWidgets(), dialogs_, *drives);
    transfers_ = std::make_unique<Transfers>(*session_, *localLists_);
    report_ = std::make_unique<WindowImportReport>(dialogs_, *session_);

    window_.installEventFilter(this);
    window_.txtLog->installEventFilter(this);
    new PaintThrottle(&window_); // owned by the window
    connect(window_.Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

AppWindow::~AppWindow()
{
    window_.removeEventFilter(this);
    window_.txtLog->removeEventFilter(this);
}

bool AppWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &window_ && event->type() == QEvent::Close) {
        Form_Unload();
        return false; // the window closes whatever happened
    }
    if (watched == window_.txtLog && event->type() == QEvent::FocusIn) {
        txtLog_GotFocus();
        return false;
    }
    return QObject::eventFilter(watched, event);
}

QString AppWindow::resolveApplicationFolder() const
{
    return paths::applicationFolder(folderOverride_.isEmpty() ? QCoreApplication::applicationDirPath()
                                                              : folderOverride_);
}

StartMode AppWindow::Form_Load()
{
    applicationFolder_ = resolveApplicationFolder();

    const FtpSettings settings = readFtpIni(applicationFolder_);
    sellerCode_ = settings.sellerCode;
    if (sellerCode_) { // ftp.ini is there; without it the window keeps what it shows
        window_.txtAddress->setText(settings.server);
        window_.txtUsername->setText(settings.user);
        window_.txtPassword->setText(settings.password);
        window_.lblRemoteDirectory->setText(settings.remoteFolder);
    }

    if (window_.txtAddress->text().trimmed().isEmpty())
        return StartMode::Interactive;
    return StartMode::Unattended;
}

FtpSettings AppWindow::settingsToSave(const QString& remoteFolder) const
{
    FtpSettings settings;
    settings.server = window_.txtAddress->text();
    settings.user = window_.txtUsername->text();
    settings.password = window_.txtPassword->text();
    settings.remoteFolder = remoteFolder;
    settings.sellerCode = sellerCode_;
    return settings;
}

bool AppWindow::runUnattended()
{
    RunLock lock;
    QString lockError;
    if (!lock.tryAcquire(applicationFolder_, &lockError)) {
        // Nothing is touched: not the server, not the local folder, not ftp.ini.
        dialogs_.alert(lockError);
        return false;
    }

    // A server that cannot be reached fails every command of these steps alike: it is told once
    // below, with the first step's report, instead of once per command.
    session_->setReportRefusals(false);
    const bool connected = session_->CONECTA();
    const QString firstRefusal = session_->lastRefusal();
    if (control_.LoginRefused() || control_.ServerNotTrusted()) {
        // Logging in again would only get this address blocked by the server, and a server that
        // may not be the right one gets nothing; the orders of the local folder wait for a run
        // that gets in. Nothing is fetched, booked or rewritten.
        session_->setReportRefusals(true);
        const QString text = (control_.LoginRefused()
                                  ? QStringLiteral("O servidor %1 recusou o usuário ou a senha de ftp.ini: nada foi baixado nem "
                                                   "importado. Corrija USUARIO e SENHA em ftp.ini.")
                                  : QStringLiteral("O servidor %1 não foi reconhecido como confiável: nada foi baixado nem "
                                                   "importado."))
                                 .arg(window_.txtAddress->text())
            + (firstRefusal.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(firstRefusal));
        session_->appendLog(text);
        dialogs_.alert(text);
        return false;
    }
    const QString configuredFolder = readFtpIni(applicationFolder_).remoteFolder;
    session_->lastFolderCommand = FtpCommand{QStringLiteral("cd"), {configuredFolder}};
    const bool inFolder = session_->EXECUTA_COMANDO(session_->lastFolderCommand, true);
    session_->setReportRefusals(true);

    std::optional<QString> keepFolder;
    if (connected && inFolder && session_->lastListingSucceeded()) {
        const DownloadSummary d = transfers_->BAIXA_TUDO();
        if (d.failed > 0 || d.notDeleted > 0)
            dialogs_.markFailure();
    } else {
        // Listing whatever folder the login landed in would fetch and delete the wrong files and
        // store that folder in ftp.ini: nothing is fetched, the configured folder is kept.
        keepFolder = configuredFolder;
        const QString reason = firstRefusal.isEmpty() ? session_->lastRefusal() : firstRefusal;
        const QString text = QStringLiteral("Sem conexão com %1 na pasta \"%2\": nenhum arquivo foi baixado; "
                                            "os pedidos já presentes na pasta local serão importados.")
                                 .arg(window_.txtAddress->text(), configuredFolder)
            + (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
        session_->appendLog(text);
        dialogs_.alert(text);
    }

    BOTAO_IMPORTA(keepFolder);
    // The database is closed while the lock is still held, so a run started right after this one
    // never finds the database file still open.
    importState_.query.reset();
    importState_.connection.reset();
    return !dialogs_.failureReported();
}

BatchSummary AppWindow::BOTAO_IMPORTA(const std::optional<QString>& configuredFolder)
{
    importState_.sellerCode = sellerCode_;
    const auto rewriteFtpIni = [this, &configuredFolder] {
        writeFtpIni(applicationFolder_, settingsToSave(configuredFolder.value_or(window_.lblRemoteDirectory->text())));
    };
    FileListView files;
    files.folderPath = [this] { return localLists_->path(); };
    files.count = [this] { return localLists_->fileCount(); };
    files.entry = [this](int i) { return localLists_->fileAt(i); };
    files.refresh = [this] { localLists_->refreshFiles(); };

    const BatchSummary summary =
        ::BOTAO_IMPORTA(rewriteFtpIni, importState_, applicationFolder_, files, clock_, *report_, opener_);
    if (!summary.success())
        dialogs_.markFailure();
    if (summary.sessionOpened)
        session_->appendLog(summary.summaryLine());
    if (!summary.otherFiles.isEmpty()) {
        const QString text = QStringLiteral("Atenção: arquivos que não são pedidos (.txt) ficaram na pasta local %1 e "
                                            "já não estão no servidor: %2")
                                 .arg(localLists_->path(), summary.otherFiles.join(QStringLiteral(", ")));
        session_->appendLog(text);
        dialogs_.alert(text, Icon::Exclamation);
    }
    return summary;
}

void AppWindow::Form_Unload()
{
    // A download walk waiting in a command ends with it: nothing more is fetched or deleted.
    session_->requestStop();
    try {
        if (session_->connected())
            session_->executeUnlogged(FtpCommand{QStringLiteral("Quit"), {}});
    } catch (const std::exception&) {
        dialogs_.message(QStringLiteral("Erro na aplicação FTP"), Icon::Critical);
    } catch (...) {
        dialogs_.message(QStringLiteral("Erro na aplicação FTP"), Icon::Critical);
    }
}

void AppWindow::txtLog_GotFocus()
{
    window_.txtAddress->setFocus(Qt::OtherFocusReason);
}

void AppWindow::Command1_Click()
{
    const bool serverNamed = !window_.txtAddress->text().trimmed().isEmpty();
    QString question = QStringLiteral("Gravar o endereço, o usuário, a senha e a pasta remota em ftp.ini?\n\n");
    if (serverNamed) {
        question += QStringLiteral(
            "Atenção: com o endereço do servidor gravado, toda inicialização seguinte do programa fará "
            "a importação automática, sem mostrar esta janela: baixa os pedidos do servidor, apaga-os "
            "no servidor e lança-os no banco de dados.");
    } else {
        question += QStringLiteral(
            "Sem endereço de servidor, o programa continuará abrindo esta janela ao ser iniciado.");
    }
    if (!dialogs_.confirm(question, QStringLiteral("Gravar Configurações")))
        return;

    try {
        writeFtpIni(applicationFolder_, settingsToSave(window_.lblRemoteDirectory->text()));
    } catch (const std::exception& e) {
        dialogs_.message(QString::fromStdString(e.what()), Icon::Critical);
    }
}
