#include "session/ftp_session.h"

#include <QCoreApplication>

namespace {
constexpr int kChunkSize = 1024;

// Only inside a catch block: the failure being handled.
Failure currentFailure()
{
    return Failure::current(Failure::About::Server, FtpSession::kInternalFailureNumber);
}

QString failureText(const QString& lead, const QString& address, int number)
{
    return lead + address + QStringLiteral("\r\n") + QStringLiteral(" erro : ") + QString::number(number);
}

// The lines of a "dir" answer: a line ends at CR and the character after the CR (its LF) is
// skipped; text after the last CR is an unfinished line. Empty lines and "./" are not entries.
QStringList entriesOf(const QString& answer)
{
    const QString self = QStringLiteral("./");
    QStringList entries;
    qsizetype start = 0;
    for (;;) {
        const qsizetype cr = answer.indexOf(QLatin1Char('\r'), start);
        if (cr < 0)
            break;
        const QString line = answer.mid(start, cr - start);
        if (!line.isEmpty() && line != self)
            entries << line;
        start = cr + 2;
    }
    return entries;
}
} // namespace

FtpSession::FtpSession(ITransferControl& control, IDialogs& dialogs, QObject* parent)
    : QObject(parent), control_(control), dialogs_(dialogs)
{
    control_.setStateListener([this](FtpState state) { itcFTP_StateChanged(state); });
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
            ++failures_;
            if (reportRefusals_ && (reportLostServer_ || !control_.ServerLost()))
                dialogs_.alert(QStringLiteral("Comando \"%1\" sem sucesso: %2").arg(command.text(), lastRefusal_));
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

void FtpSession::handleEvents()
{
    QCoreApplication::processEvents();
}

void FtpSession::ATUALIZA_LISTA()
{
    lastListingSucceeded_ = false;
    remote_.clear();

    const quint64 dirSerial = commandSerial_ + 1;
    const bool dirOk = EXECUTA_COMANDO(FtpCommand{QStringLiteral("dir"), {}}, false);
    // A command started by a click during the "dir" or while its answer is read owns the
    // control's answer and the folder from then on: mixing its answer into this listing would
    // list foreign or stale lines.
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
    remote_.setEntries(entriesOf(answer));

    const bool pwdOk = EXECUTA_COMANDO(FtpCommand{QStringLiteral("pwd"), {}}, false);
    remote_.setPath(control_.GetChunk(kChunkSize));
    lastListingSucceeded_ = dirOk && pwdOk;
}

bool FtpSession::CONECTA()
{
    if (address_.isEmpty()) {
        ++failures_;
        dialogs_.message(QStringLiteral("Informe o nome do servidor FTP."), Icon::Critical);
        emit addressMissing();
        return false;
    }
    try {
        control_.setAddress(address_);
        control_.setUserName(user_);
        control_.setPassword(password_);
        ATUALIZA_LISTA();
        setConnected(true);
        return lastListingSucceeded_;
    } catch (...) {
        ++failures_;
        dialogs_.message(currentFailure().message(), Icon::Exclamation, QStringLiteral("FTP"));
        return false;
    }
}

void FtpSession::DESCONECTA()
{
    try {
        // The first "quit" goes out at once, cancelling whatever still runs; the second one,
        // which replaces it if it has not ended yet, is the one logged and waited for. The
        // control closes the connection once; the log shows one line.
        const FtpCommand quit{QStringLiteral("quit"), {}};
        executeUnlogged(quit);
        EXECUTA_COMANDO(quit, false);
        setConnected(false);
    } catch (...) {
        ++failures_;
        dialogs_.message(failureText(QStringLiteral("Erro ao efetuar a operacao com : "), address_,
                                     currentFailure().code()),
                         Icon::None);
    }
}

void FtpSession::itcFTP_StateChanged(FtpState state)
{
    QString status;
    switch (state) {
    case FtpState::Resolving: status = QStringLiteral("Resolvendo Host"); break;
    case FtpState::Resolved: status = QStringLiteral("Host Resolvido"); break;
    case FtpState::Connecting: status = QStringLiteral("Conectando ..."); break;
    case FtpState::Connected: status = QStringLiteral("Conectado"); break;
    case FtpState::Requesting: status = QStringLiteral("Requesitando ..."); break;
    case FtpState::RequestSent: status = QStringLiteral("Requesição enviada"); break;
    case FtpState::Receiving: status = QStringLiteral("Recebendo ..."); break;
    case FtpState::ResponseReceived: status = QStringLiteral("Resposta recebida"); break;
    case FtpState::Disconnecting: status = QStringLiteral("Desconectando ..."); break;
    case FtpState::Disconnected: status = QStringLiteral("Desconectado"); break;
    case FtpState::Error:
        status = control_.ResponseInfo();
        appendLog(status);
        break;
    case FtpState::ResponseCompleted:
        status = QStringLiteral("operacao Completa");
        appendLog(status);
        break;
    default: break;
    }
    if (state >= FtpState::Resolving && state <= FtpState::ResponseCompleted)
        showStatus(status, state != FtpState::Error);
    emit notified();
}

void FtpSession::showStatus(const QString& status, bool fixedText)
{
    emit statusChanged(status, fixedText);
}

void FtpSession::executeUnlogged(const FtpCommand& command)
{
    ++commandSerial_;
    control_.Execute(command);
}

void FtpSession::appendLog(const QString& line)
{
    emit logLine(line);
    dialogs_.trace(line);
}

void FtpSession::reportCommandFailure()
{
    ++failures_;
    dialogs_.message(failureText(QStringLiteral("Não foi possivel efetuar operacao com : "), address_,
                                 currentFailure().code()),
                     Icon::None);
}

void FtpSession::setConnected(bool connected)
{
    connected_ = connected;
    emit connectedChanged(connected);
}
