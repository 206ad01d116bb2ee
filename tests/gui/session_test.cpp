// The window's FTP session on a scripted control: connect and disconnect, commands and their
// waits, the remote listing, the status line and the log.
#include "window_rig.h"

#include <QScrollBar>
#include <QTimer>

namespace {

constexpr auto answer = &FakeTransferControl::answer;
constexpr auto refusal = &FakeTransferControl::refusal;

struct Session : ::testing::Test, WindowRig<> {
    // Whether the five controls of the connected state are enabled, and the button's caption.
    QString state()
    {
        QString enabled;
        for (QWidget* c : std::initializer_list<QWidget*>{w().cmdEnvia, w().cmdRecebe, w().cmdMkDir, w().cmdDelete, w().lstRemote})
            enabled += c->isEnabled() ? '1' : '0';
        return enabled + ' ' + w().cmdConecta->text();
    }
};

// Empty lines, "./" and an unfinished last line are not listed.
const QString kDir = QStringLiteral("./\r\n../\r\n\r\npedidos/\r\na.txt\r\nmeio.tx");
const QString kConnected = QStringLiteral("11111 D&esconectar do Host Remoto");
const QString kDisconnected = QStringLiteral("00000 &Conectar com o Host Remoto");

// Connect lists the login folder, enters the configured one and lists it; disconnect sends the
// straight "quit" and then the logged one, cancelling the first if it still runs.
TEST_F(Session, ConnectEntersTheConfiguredFolderAndDisconnectQuitsTwiceLoggingOnce)
{
    writeFile(appFolder.filePath("ftp.ini"), "[Geral]\r\nPASTAS=pedidos\r\n");
    control.script("dir", answer(kDir));
    control.script("pwd", answer("/pedidos"));
    w().cmdConecta->click();
    EXPECT_EQ(control.executedTexts(), QStringList({"dir", "pwd", "cd pedidos", "dir", "pwd"}));
    EXPECT_EQ(state(), kConnected);
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));
    EXPECT_EQ(w().lblRemoteDirectory->text(), "/pedidos");

    Reply quit;
    quit.busyPolls = 3;
    control.script("quit", quit);
    control.calls.clear();
    w().cmdConecta->click();
    EXPECT_EQ(control.calls, QStringList({"Execute quit", "Cancel", "Execute quit"}));
    EXPECT_EQ(log().count("Comando: quit"), 1);
    EXPECT_EQ(state(), "00000 &Conectar ao Host Remoto");
}

// An empty address is refused in a box (the folder command still runs, as it always did);
// blanks are an address. Failures name their description; a refused listing is no success, but
// the window switches so the user can disconnect.
TEST_F(Session, ConnectFailures)
{
    w().txtAddress->clear();
    w().show();
    w().cmdConecta->click();
    EXPECT_EQ(control.executedTexts(), QStringList({"cd ", "dir", "pwd"}));
    EXPECT_EQ(w().focusWidget(), w().txtAddress);
    EXPECT_EQ(state(), kDisconnected);

    w().txtAddress->setText("   ");
    control.failChunks = 35761; // the listing cannot be read
    EXPECT_FALSE(session().CONECTA());
    control.failChunks = 0;
    EXPECT_TRUE(session().CONECTA());
    EXPECT_EQ(state(), kConnected);
    QStringList texts;
    for (const auto& m : dialogs.messages)
        texts << m.title + ": " + m.text;
    EXPECT_EQ(texts, QStringList({": Informe o nome do servidor FTP.", "FTP: Conexão interrompida"}));

    control.script("dir", refusal("Não foi possível conectar ao servidor"));
    EXPECT_FALSE(session().CONECTA());
    EXPECT_EQ(state(), kConnected);
}

// A command that throws names the server and the number and skips the refresh; a refused one is
// logged with the report (before the command returns), named in an alert, and the folder is
// listed as it is.
TEST_F(Session, FailedAndRefusedCommands)
{
    w().lstRemote->addItems({"../", "velho.txt"});
    Reply broken;
    broken.throwNumber = 12345;
    control.script("mkdir", broken);
    EXPECT_FALSE(session().EXECUTA_COMANDO(FtpCommand{"mkdir", {"minha pasta"}}, true));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Não foi possivel efetuar operacao com : ftp.loja.com.br\r\n erro : 12345");
    EXPECT_EQ(remoteEntries(), QStringList({"../", "velho.txt"}));

    control.script("cd", refusal("550 pasta inexistente"));
    control.script("dir", answer(kDir));
    EXPECT_FALSE(session().EXECUTA_COMANDO(FtpCommand{"cd", {"nada"}}, true));
    EXPECT_EQ(dialogs.alerts, QStringList{"Comando \"cd nada\" sem sucesso: 550 pasta inexistente"});
    EXPECT_EQ(log().mid(0, 3), QStringList({"Comando: mkdir minha pasta", "Comando: cd nada", "550 pasta inexistente"}));
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));

    // The end notification may come queued: it is shown before the command returns.
    control.emitStates = false;
    Reply refused = refusal("550 sem permissão");
    refused.effect = [this](const FtpCommand&) { QTimer::singleShot(0, app.get(), [this] { control.emitState(ftpstate::Error); }); };
    control.script("delete", refused);
    EXPECT_FALSE(session().EXECUTA_COMANDO(FtpCommand{"delete", {"a.txt"}}, false));
    EXPECT_EQ(log().mid(log().size() - 2), QStringList({"Comando: delete a.txt", "550 sem permissão"}));
}

// Events are handled during the wait, which sleeps in the control; a command started meanwhile
// cancels the running one, which then reports no success of its own.
TEST_F(Session, ACommandStartedDuringTheWaitCancelsTheRunningOne)
{
    Reply slow;
    slow.busyPolls = 50;
    control.script("recv", slow);
    bool nested = false;
    QTimer::singleShot(0, app.get(), [&] { nested = session().EXECUTA_COMANDO(FtpCommand{"cd", {".."}}, false); });
    EXPECT_FALSE(session().EXECUTA_COMANDO(FtpCommand{"recv", {"PED 1.txt", "/tmp/PED 1.txt"}}, false));
    EXPECT_TRUE(nested);
    EXPECT_GT(control.waitCalls, 0);
    EXPECT_EQ(control.calls, QStringList({"Execute recv PED 1.txt /tmp/PED 1.txt", "Cancel", "Execute cd .."}));

    // A double-click handled while the "dir" runs: the folder entered last is listed, once.
    Reply dir = answer("./\r\n../\r\nPED1.txt\r\n");
    dir.busyPolls = 2;
    control.script("dir", dir);
    control.executed.clear();
    QTimer::singleShot(0, app.get(), [&] { session().EXECUTA_COMANDO(FtpCommand{"cd", {"loja"}}, true); });
    session().ATUALIZA_LISTA();
    EXPECT_EQ(control.executedTexts(), QStringList({"dir", "cd loja", "dir", "pwd"}));
    EXPECT_EQ(remoteEntries(), QStringList({"../", "PED1.txt"}));
}

TEST_F(Session, ListingAcrossPiecesAndDoubleClickOnFoldersOnly)
{
    control.script("dir", answer(QString(1023, 'g') + "\r\nh.txt\r\n")); // CR and LF in two pieces
    session().ATUALIZA_LISTA();
    EXPECT_EQ(remoteEntries(), QStringList({QString(1023, 'g'), "h.txt"}));

    control.executed.clear();
    for (int row : {0, 1, 2, -1}) {
        w().lstRemote->clear();
        w().lstRemote->addItems({"../", "minha pasta/", "a.txt"});
        w().lstRemote->setCurrentRow(row);
        session().lstRemote_DblClick();
    }
    EXPECT_EQ(control.executedTexts(), QStringList({"cd ..", "dir", "pwd", "cd minha pasta", "dir", "pwd"}));
}

TEST_F(Session, StatusLineLogAndCaretFollowTheStates)
{
    w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    for (int i = 0; i < 200; ++i)
        session().appendLog(QStringLiteral("Comando: recv PED%1.txt").arg(i));
    for (int state = 1; state <= 10; ++state)
        session().itcFTP_StateChanged(state);
    EXPECT_EQ(w().lblStatus->text(), "Desconectado");
    EXPECT_EQ(log().size(), 200);

    // A failed response: the report on the status line, cut to its frame, and logged whole.
    const QString report = "Arquivo ou pasta não encontrado, ou sem permissão, no servidor FTP ftp.loja.exemplo.com.br:21: "
                           "550 /pedidos/PEDIDO DE VENDA 2024-0001.txt: No such file or directory. (curl 78)";
    control.script("dir", refusal(report));
    control.emitStates = false;
    control.Execute(FtpCommand{"dir", {}});
    session().itcFTP_StateChanged(ftpstate::Error);
    EXPECT_EQ(log().last(), report);
    EXPECT_EQ(w().lblStatus->toolTip(), report);
    EXPECT_LE(w().lblStatus->fontMetrics().horizontalAdvance(w().lblStatus->text()), w().lblStatus->contentsRect().width());

    // Unknown numbers change nothing; every notification brings the caret to the end and the
    // newest line into view, even after the user scrolled up.
    QScrollBar* bar = w().txtLog->verticalScrollBar();
    for (int state : {0, 13}) {
        w().txtLog->moveCursor(QTextCursor::Start);
        session().itcFTP_StateChanged(state);
        EXPECT_EQ(w().lblStatus->toolTip(), report) << state;
        EXPECT_TRUE(w().txtLog->textCursor().atEnd()) << state;
    }
    bar->setValue(0);
    session().itcFTP_StateChanged(ftpstate::ResponseCompleted);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(w().lblStatus->text(), "operacao Completa");
    EXPECT_EQ(dialogs.traces, log());
}

} // namespace
