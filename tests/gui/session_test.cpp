// The window's FTP session on a scripted control: connect and disconnect, commands and their
// waits, the remote listing, the status line and the log.
#include "gui/frmFTP.h"
#include "gui/ftp_session.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
#include "support/test_util.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

// A control whose address setting or answer reading fails.
struct FaultyControl : FakeTransferControl {
    bool failAddress = false, failChunk = false;
    void setAddress(const QString& a) override
    {
        if (failAddress)
            throw TransferError(35750, "Endereço inválido: " + a);
        FakeTransferControl::setAddress(a);
    }
    QString GetChunk(int size) override
    {
        if (failChunk)
            throw TransferError(35761, "Conexão interrompida");
        return FakeTransferControl::GetChunk(size);
    }
};

// The real window offscreen with its FTP session on a scripted transfer control.
struct Session : ::testing::Test {
    frmFTP w;
    FaultyControl control;
    FakeDialogs dialogs;
    QString pastas = QStringLiteral("pedidos");   // PASTAS of ftp.ini
    std::unique_ptr<FtpSession> session =
        std::make_unique<FtpSession>(w.remoteWidgets(), control, dialogs, [this] { return pastas; });

    ~Session() override { session.reset(); }

    QStringList executed() const
    {
        QStringList t;
        for (const FtpCommand& c : control.executed)
            t << c.text();
        return t;
    }
    QStringList log() const { return session->logText().split(QLatin1Char('\n')); }
    QStringList remoteEntries() const
    {
        QStringList t;
        for (int i = 0; i < w.lstRemote->count(); ++i)
            t << w.lstRemote->item(i)->text();
        return t;
    }
    // Whether the five controls of the connected state are enabled, and the button's caption.
    QString state() const
    {
        QString enabled;
        for (QWidget* c : {static_cast<QWidget*>(w.cmdEnvia), static_cast<QWidget*>(w.cmdRecebe), static_cast<QWidget*>(w.cmdMkDir),
                           static_cast<QWidget*>(w.cmdDelete), static_cast<QWidget*>(w.lstRemote)})
            enabled += c->isEnabled() ? '1' : '0';
        return enabled + ' ' + w.cmdConecta->text();
    }
};

using Reply = FakeTransferControl::Reply;
Reply answer(const QString& text) { Reply r; r.answer = text; return r; }
Reply refusal(const QString& report) { Reply r; r.ok = false; r.report = report; return r; }
Reply busy(int polls) { Reply r; r.busyPolls = polls; return r; }

// Empty lines, "./" and an unfinished last line are not listed.
const QString kDir = QStringLiteral("./\r\n../\r\n\r\npedidos/\r\na.txt\r\nmeio.tx");
const QString kConnected = QStringLiteral("11111 D&esconectar do Host Remoto");

TEST_F(Session, ConnectListsEntersTheConfiguredFolderAndDisconnectQuitsTwiceLoggingOnce)
{
    w.txtAddress->setText("127.0.0.1:2121");
    w.txtUsername->setText("loja");
    w.txtPassword->setText("segredo");
    control.script("dir", answer(kDir));
    control.script("pwd", answer("/pedidos"));
    w.cmdConecta->click();
    EXPECT_EQ(executed(), QStringList({"dir", "pwd", "cd pedidos", "dir", "pwd"}));
    EXPECT_EQ(control.calls.mid(0, 3), QStringList({"setAddress 127.0.0.1:2121", "setUserName loja", "setPassword segredo"}));
    EXPECT_EQ(state(), kConnected);
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));
    EXPECT_EQ(w.lblRemoteDirectory->text(), "/pedidos");
    EXPECT_EQ(log().mid(0, 4), QStringList({"Comando: dir", "operacao Completa", "Comando: pwd", "operacao Completa"}));

    // The first "quit" is still running when the logged one is issued: it is cancelled first.
    control.script("quit", busy(3));
    control.calls.clear();
    w.cmdConecta->click();
    EXPECT_EQ(control.calls, QStringList({"Execute quit", "Cancel", "Execute quit"}));
    EXPECT_EQ(log().count("Comando: quit"), 1);
    EXPECT_EQ(state(), "00000 &Conectar ao Host Remoto");
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));   // kept, only disabled
    w.cmdConecta->click();
    EXPECT_EQ(state(), kConnected);
}

TEST_F(Session, EmptyAddressIsRefusedButTheFolderCommandStillRunsAndBlanksAreAnAddress)
{
    pastas.clear();
    w.show();
    w.cmdConecta->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Informe o nome do servidor FTP.");
    EXPECT_EQ(w.focusWidget(), w.txtAddress);
    EXPECT_EQ(executed(), QStringList({"cd ", "dir", "pwd"}));
    EXPECT_EQ(state(), "00000 &Conectar com o Host Remoto");

    w.txtAddress->setText("   ");
    EXPECT_TRUE(session->CONECTA());
    EXPECT_TRUE(control.calls.contains("setAddress    "));
    EXPECT_EQ(state(), kConnected);
}

TEST_F(Session, ConnectFailuresAreDescribedAndARefusedListingIsNoSuccess)
{
    w.txtAddress->setText("ftp://[malformado");
    control.failAddress = true;
    EXPECT_FALSE(session->CONECTA());
    control.failAddress = false;
    control.failChunk = true;   // reading the listing fails
    EXPECT_FALSE(session->CONECTA());
    QStringList texts;
    for (const auto& m : dialogs.messages)
        texts << m.title + ": " + m.text;
    EXPECT_EQ(texts, QStringList({"FTP: Endereço inválido: ftp://[malformado", "FTP: Conexão interrompida"}));
    EXPECT_EQ(state(), "00000 &Conectar com o Host Remoto");

    // A refused "dir": the window switches, so the user can disconnect; connect reports failure.
    control.failChunk = false;
    control.script("dir", refusal("Não foi possível conectar ao servidor"));
    EXPECT_FALSE(session->CONECTA());
    EXPECT_EQ(state(), kConnected);
}

TEST_F(Session, FailedCommandNamesTheServerAndSkipsTheRefreshARefusedOneIsReportedAndListed)
{
    w.txtAddress->setText("ftp.loja");
    w.lstRemote->addItems({"../", "velho.txt"});
    Reply broken;
    broken.throwOnExecute = true;
    broken.throwNumber = 12345;
    control.script("mkdir", broken);
    EXPECT_FALSE(session->EXECUTA_COMANDO(FtpCommand{"mkdir", {"minha pasta"}}, true));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Não foi possivel efetuar operacao com : ftp.loja\r\n erro : 12345");
    EXPECT_EQ(remoteEntries(), QStringList({"../", "velho.txt"}));

    control.script("cd", refusal("550 pasta inexistente"));
    control.script("dir", answer(kDir));
    EXPECT_FALSE(session->EXECUTA_COMANDO(FtpCommand{"cd", {"nada"}}, true));
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.alerts, QStringList{"Comando \"cd nada\" sem sucesso: 550 pasta inexistente"});
    EXPECT_EQ(log().mid(0, 3), QStringList({"Comando: mkdir minha pasta", "Comando: cd nada", "550 pasta inexistente"}));
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));
}

TEST_F(Session, ACommandStartedDuringTheWaitCancelsTheRunningOne)
{
    control.script("recv", busy(50));
    bool nested = false, runningMeanwhile = false;
    QTimer::singleShot(0, session.get(), [&] {
        runningMeanwhile = control.StillExecuting();
        nested = session->EXECUTA_COMANDO(FtpCommand{"cd", {".."}}, false);
    });
    EXPECT_FALSE(session->EXECUTA_COMANDO(FtpCommand{"recv", {"PED 1.txt", "/tmp/PED 1.txt"}}, false));   // cancelled
    EXPECT_TRUE(nested);
    EXPECT_TRUE(runningMeanwhile);   // events are handled during the wait...
    EXPECT_GT(control.waitCalls, 0);   // ...which sleeps in the control instead of spinning
    EXPECT_EQ(control.calls, QStringList({"Execute recv PED 1.txt /tmp/PED 1.txt", "Cancel", "Execute cd .."}));
}

TEST_F(Session, QueuedEndNotificationIsShownBeforeTheCommandReturns)
{
    control.emitStates = false;
    Reply refused = refusal("550 sem permissão");
    refused.effect = [this](const FtpCommand&) { QTimer::singleShot(0, session.get(), [this] { control.emitState(ftpstate::Error); }); };
    control.script("delete", refused);
    EXPECT_FALSE(session->EXECUTA_COMANDO(FtpCommand{"delete", {"a.txt"}}, false));
    EXPECT_EQ(log(), QStringList({"Comando: delete a.txt", "550 sem permissão"}));
}

TEST_F(Session, ListingAcrossPiecesAndACommandThatTakesItOver)
{
    // The piece boundary between a CR and its LF.
    control.script("dir", answer(QString(1023, 'g') + "\r\nh.txt\r\n"));
    session->ATUALIZA_LISTA();
    EXPECT_EQ(remoteEntries(), QStringList({QString(1023, 'g'), "h.txt"}));

    // A double-click handled while the "dir" runs: the folder entered last is listed, once.
    control.script("dir", answer("./\r\n../\r\nPED1.txt\r\n"));
    control.script("pwd", answer("/loja"));
    QTimer::singleShot(0, session.get(), [&] { session->EXECUTA_COMANDO(FtpCommand{"cd", {"loja"}}, true); });
    control.executed.clear();
    session->ATUALIZA_LISTA();
    EXPECT_EQ(executed(), QStringList({"dir", "cd loja", "dir", "pwd"}));
    EXPECT_EQ(remoteEntries(), QStringList({"../", "PED1.txt"}));
}

TEST_F(Session, DoubleClickEntersFoldersOnly)
{
    for (int row : {0, 1, 2, -1}) {
        w.lstRemote->clear();
        w.lstRemote->addItems({"../", "minha pasta/", "a.txt"});
        w.lstRemote->setCurrentRow(row);
        session->lstRemote_DblClick();
    }
    EXPECT_EQ(executed(), QStringList({"cd ..", "dir", "pwd", "cd minha pasta", "dir", "pwd"}));
}

TEST_F(Session, StatusLineLogAndCaretFollowTheStates)
{
    session->appendLog("Comando: dir");
    for (int state = 1; state <= 10; ++state)
        session->itcFTP_StateChanged(state);
    EXPECT_EQ(w.lblStatus->text(), "Desconectado");
    EXPECT_EQ(log(), QStringList{"Comando: dir"});

    // A failed response: the control's report on the status line, cut to its frame, and logged whole.
    const QString report = "Arquivo ou pasta não encontrado, ou sem permissão, no servidor FTP ftp.loja.exemplo.com.br:21: "
                           "550 /pedidos/PEDIDO DE VENDA 2024-0001.txt: No such file or directory. (curl 78)";
    control.script("dir", refusal(report));
    control.emitStates = false;
    control.Execute(FtpCommand{"dir", {}});
    session->itcFTP_StateChanged(ftpstate::Error);
    EXPECT_EQ(log().last(), report);
    EXPECT_EQ(w.lblStatus->toolTip(), report);
    EXPECT_LE(w.lblStatus->fontMetrics().horizontalAdvance(w.lblStatus->text()), w.lblStatus->contentsRect().width());
    session->itcFTP_StateChanged(ftpstate::ResponseCompleted);
    EXPECT_EQ(w.lblStatus->text(), "operacao Completa");
    EXPECT_EQ(log().last(), "operacao Completa");

    // Unknown numbers change nothing but still bring the caret to the end.
    for (int state : {0, 13}) {
        w.txtLog->moveCursor(QTextCursor::Start);
        session->itcFTP_StateChanged(state);
        EXPECT_EQ(w.lblStatus->text(), "operacao Completa") << state;
        EXPECT_TRUE(w.txtLog->textCursor().atEnd()) << state;
    }
    EXPECT_EQ(dialogs.traces, log());
}

TEST_F(Session, NewestLineIsInViewAfterEveryNotification)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int i = 0; i < 200; ++i)
        session->appendLog(QStringLiteral("Comando: recv PED%1.txt").arg(i));
    QScrollBar* bar = w.txtLog->verticalScrollBar();
    w.txtLog->moveCursor(QTextCursor::End);
    bar->setValue(0);   // the user scrolled up, the caret left at the end
    session->itcFTP_StateChanged(ftpstate::ResponseCompleted);
    EXPECT_EQ(bar->value(), bar->maximum());
}

} // namespace
