#include "gui/ftp_session.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

namespace {
const QString kConnectedCaption = QStringLiteral("D&esconectar do Host Remoto");
const QString kDisconnectedCaption = QStringLiteral("&Conectar ao Host Remoto");
constexpr int kChunkSize = 1024;

// The number and the description of a caught failure.
struct Failure {
    int number;
    QString description;
};

// Only inside a catch block: the failure being handled.
Failure currentFailure()
{
    try {
        throw;
    } catch (const TransferError& e) {
        return {e.number(), e.description()};
    } catch (const std::exception& e) {
        return {FtpSession::kInternalFailureNumber, QString::fromUtf8(e.what())};
    } catch (...) {
        return {FtpSession::kInternalFailureNumber, QStringLiteral("Falha inesperada")};
    }
}

QString failureText(const QString& lead, const QString& address, int number)
{
    return lead + address + QStringLiteral("\r\n") + QStringLiteral(" erro : ") + QString::number(number);
}
} // namespace

FtpSession::FtpSession(const RemoteWidgets& widgets, ITransferControl& control, IDialogs& dialogs,
                       std::function<QString()> readFolderSetting, QObject* parent)
    : QObject(parent)
    , w_(widgets)
    , control_(control)
    , dialogs_(dialogs)
    , readFolderSetting_(std::move(readFolderSetting))
{
    connect(w_.cmdConecta, &QPushButton::clicked, this, [this] { cmdConecta_Click(); });
    connect(w_.lstRemote, &QListWidget::itemDoubleClicked, this, [this] { lstRemote_DblClick(); });
    control_.setStateListener([this](int state) { itcFTP_StateChanged(state); });
}

FtpSession::~FtpSession()
{
    control_.setStateListener({});
}

bool FtpSession::EXECUTA_COMANDO(const FtpCommand& command, bool refresh)
{
    bool succeeded = false;
    if (stopRequested_)
        return false;
    try {
        if (control_.StillExecuting())
            control_.Cancel();
        appendLog(QStringLiteral("Comando: ") + command.text());
        const quint64 serial = ++commandSerial_;
        control_.Execute(command);
        AGUARDA();
        // A command started during the wait cancelled this one; the control's outcome is then
        // that other command's.
        const bool replaced = serial != commandSerial_;
        succeeded = !replaced && control_.LastSucceeded();
        if (!replaced && !succeeded) {
            lastRefusal_ = control_.ResponseInfo();
            if (reportRefusals_)
                dialogs_.alert(QStringLiteral("Comando \"%1\" sem sucesso: %2").arg(command.text(), lastRefusal_));
            else
                dialogs_.markFailure();
        }
        if (refresh) {
            ATUALIZA_LISTA();
            AGUARDA();
        }
    } catch (...) {
        reportCommandFailure();
    }
    return succeeded;
}

void FtpSession::AGUARDA()
{
    while (control_.StillExecuting()) {
        QCoreApplication::processEvents();
        control_.waitForProgress(kWaitSliceMs);
    }
    // The notifications of the command's end may still be queued: show them (the completion or
    // the server's refusal) before the caller goes on, so the log keeps the order of events
    // and a refusal is read before the next command replaces it.
    QCoreApplication::processEvents();
}

void FtpSession::ATUALIZA_LISTA()
{
    lastListingSucceeded_ = false;
    w_.lstRemote->clear();

    const quint64 dirSerial = commandSerial_ + 1;
    const bool dirOk = EXECUTA_COMANDO(FtpCommand{QStringLiteral("dir"), {}}, false);
    // A command started by a click during the "dir" or while its answer is read owns the
    // control's answer and the display from then on: mixing its answer into this listing
    // would list foreign or stale lines.
    const auto replaced = [&] { return commandSerial_ != dirSerial; };
    if (replaced())
        return;
    QString answer;
    for (;;) {
        const QString piece = control_.GetChunk(kChunkSize);
        if (piece.isEmpty())
            break;
        answer += piece;
        QCoreApplication::processEvents();
        if (replaced())
            return;
    }

    // One entry per line; a line ends at CR and the character after the CR (its LF) is skipped.
    // Text after the last CR is an unfinished line and is not listed.
    const QString self = QStringLiteral("./");
    qsizetype start = 0;
    for (;;) {
        const qsizetype cr = answer.indexOf(QLatin1Char('\r'), start);
        if (cr < 0)
            break;
        const QString line = answer.mid(start, cr - start);
        if (!line.isEmpty() && line != self)
            w_.lstRemote->addItem(line);
        start = cr + 2;
    }

    const bool pwdOk = EXECUTA_COMANDO(FtpCommand{QStringLiteral("pwd"), {}}, false);
    w_.lblRemoteDirectory->setText(control_.GetChunk(kChunkSize));
    w_.lblRemoteDirectory->adjustSize();
    lastListingSucceeded_ = dirOk && pwdOk;
}

void FtpSession::cmdConecta_Click()
{
    if (connected()) {
        DESCONECTA();
        return;
    }
    CONECTA();
    // The configured folder is entered whatever the connect achieved.
    lastFolderCommand = FtpCommand{QStringLiteral("cd"), {readFolderSetting_ ? readFolderSetting_() : QString()}};
    EXECUTA_COMANDO(lastFolderCommand, true);
}

bool FtpSession::CONECTA()
{
    if (w_.txtAddress->text().isEmpty()) {
        dialogs_.message(QStringLiteral("Informe o nome do servidor FTP."), Icon::Critical);
        w_.txtAddress->setFocus();
        return false;
    }
    try {
        control_.setAddress(w_.txtAddress->text());
        control_.setUserName(w_.txtUsername->text());
        control_.setPassword(w_.txtPassword->text());
        ATUALIZA_LISTA();
        setConnected(true);
        return lastListingSucceeded_;
    } catch (...) {
        dialogs_.message(currentFailure().description, Icon::Exclamation, QStringLiteral("FTP"));
        return false;
    }
}

void FtpSession::DESCONECTA()
{
    try {
        const FtpCommand quit{QStringLiteral("quit"), {}};
        executeUnlogged(quit);
        EXECUTA_COMANDO(quit, false);
        setConnected(false);
    } catch (...) {
        dialogs_.message(failureText(QStringLiteral("Erro ao efetuar a operacao com : "), w_.txtAddress->text(),
                                     currentFailure().number),
                         Icon::None);
    }
}

void FtpSession::lstRemote_DblClick()
{
    const QListWidgetItem* item = w_.lstRemote->currentItem();
    if (!item)
        return;
    const QString entry = item->text();
    if (!entry.endsWith(QLatin1Char('/')))
        return;
    lastFolderCommand = FtpCommand{QStringLiteral("cd"), {entry.chopped(1)}};
    EXECUTA_COMANDO(lastFolderCommand, true);
}

void FtpSession::itcFTP_StateChanged(int state)
{
    QString status;
    switch (state) {
    case ftpstate::Resolving: status = QStringLiteral("Resolvendo Host"); break;
    case ftpstate::Resolved: status = QStringLiteral("Host Resolvido"); break;
    case ftpstate::Connecting: status = QStringLiteral("Conectando ..."); break;
    case ftpstate::Connected: status = QStringLiteral("Conectado"); break;
    case ftpstate::Requesting: status = QStringLiteral("Requesitando ..."); break;
    case ftpstate::RequestSent: status = QStringLiteral("Requesição enviada"); break;
    case ftpstate::Receiving: status = QStringLiteral("Recebendo ..."); break;
    case ftpstate::ResponseReceived: status = QStringLiteral("Resposta recebida"); break;
    case ftpstate::Disconnecting: status = QStringLiteral("Desconectando ..."); break;
    case ftpstate::Disconnected: status = QStringLiteral("Desconectado"); break;
    case ftpstate::Error:
        status = control_.ResponseInfo();
        appendLog(status);
        break;
    case ftpstate::ResponseCompleted:
        status = QStringLiteral("operacao Completa");
        appendLog(status);
        break;
    default: break;
    }
    if (state >= ftpstate::Resolving && state <= ftpstate::ResponseCompleted)
        showStatus(status, state != ftpstate::Error);
    // The newest line in view, wherever the user left the caret or the scroll bar. Both calls
    // lay out only the lines around the end, however long the log is.
    QTextCursor caret = w_.txtLog->textCursor();
    if (!caret.atEnd() || caret.hasSelection()) {
        caret.movePosition(QTextCursor::End);
        w_.txtLog->setTextCursor(caret); // scrolls it into view
    } else {
        w_.txtLog->ensureCursorVisible();
    }
}

void FtpSession::showStatus(const QString& status, bool fixedText)
{
    QLabel* label = w_.lblStatus;
    if (fixedText) {
        // The fixed texts fit the line: shown as they are, never measured.
        label->setText(status);
        if (!label->toolTip().isEmpty())
            label->setToolTip(QString());
        return;
    }
    // A report of any length stays inside the frame, cut with "…"; the whole text is the tooltip
    // (and a line of the log).
    const QString oneLine = QString(status).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    label->setText(label->fontMetrics().elidedText(oneLine, Qt::ElideRight, label->contentsRect().width()));
    label->setToolTip(status);
}

void FtpSession::executeUnlogged(const FtpCommand& command)
{
    ++commandSerial_;
    control_.Execute(command);
}

void FtpSession::appendLog(const QString& line)
{
    w_.txtLog->appendPlainText(line);
    dialogs_.trace(line);
}

QString FtpSession::logText() const
{
    return w_.txtLog->toPlainText();
}

void FtpSession::reportCommandFailure()
{
    dialogs_.message(failureText(QStringLiteral("Não foi possivel efetuar operacao com : "), w_.txtAddress->text(),
                                 currentFailure().number),
                     Icon::None);
}

void FtpSession::setConnected(bool connected)
{
    connected_ = connected;
    for (QWidget* c : {static_cast<QWidget*>(w_.cmdEnvia), static_cast<QWidget*>(w_.cmdRecebe),
                       static_cast<QWidget*>(w_.cmdMkDir), static_cast<QWidget*>(w_.cmdDelete),
                       static_cast<QWidget*>(w_.lstRemote)})
        c->setEnabled(connected);
    w_.cmdConecta->setText(connected ? kConnectedCaption : kDisconnectedCaption);
}
