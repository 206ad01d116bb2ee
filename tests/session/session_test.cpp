// The FTP session on a scripted control: connect and disconnect, commands and their waits, the
// remote listing, the status text and the log.
#include "session_rig.h"

#include <QTimer>

namespace {

constexpr auto answer = &FakeTransferControl::answer;
constexpr auto refusal = &FakeTransferControl::refusal;

struct Session : ::testing::Test, SessionRig<> {
    QList<bool> connectedStates; // as the session announced them
    Session()
    {
        QObject::connect(&session, &FtpSession::connectedChanged, [this](bool c) { connectedStates << c; });
    }
};

// Empty lines, "./" and an unfinished last line are not listed.
const QString kDir = QStringLiteral("./\r\n../\r\n\r\npedidos/\r\na.txt\r\nmeio.tx");

// Connect lists the login folder; disconnect sends the straight "quit" and then the logged one,
// cancelling the first if it still runs.
TEST_F(Session, ConnectListsAndDisconnectQuitsTwiceLoggingOnce)
{
    control.script("dir", answer(kDir));
    control.script("pwd", answer("/pedidos"));
    EXPECT_TRUE(session.CONECTA());
    EXPECT_EQ(sent(), QStringList({"dir", "pwd"}));
    EXPECT_TRUE(session.connected());
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));
    EXPECT_EQ(session.remote().path(), "/pedidos");

    Reply quit;
    quit.busyPolls = 3;
    control.script("quit", quit);
    control.calls.clear();
    session.DESCONECTA();
    EXPECT_EQ(control.calls, QStringList({"Execute quit", "Cancel", "Execute quit"}));
    EXPECT_EQ(logLines.count("Comando: quit"), 1);
    EXPECT_EQ(connectedStates, QList<bool>({true, false}));
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"})); // kept, as it was listed
}

// An empty address is refused in a box (blanks are an address). Failures name their
// description; a refused listing is no success, but the session is connected so the user can
// disconnect.
TEST_F(Session, ConnectFailures)
{
    int missing = 0;
    QObject::connect(&session, &FtpSession::addressMissing, [&] { ++missing; });
    session.setAddress(QString());
    EXPECT_FALSE(session.CONECTA());
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(sent(), QStringList());

    session.setAddress("   ");
    control.failChunks = 35761; // the listing cannot be read
    EXPECT_FALSE(session.CONECTA());
    EXPECT_FALSE(session.connected());
    control.failChunks = 0;
    EXPECT_TRUE(session.CONECTA());
    QStringList texts;
    for (const auto& m : dialogs.messages)
        texts << m.title + ": " + m.text;
    EXPECT_EQ(texts, QStringList({": Informe o nome do servidor FTP.", "FTP: Conexão interrompida"}));

    control.script("dir", refusal("Não foi possível conectar ao servidor"));
    EXPECT_FALSE(session.CONECTA());
    EXPECT_EQ(connectedStates, QList<bool>({true, true}));
}

// A command that throws names the server and the number and skips the refresh; a refused one is
// logged with the report (before the command returns), named in an alert, and the folder is
// listed as it is.
TEST_F(Session, FailedAndRefusedCommands)
{
    showRemote({"../", "velho.txt"});
    Reply broken;
    broken.throwNumber = 12345;
    control.script("mkdir", broken);
    EXPECT_FALSE(session.EXECUTA_COMANDO(FtpCommand{"mkdir", {"minha pasta"}}, true));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Não foi possivel efetuar operacao com : ftp.loja.com.br\r\n erro : 12345");
    EXPECT_EQ(remoteEntries(), QStringList({"../", "velho.txt"}));

    control.script("cd", refusal("550 pasta inexistente"));
    control.script("dir", answer(kDir));
    EXPECT_FALSE(session.EXECUTA_COMANDO(FtpCommand{"cd", {"nada"}}, true));
    EXPECT_EQ(dialogs.alerts, QStringList{"Comando \"cd nada\" sem sucesso: 550 pasta inexistente"});
    EXPECT_EQ(logLines.mid(0, 3), QStringList({"Comando: mkdir minha pasta", "Comando: cd nada", "550 pasta inexistente"}));
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));

    // The end notification may come queued: it is shown before the command returns.
    control.emitStates = false;
    Reply refused = refusal("550 sem permissão");
    refused.effect = [this](const FtpCommand&) { QTimer::singleShot(0, &session, [this] { control.emitState(FtpState::Error); }); };
    control.script("delete", refused);
    EXPECT_FALSE(session.EXECUTA_COMANDO(FtpCommand{"delete", {"a.txt"}}, false));
    EXPECT_EQ(logLines.mid(logLines.size() - 2), QStringList({"Comando: delete a.txt", "550 sem permissão"}));
}

// Events are handled during the wait, which sleeps in the control; a command started meanwhile
// cancels the running one, which then reports no success of its own.
TEST_F(Session, ACommandStartedDuringTheWaitCancelsTheRunningOne)
{
    Reply slow;
    slow.busyPolls = 50;
    control.script("recv", slow);
    bool nested = false;
    QTimer::singleShot(0, &session, [&] { nested = session.EXECUTA_COMANDO(FtpCommand{"cd", {".."}}, false); });
    EXPECT_FALSE(session.EXECUTA_COMANDO(FtpCommand{"recv", {"PED 1.txt", "/tmp/PED 1.txt"}}, false));
    EXPECT_TRUE(nested);
    EXPECT_GT(control.waitCalls, 0);
    EXPECT_EQ(control.calls, QStringList({"Execute recv PED 1.txt /tmp/PED 1.txt", "Cancel", "Execute cd .."}));

    // A folder entered while the "dir" runs: the folder entered last is listed, once.
    Reply dir = answer("./\r\n../\r\nPED1.txt\r\n");
    dir.busyPolls = 2;
    control.script("dir", dir);
    control.executed.clear();
    QTimer::singleShot(0, &session, [&] { session.EXECUTA_COMANDO(FtpCommand{"cd", {"loja"}}, true); });
    session.ATUALIZA_LISTA();
    EXPECT_EQ(sent(), QStringList({"dir", "cd loja", "dir", "pwd"}));
    EXPECT_EQ(remoteEntries(), QStringList({"../", "PED1.txt"}));

    // A line cut by the 1024-character pieces of the answer is listed whole, once.
    control.script("dir", answer(QString(1023, 'g') + "\r\nh.txt\r\n"));
    session.ATUALIZA_LISTA();
    EXPECT_EQ(remoteEntries(), QStringList({QString(1023, 'g'), "h.txt"}));
}

// States 1 to 10 change only the status text; 11 shows the report and logs it, 12 logs
// "operacao Completa"; any number is followed by the notice that brings the log into view.
TEST_F(Session, StatusTextAndLogFollowTheStates)
{
    QStringList statuses;
    int notices = 0;
    QObject::connect(&session, &FtpSession::statusChanged,
                     [&](const QString& s, bool fixed) { statuses << (fixed ? "" : "~") + s; });
    QObject::connect(&session, &FtpSession::notified, [&] { ++notices; });
    for (int state = 0; state <= 13; ++state) {
        if (state == int(FtpState::Error)) {
            control.script("dir", refusal("550 sem permissão"));
            control.emitStates = false;
            control.Execute(FtpCommand{"dir", {}});
        }
        session.itcFTP_StateChanged(FtpState(state)); // 0 and 13: numbers no state has
    }
    EXPECT_EQ(statuses, QStringList({"Resolvendo Host", "Host Resolvido", "Conectando ...", "Conectado", "Requesitando ...",
                                     "Requesição enviada", "Recebendo ...", "Resposta recebida", "Desconectando ...",
                                     "Desconectado", "~550 sem permissão", "operacao Completa"}));
    EXPECT_EQ(notices, 14);
    EXPECT_EQ(logLines, QStringList({"550 sem permissão", "operacao Completa"}));
    EXPECT_EQ(dialogs.traces, logLines);
}

} // namespace
