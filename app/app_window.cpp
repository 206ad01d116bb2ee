#include "app/app_window.h"

#include "app/dialogs.h"
#include "app/ftp_ini.h"
#include "app/ini.h"
#include "app/paths.h"
#include "ftp/transfer_control.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>
#include <exception>

AppWindow::AppWindow(ITransferControl& control, IDialogs& dialogs, IClock& clock, const QString& applicationFolder)
    : control_(control)
    , dialogs_(dialogs)
    , clock_(clock)
    , folderOverride_(applicationFolder)
    , applicationFolder_(resolveApplicationFolder())
{
    window_.installEventFilter(this);
    window_.txtLog->installEventFilter(this);
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

    const QString file = ftpIniPath(applicationFolder_);
    const QFileInfo info(file);
    if (info.exists() && info.isFile()) {
        const QString geral = QStringLiteral("Geral");
        window_.txtAddress->setText(LE_INI(geral, QStringLiteral("FTP"), file));
        window_.txtUsername->setText(LE_INI(geral, QStringLiteral("USUARIO"), file));
        window_.txtPassword->setText(LE_INI(geral, QStringLiteral("SENHA"), file));
        window_.lblRemoteDirectory->setText(LE_INI(geral, QStringLiteral("PASTAS"), file));
        sellerCode_ = LE_INI(geral, QStringLiteral("COD_VENDEDOR"), file);
    } else {
        sellerCode_.reset();
    }

    if (window_.txtAddress->text().trimmed().isEmpty())
        return StartMode::Interactive;
    return StartMode::Unattended;
}

bool AppWindow::runUnattended()
{
    // The FTP session and the import are not part of this build yet: say so instead of
    // pretending that orders were fetched.
    std::fputs(QStringLiteral("pedidosftp: ftp.ini informa um servidor, mas a execução automática (baixar "
                              "os pedidos por FTP e importá-los) ainda não está disponível nesta versão: "
                              "nada foi baixado nem importado.\n")
                   .toUtf8()
                   .constData(),
               stderr);
    std::fflush(stderr);
    dialogs_.markFailure();
    return false;
}

void AppWindow::Form_Unload()
{
    try {
        if (window_.cmdEnvia->isEnabled())
            control_.Execute(FtpCommand{QStringLiteral("Quit"), {}});
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

    FtpSettings settings;
    settings.ftp = window_.txtAddress->text();
    settings.usuario = window_.txtUsername->text();
    settings.senha = window_.txtPassword->text();
    settings.pastas = window_.lblRemoteDirectory->text();
    settings.codVendedor = sellerCode_;
    try {
        writeFtpIni(applicationFolder_, settings);
    } catch (const std::exception& e) {
        dialogs_.message(QString::fromStdString(e.what()), Icon::Critical);
    }
}
