// Command execution, waiting, connect and disconnect on the real window with a scripted control.
#include "session_fixture.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

const QString kDir = QStringLiteral("./\r\n../\r\npedidos/\r\na.txt\r\n");

// A control whose address setting or answer reading can be made to fail.
class FaultyControl : public FakeTransferControl {
public:
    bool failAddress = false;
    bool failChunk = false;
    void setAddress(const QString& a) override
    {
        if (failAddress)
            throw TransferError(35750, QStringLiteral("Endereço inválido: ") + a);
        FakeTransferControl::setAddress(a);
    }
    QString GetChunk(int size) override
    {
        if (failChunk)
            throw TransferError(35761, QStringLiteral("Conexão interrompida"));
        return FakeTransferControl::GetChunk(size);
    }
};

using Connect = SessionTest<>;
using Commands = SessionTest<>;
using Faults = SessionTest<FaultyControl>;

TEST_F(Connect, ButtonConnectsListsAndEntersTheConfiguredFolder)
{
    w.txtAddress->setText(QStringLiteral("127.0.0.1:2121"));
    w.txtUsername->setText(QStringLiteral("loja"));
    w.txtPassword->setText(QStringLiteral("segredo"));
    control.script(QStringLiteral("dir"), answer(kDir));
    control.script(QStringLiteral("pwd"), answer(QStringLiteral("/pedidos")));
    EXPECT_EQ(fiveEnabled(), std::vector<bool>(5, false));
    EXPECT_FALSE(session->connected());

    w.cmdConecta->click();

    EXPECT_EQ(executedTexts(), (QStringList{"dir", "pwd", "cd pedidos", "dir", "pwd"}));
    EXPECT_EQ(control.calls.mid(0, 3),
              (QStringList{"setAddress 127.0.0.1:2121", "setUserName loja", "setPassword segredo"}));
    EXPECT_EQ(w.cmdConecta->text(), QStringLiteral("D&esconectar do Host Remoto"));
    EXPECT_TRUE(session->connected());
    EXPECT_EQ(fiveEnabled(), std::vector<bool>(5, true));
    EXPECT_EQ(session->lastFolderCommand, (FtpCommand{"cd", {"pedidos"}}));
    EXPECT_EQ(remoteEntries(), (QStringList{"../", "pedidos/", "a.txt"}));
    EXPECT_EQ(w.lblRemoteDirectory->text(), QStringLiteral("/pedidos"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(dialogs.failureReported());
    // Every command has its log line, each followed by the completion the control reported.
    const QStringList log = logLines();
    EXPECT_EQ(log.count(QStringLiteral("Comando: dir")), 2);
    const qsizetype cd = log.indexOf(QStringLiteral("Comando: cd pedidos"));
    ASSERT_GE(cd, 0);
    EXPECT_EQ(log.value(cd + 1), QStringLiteral("operacao Completa"));
}

TEST_F(Connect, EmptyAddressIsRefusedButTheFolderCommandStillRuns)
{
    pastas.clear();
    w.show();
    w.txtUsername->setFocus();

    w.cmdConecta->click();

    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Informe o nome do servidor FTP."));
    EXPECT_EQ(w.focusWidget(), w.txtAddress);
    EXPECT_FALSE(control.calls.join(' ').contains(QStringLiteral("setAddress")));
    // The empty folder goes out unchanged, and the refresh of the "cd" still lists.
    EXPECT_EQ(executedTexts(), (QStringList{"cd ", "dir", "pwd"}));
    EXPECT_EQ(w.cmdConecta->text(), QStringLiteral("&Conectar com o Host Remoto"));
    EXPECT_EQ(fiveEnabled(), std::vector<bool>(5, false));

    // An address of blanks is not empty: it is handed to the control as typed.
    w.txtAddress->setText(QStringLiteral("   "));
    EXPECT_TRUE(session->CONECTA());
    EXPECT_TRUE(control.calls.contains(QStringLiteral("setAddress    ")));
    EXPECT_TRUE(session->connected());
}

TEST_F(Connect, DisconnectQuitsTwiceLogsOnceAndTheToggleRepeats)
{
    w.txtAddress->setText(QStringLiteral("ftp.loja"));
    control.script(QStringLiteral("dir"), answer(kDir));
    w.cmdConecta->click();
    ASSERT_TRUE(session->connected());
    const int before = control.executed.size();

    // The first "quit" is still running when the logged one is issued: it is cancelled first.
    FakeTransferControl::Reply slowQuit;
    slowQuit.busyPolls = 3;
    control.script(QStringLiteral("quit"), slowQuit);
    control.calls.clear();
    w.cmdConecta->click();

    EXPECT_EQ(executedTexts().mid(before), (QStringList{"quit", "quit"}));
    EXPECT_EQ(control.calls, (QStringList{"Execute quit", "Cancel", "Execute quit"}));
    EXPECT_EQ(logLines().count(QStringLiteral("Comando: quit")), 1);
    EXPECT_EQ(w.cmdConecta->text(), QStringLiteral("&Conectar ao Host Remoto"));
    EXPECT_FALSE(session->connected());
    EXPECT_EQ(fiveEnabled(), std::vector<bool>(5, false));
    // The list keeps its entries, only disabled.
    EXPECT_EQ(remoteEntries(), (QStringList{"../", "pedidos/", "a.txt"}));

    w.cmdConecta->click();
    EXPECT_EQ(w.cmdConecta->text(), QStringLiteral("D&esconectar do Host Remoto"));
    EXPECT_EQ(fiveEnabled(), std::vector<bool>(5, true));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Connect, FailedDisconnectKeepsTheConnectedState)
{
    w.txtAddress->setText(QStringLiteral("ftp.loja"));
    w.cmdConecta->click();
    FakeTransferControl::Reply broken;
    broken.throwOnExecute = true;
    broken.throwNumber = 35764;
    control.script(QStringLiteral("quit"), broken);

    w.cmdConecta->click();

    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Erro ao efetuar a operacao com : ftp.loja\r\n erro : 35764"));
    EXPECT_FALSE(logLines().contains(QStringLiteral("Comando: quit")));
    EXPECT_TRUE(session->connected());
    EXPECT_EQ(fiveEnabled(), std::vector<bool>(5, true));
}

TEST_F(Faults, ConnectFailureShowsItsDescriptionAndLeavesTheWindowDisconnected)
{
    w.txtAddress->setText(QStringLiteral("ftp://[malformado"));
    control.failAddress = true;

    w.cmdConecta->click();

    ASSERT_GE(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Endereço inválido: ftp://[malformado"));
    EXPECT_EQ(fiveEnabled(), std::vector<bool>(5, false));
    // The configured folder is still tried.
    EXPECT_EQ(executedTexts().value(0), QStringLiteral("cd pedidos"));

    // A failure while reading the listing reaches CONECTA too.
    control.failAddress = false;
    control.failChunk = true;
    dialogs.messages.clear();
    EXPECT_FALSE(session->CONECTA());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Conexão interrompida"));
    EXPECT_FALSE(session->connected());
}

TEST_F(Faults, RefreshFailureIsReportedWithTheAddressAndNumber)
{
    w.txtAddress->setText(QStringLiteral("ftp.loja"));
    control.failChunk = true;

    EXPECT_TRUE(session->EXECUTA_COMANDO(FtpCommand{"mkdir", {"novos"}}, true));

    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Não foi possivel efetuar operacao com : ftp.loja\r\n erro : 35761"));
    EXPECT_EQ(executedTexts(), (QStringList{"mkdir novos", "dir"}));
}

TEST_F(Connect, RefusedListingMakesConnectReportFailure)
{
    w.txtAddress->setText(QStringLiteral("127.0.0.1:1"));
    FakeTransferControl::Reply refused;
    refused.ok = false;
    refused.report = QStringLiteral("Não foi possível conectar ao servidor");
    control.script(QStringLiteral("dir"), refused);

    EXPECT_FALSE(session->CONECTA());
    // The window still switches, so the user can disconnect; the log shows why.
    EXPECT_TRUE(session->connected());
    EXPECT_EQ(logLines().mid(0, 2), (QStringList{"Comando: dir", refused.report}));
    EXPECT_TRUE(dialogs.failureReported());
}

TEST_F(Commands, FailingCommandKeepsItsLogLineAndSkipsTheRefresh)
{
    w.txtAddress->setText(QStringLiteral("ftp.loja"));
    w.lstRemote->addItems({"../", "velho.txt"});
    FakeTransferControl::Reply broken;
    broken.throwOnExecute = true;
    broken.throwNumber = 12345;
    control.script(QStringLiteral("cd"), broken);

    EXPECT_FALSE(session->EXECUTA_COMANDO(FtpCommand{"cd", {"minha pasta"}}, true));

    EXPECT_EQ(logLines().last(), QStringLiteral("Comando: cd minha pasta"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Não foi possivel efetuar operacao com : ftp.loja\r\n erro : 12345"));
    EXPECT_TRUE(control.executed.isEmpty());
    EXPECT_EQ(remoteEntries(), (QStringList{"../", "velho.txt"}));
}

TEST_F(Commands, RefusedReplyIsShownAndTheFolderIsStillListed)
{
    FakeTransferControl::Reply refused;
    refused.ok = false;
    refused.report = QStringLiteral("550 pasta inexistente");
    control.script(QStringLiteral("cd"), refused);
    control.script(QStringLiteral("dir"), answer(kDir));

    EXPECT_FALSE(session->EXECUTA_COMANDO(FtpCommand{"cd", {"nada"}}, true));

    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.failureReported());
    EXPECT_EQ(dialogs.alerts, QStringList{"Comando \"cd nada\" sem sucesso: 550 pasta inexistente"});   // headless: stderr
    EXPECT_EQ(executedTexts(), (QStringList{"cd nada", "dir", "pwd"}));
    const QStringList log = logLines();
    EXPECT_EQ(log.mid(0, 2), (QStringList{"Comando: cd nada", "550 pasta inexistente"}));
    EXPECT_EQ(remoteEntries(), (QStringList{"../", "pedidos/", "a.txt"}));

    // Without refresh the list stays as it was; success is reported as such.
    w.lstRemote->clear();
    dialogs.failed = false;
    EXPECT_TRUE(session->EXECUTA_COMANDO(FtpCommand{"delete", {"a.txt"}}, false));
    EXPECT_EQ(w.lstRemote->count(), 0);
    EXPECT_FALSE(dialogs.failureReported());
}

TEST_F(Commands, CommandStartedDuringTheWaitCancelsTheRunningOne)
{
    FakeTransferControl::Reply slow;
    slow.busyPolls = 50;
    control.script(QStringLiteral("recv"), slow);
    bool nestedResult = false;
    QTimer::singleShot(0, session.get(), [&] {
        nestedResult = session->EXECUTA_COMANDO(FtpCommand{"cd", {".."}}, false);
    });

    const bool outer = session->EXECUTA_COMANDO(FtpCommand{"recv", {"PED 1.txt", "/tmp/PED 1.txt"}}, false);

    EXPECT_EQ(control.calls, (QStringList{"Execute recv PED 1.txt /tmp/PED 1.txt", "Cancel", "Execute cd .."}));
    EXPECT_TRUE(nestedResult);
    // The download was cancelled: its caller must not take the nested command's success for its own.
    EXPECT_FALSE(outer);
    const QStringList log = logLines();
    EXPECT_LT(log.indexOf(QStringLiteral("Comando: recv PED 1.txt /tmp/PED 1.txt")), log.indexOf(QStringLiteral("Comando: cd ..")));
    EXPECT_FALSE(control.StillExecuting());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Commands, WaitSleepsInTheControlAndStillHandlesEvents)
{
    FakeTransferControl::Reply slow;
    slow.busyMs = 300;
    control.script(QStringLiteral("recv"), slow);
    QElapsedTimer clock;
    qint64 timerFiredAt = -1;
    bool runningWhenFired = false;
    QTimer::singleShot(50, session.get(), [&] {
        timerFiredAt = clock.elapsed();
        runningWhenFired = control.StillExecuting();
    });
    clock.start();
    control.stillExecutingPolls = 0;

    EXPECT_TRUE(session->EXECUTA_COMANDO(FtpCommand{"recv", {"a.txt", "/tmp/a.txt"}}, false));

    EXPECT_GE(clock.elapsed(), 290);
    // A busy loop would poll hundreds of thousands of times; sleeping in slices polls a few dozen.
    EXPECT_LT(control.stillExecutingPolls, 100);
    EXPECT_GT(control.waitCalls, 0);
    EXPECT_LE(control.longestWaitMs, 50);
    // Events posted meanwhile ran while the command was still running.
    EXPECT_GE(timerFiredAt, 50);
    EXPECT_TRUE(runningWhenFired);
}

TEST_F(Commands, QueuedEndNotificationIsShownBeforeTheCommandReturns)
{
    // As the real control does it: the end of the command is reported through the event queue,
    // possibly after StillExecuting already answers false.
    control.emitStates = false;
    FakeTransferControl::Reply refused;
    refused.ok = false;
    refused.report = QStringLiteral("550 sem permissão");
    refused.effect = [this](const FtpCommand&) {
        QTimer::singleShot(0, session.get(), [this] { control.emitState(ftpstate::Error); });
    };
    control.script(QStringLiteral("delete"), refused);
    FakeTransferControl::Reply done;
    done.effect = [this](const FtpCommand&) {
        QTimer::singleShot(0, session.get(), [this] { control.emitState(ftpstate::ResponseCompleted); });
    };
    control.script(QStringLiteral("pwd"), done);

    EXPECT_FALSE(session->EXECUTA_COMANDO(FtpCommand{"delete", {"a.txt"}}, false));
    EXPECT_EQ(logLines().last(), QStringLiteral("550 sem permissão"));
    EXPECT_TRUE(session->EXECUTA_COMANDO(FtpCommand{"pwd", {}}, false));
    EXPECT_EQ(logLines(), (QStringList{"Comando: delete a.txt", "550 sem permissão", "Comando: pwd", "operacao Completa"}));
}

} // namespace
