// The window's remote side bound to the session, on a scripted control: what the window adds
// to the session (its buttons' captions and states, the list and the label, the focus, the
// status line cut to its frame, the log kept in view).
#include "window_rig.h"

#include <QScrollBar>

namespace {

constexpr auto answer = &FakeTransferControl::answer;

struct RemoteView : ::testing::Test, WindowRig {
    // Whether the five controls of the connected state are enabled, and the button's caption.
    QString state()
    {
        QString enabled;
        for (QWidget* c : std::initializer_list<QWidget*>{w().cmdEnvia, w().cmdRecebe, w().cmdMkDir, w().cmdDelete, w().lstRemote})
            enabled += c->isEnabled() ? '1' : '0';
        return enabled + ' ' + w().cmdConecta->text();
    }
};

// The connect button enters the configured folder after the connect and shows the listing; it
// disconnects the second time. Without an address the box names it, the focus goes to the
// address box and the folder command is still sent.
TEST_F(RemoteView, ConnectButtonListAndLabel)
{
    writeFile(appFolder.filePath("ftp.ini"), "[Geral]\r\nFTP=ftp.loja.com.br\r\nPASTAS=pedidos\r\n");
    control.script("dir", answer("./\r\n../\r\npedidos/\r\na.txt\r\n"));
    w().cmdConecta->click();
    EXPECT_EQ(sent(), QStringList({"dir", "pwd", "cd pedidos", "dir", "pwd"}));
    EXPECT_EQ(state(), "11111 D&esconectar do Host Remoto");
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));
    EXPECT_EQ(w().lblRemoteDirectory->text(), "/pedidos");
    w().cmdConecta->click();
    EXPECT_EQ(state(), "00000 &Conectar ao Host Remoto");
    EXPECT_EQ(remoteEntries(), QStringList({"../", "pedidos/", "a.txt"}));

    restart(true);
    control.executed.clear();
    w().txtAddress->clear();
    w().cmdConecta->click();
    EXPECT_EQ(sent(), QStringList({"cd pedidos", "dir", "pwd"}));
    EXPECT_EQ(w().focusWidget(), w().txtAddress);
    EXPECT_EQ(state(), "00000 &Conectar com o Host Remoto");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Informe o nome do servidor FTP.");
}

// A double-click enters folder entries only. The user's selection is the session's, and the
// marks the walk clears are cleared in the list.
TEST_F(RemoteView, DoubleClickAndSelection)
{
    for (int row : {0, 1, 2, -1}) {
        session().remote().setEntries({"../", "minha pasta/", "a.txt"});
        w().lstRemote->setCurrentRow(row);
        app->remoteView().lstRemote_DblClick();
    }
    EXPECT_EQ(sent(), QStringList({"cd ..", "dir", "pwd", "cd minha pasta", "dir", "pwd"}));

    session().remote().setEntries({"../", "PED1.txt", "PED2.txt"});
    w().lstRemote->item(0)->setSelected(true);
    w().lstRemote->item(2)->setSelected(true);
    EXPECT_TRUE(session().remote().isSelected(0) && !session().remote().isSelected(1) && session().remote().isSelected(2));
    w().lstRemote->item(0)->setSelected(false);
    EXPECT_FALSE(session().remote().isSelected(0));
    session().remote().setSelected(2, false);
    EXPECT_EQ(remoteEntries(), QStringList({"../", "PED1.txt", "PED2.txt"}));
}

TEST_F(RemoteView, StatusLineLogAndCaretFollowTheStates)
{
    w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    for (int i = 0; i < 200; ++i)
        session().appendLog(QStringLiteral("Comando: recv PED%1.txt").arg(i));
    session().itcFTP_StateChanged(FtpState::Disconnected);
    EXPECT_EQ(w().lblStatus->text(), "Desconectado");
    EXPECT_EQ(log().size(), 200);

    // A failed response: the report on the status line, cut to its frame, whole in the tooltip.
    const QString report = "Arquivo ou pasta não encontrado, ou sem permissão, no servidor FTP ftp.loja.exemplo.com.br:21: "
                           "550 /pedidos/PEDIDO DE VENDA 2024-0001.txt: No such file or directory. (curl 78)";
    control.script("dir", FakeTransferControl::refusal(report));
    control.emitStates = false;
    control.Execute(FtpCommand{"dir", {}});
    session().itcFTP_StateChanged(FtpState::Error);
    EXPECT_EQ(log().last(), report);
    EXPECT_EQ(w().lblStatus->toolTip(), report);
    EXPECT_LE(w().lblStatus->fontMetrics().horizontalAdvance(w().lblStatus->text()), w().lblStatus->contentsRect().width());

    // Every notification, even of an unknown number, brings the caret to the end and the newest
    // line into view, even after the user scrolled up; a fixed text clears the tooltip.
    QScrollBar* bar = w().txtLog->verticalScrollBar();
    w().txtLog->moveCursor(QTextCursor::Start);
    session().itcFTP_StateChanged(FtpState(13));
    EXPECT_TRUE(w().txtLog->textCursor().atEnd());
    EXPECT_EQ(w().lblStatus->toolTip(), report);
    bar->setValue(0);
    session().itcFTP_StateChanged(FtpState::ResponseCompleted);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(w().lblStatus->text(), "operacao Completa");
    EXPECT_EQ(w().lblStatus->toolTip(), QString());
}

} // namespace
