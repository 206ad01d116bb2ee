#include "gui/app_window.h"

#include "core/dialogs.h"
#include "gui/local_lists.h"
#include "gui/paint_throttle.h"
#include "gui/remote_view.h"
#include "gui/transfers.h"
#include "session/ftp_session.h"
#include "session/local_folder.h"
#include "session/unattended_run.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <exception>

AppWindow::AppWindow(ITransferControl& control, IDialogs& dialogs, const QString& applicationFolder,
                     const IDrives* drives)
    : dialogs_(dialogs), applicationFolder_(applicationFolder)
{
    if (!drives) {
        ownDrives_ = std::make_unique<SystemDrives>();
        drives = ownDrives_.get();
    }
    session_ = std::make_unique<FtpSession>(control, dialogs_);
    localFolder_ = std::make_unique<LocalFolder>(dialogs_);
    // The folder a connect enters is read from ftp.ini at each connect, not kept from the start:
    // "Gravar Configurações" may have stored another one since.
    remoteView_ = std::make_unique<RemoteView>(window_.remoteWidgets(), *session_, [this] {
        return readFtpIni(applicationFolder_).remoteFolder;
    });
    localLists_ = std::make_unique<LocalLists>(window_.localWidgets(), *localFolder_, dialogs_, *drives);
    transfers_ = std::make_unique<Transfers>(window_.remoteWidgets(), *session_, *localLists_);

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

void AppWindow::Form_Load(const FtpSettings& settings)
{
    sellerCode_ = settings.sellerCode;
    if (!sellerCode_) // no ftp.ini: the window keeps what it shows
        return;
    window_.txtAddress->setText(settings.server);
    window_.txtUsername->setText(settings.user);
    window_.txtPassword->setText(settings.password);
    session_->remote().setPath(settings.remoteFolder);
}

void AppWindow::Form_Unload()
{
    // A download walk waiting in a command ends with it: nothing more is fetched or deleted.
    session_->requestStop();
    try {
        if (session_->connected())
            session_->executeUnlogged(FtpCommand{QStringLiteral("Quit"), {}});
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
        writeFtpIni(applicationFolder_, settingsToSave(*session_, session_->remote().path(), sellerCode_));
    } catch (const std::exception& e) {
        dialogs_.message(QString::fromStdString(e.what()), Icon::Critical);
    }
}
