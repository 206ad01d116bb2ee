// Remote listing, navigation, status line and log on the real window with a scripted control.
#include "session_fixture.h"

#include <QGroupBox>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

using Listing = SessionTest<>;
using Display = SessionTest<>;

// Lists a "dir" answer and returns the entries.
QStringList listed(Listing& t, const QString& dirAnswer)
{
    t.control.script(QStringLiteral("dir"), Listing::answer(dirAnswer));
    t.session->ATUALIZA_LISTA();
    return t.remoteEntries();
}

TEST_F(Listing, LinesAreSplitAtCarriageReturnsAcrossPieces)
{
    EXPECT_EQ(listed(*this, "./\r\n../\r\npedidos/\r\na.txt\r\n"), (QStringList{"../", "pedidos/", "a.txt"}));
    // Empty lines are not listed; the unfinished last line neither.
    EXPECT_EQ(listed(*this, "./\r\n\r\n../\r\n\r\nb.txt\r\nmeio.tx"), (QStringList{"../", "b.txt"}));
    // Each listing replaces the previous one.
    EXPECT_EQ(listed(*this, "./\r\n"), QStringList{});

    // A line cut by the 1024-character piece boundary is listed whole and once.
    const QString first = QString(1018, QLatin1Char('f')) + QStringLiteral("\r\n");   // 1020 characters
    const QString across = QStringLiteral("PEDIDO 0001.txt\r\n");                        // 1020 .. 1036
    control.chunkSizes.clear();
    EXPECT_EQ(listed(*this, first + across), (QStringList{QString(1018, QLatin1Char('f')), "PEDIDO 0001.txt"}));
    EXPECT_EQ(control.chunkSizes, (QList<int>{1024, 1024, 1024, 1024})); // two pieces, the empty end, "pwd"

    // The boundary falling between CR and LF: the LF that opens the next piece is skipped.
    const QString crAtEnd = QString(1023, QLatin1Char('g')) + QStringLiteral("\r\n");  // CR at 1023, LF at 1024
    EXPECT_EQ(listed(*this, crAtEnd + QStringLiteral("h.txt\r\n")), (QStringList{QString(1023, QLatin1Char('g')), "h.txt"}));

    // A large folder: every entry, in the server's order.
    QString big = QStringLiteral("./\r\n../\r\n");
    QStringList expected{"../"};
    for (int i = 0; i < 500; ++i) {
        const QString name = QStringLiteral("PED%1.txt").arg(i, 5, 10, QLatin1Char('0'));
        big += name + QStringLiteral("\r\n");
        expected << name;
    }
    EXPECT_EQ(listed(*this, big), expected);
}

TEST_F(Listing, CommandStartedDuringTheListingTakesOverTheList)
{
    QString answer = QStringLiteral("./\r\n../\r\n");
    QStringList expected{"../"};
    for (int i = 0; i < 200; ++i) {
        expected << QStringLiteral("PED%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        answer += expected.last() + QStringLiteral("\r\n");
    }
    control.script(QStringLiteral("dir"), SessionTest::answer(answer));
    control.script(QStringLiteral("pwd"), SessionTest::answer(QStringLiteral("/loja")));
    const auto click = [this] { session->EXECUTA_COMANDO(FtpCommand{"cd", {"loja"}}, true); };

    // A double-click handled while the "dir" runs, and one handled between two pieces of its
    // answer: either way the folder entered last is listed, each entry once.
    for (const bool betweenPieces : {false, true}) {
        control.executed.clear();
        w.lstRemote->clear();
        if (betweenPieces)
            control.onGetChunk = [&] {
                control.onGetChunk = nullptr;
                QTimer::singleShot(0, session.get(), click);
            };
        else
            QTimer::singleShot(0, session.get(), click);

        session->ATUALIZA_LISTA();

        EXPECT_EQ(executedTexts(), (QStringList{"dir", "cd loja", "dir", "pwd"})) << executedTexts().join('|').toStdString();
        EXPECT_EQ(remoteEntries(), expected) << betweenPieces;
        EXPECT_EQ(w.lblRemoteDirectory->text(), QStringLiteral("/loja"));
    }
}

TEST_F(Listing, FolderLabelShowsTheFirstPieceOfThePwdAnswer)
{
    control.script(QStringLiteral("pwd"), answer(QStringLiteral("/loja/pedidos")));
    session->ATUALIZA_LISTA();
    EXPECT_EQ(w.lblRemoteDirectory->text(), QStringLiteral("/loja/pedidos"));
    EXPECT_EQ(w.lblRemoteDirectory->size(), w.lblRemoteDirectory->sizeHint());
    EXPECT_EQ(executedTexts(), (QStringList{"dir", "pwd"}));

    // A name that looks like markup is shown as the server named it.
    control.script(QStringLiteral("pwd"), answer(QStringLiteral("/loja/<b>novos</b>")));
    session->ATUALIZA_LISTA();
    EXPECT_GE(w.lblRemoteDirectory->sizeHint().width(),
              w.lblRemoteDirectory->fontMetrics().horizontalAdvance(QStringLiteral("/loja/<b>novos</b>")));

    const QString longPath = QStringLiteral("/") + QString(1500, QLatin1Char('d'));
    control.script(QStringLiteral("pwd"), answer(longPath));
    session->ATUALIZA_LISTA();
    EXPECT_EQ(w.lblRemoteDirectory->text(), longPath.left(1024));
}

TEST_F(Listing, DoubleClickEntersFoldersOnly)
{
    w.txtAddress->setText(QStringLiteral("ftp.loja"));
    control.script(QStringLiteral("dir"), answer(QStringLiteral("./\r\n../\r\npedidos/\r\nminha pasta/\r\na.txt\r\n")));
    session->CONECTA();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    // A real double-click on "pedidos/".
    control.executed.clear();
    QListWidgetItem* pedidos = w.lstRemote->item(1);
    ASSERT_EQ(pedidos->text(), QStringLiteral("pedidos/"));
    const QPoint at = w.lstRemote->visualItemRect(pedidos).center();
    QTest::mouseClick(w.lstRemote->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w.lstRemote->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(executedTexts(), (QStringList{"cd pedidos", "dir", "pwd"}));
    EXPECT_EQ(session->lastFolderCommand, (FtpCommand{"cd", {"pedidos"}}));

    // The parent entry, and a name with a blank kept as one argument.
    control.executed.clear();
    w.lstRemote->setCurrentRow(0);
    session->lstRemote_DblClick();
    w.lstRemote->setCurrentRow(2);
    ASSERT_EQ(w.lstRemote->currentItem()->text(), QStringLiteral("minha pasta/"));
    session->lstRemote_DblClick();
    ASSERT_EQ(control.executed.size(), 6);
    EXPECT_EQ(control.executed[0], (FtpCommand{"cd", {".."}}));
    EXPECT_EQ(control.executed[3], (FtpCommand{"cd", {"minha pasta"}}));

    // A file, or no current entry: nothing is sent.
    control.executed.clear();
    w.lstRemote->setCurrentRow(3);
    ASSERT_EQ(w.lstRemote->currentItem()->text(), QStringLiteral("a.txt"));
    session->lstRemote_DblClick();
    w.lstRemote->setCurrentRow(-1);
    session->lstRemote_DblClick();
    EXPECT_TRUE(control.executed.isEmpty());
    EXPECT_EQ(session->lastFolderCommand, (FtpCommand{"cd", {"minha pasta"}}));
}

TEST_F(Display, StatusLineAndLogFollowTheStates)
{
    // Progress states change the status line only; they are not logged.
    session->appendLog(QStringLiteral("Comando: dir"));
    for (int state = 1; state <= 10; ++state)
        session->itcFTP_StateChanged(state);
    EXPECT_EQ(w.lblStatus->text(), QStringLiteral("Desconectado"));
    EXPECT_EQ(session->logText(), QStringLiteral("Comando: dir"));

    // A failed response: the control's report on the status line and as a log line.
    FakeTransferControl::Reply refused;
    refused.ok = false;
    refused.report = QStringLiteral("530 Login incorreto.");
    control.script(QStringLiteral("dir"), refused);
    control.emitStates = false;
    control.Execute(FtpCommand{"dir", {}});
    session->itcFTP_StateChanged(11);
    EXPECT_EQ(w.lblStatus->text(), QStringLiteral("530 Login incorreto."));
    EXPECT_EQ(logLines().last(), QStringLiteral("530 Login incorreto."));

    // A report longer than the line stays inside the Status frame, whole in the tooltip.
    refused.report = QStringLiteral("Arquivo ou pasta não encontrado, ou sem permissão, no servidor FTP "
                                    "ftp.loja.exemplo.com.br:21: 550 /pedidos/PEDIDO DE VENDA 2024-0001.txt: "
                                    "No such file or directory. (curl 78)");
    control.script(QStringLiteral("dir"), refused);
    control.Execute(FtpCommand{"dir", {}});
    session->itcFTP_StateChanged(11);
    EXPECT_EQ(logLines().last(), refused.report);
    EXPECT_EQ(w.lblStatus->toolTip(), refused.report);
    EXPECT_TRUE(w.lblStatus->text().endsWith(QChar(0x2026))) << w.lblStatus->text().toStdString();
    EXPECT_TRUE(w.fraStatus->rect().contains(w.lblStatus->geometry()));
    EXPECT_LE(w.lblStatus->fontMetrics().horizontalAdvance(w.lblStatus->text()), w.lblStatus->contentsRect().width());

    session->itcFTP_StateChanged(12);
    EXPECT_EQ(w.lblStatus->text(), QStringLiteral("operacao Completa"));
    EXPECT_EQ(w.lblStatus->toolTip(), QString());
    EXPECT_EQ(logLines().last(), QStringLiteral("operacao Completa"));

    // Unknown numbers change nothing but still bring the caret to the end.
    const QString log = session->logText();
    for (int state : {0, 13, -1}) {
        QTextCursor start = w.txtLog->textCursor();
        start.movePosition(QTextCursor::Start);
        w.txtLog->setTextCursor(start);
        session->itcFTP_StateChanged(state);
        EXPECT_EQ(w.lblStatus->text(), QStringLiteral("operacao Completa")) << state;
        EXPECT_EQ(session->logText(), log) << state;
        EXPECT_EQ(w.txtLog->textCursor().position(), w.txtLog->document()->characterCount() - 1) << state;
    }
    // Every log line was traced, in order.
    EXPECT_EQ(dialogs.traces, logLines());
}

TEST_F(Display, NewestLineIsInViewAfterEveryNotificationWhereverTheUserScrolled)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int i = 0; i < 200; ++i)
        session->appendLog(QStringLiteral("Comando: recv PED%1.txt /tmp/PED%1.txt").arg(i));
    QScrollBar* bar = w.txtLog->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    // The line at the foot of the log box is its last line.
    const auto newestInView = [&] {
        const QPoint foot(4, w.txtLog->viewport()->height() - w.txtLog->fontMetrics().height() / 2);
        return w.txtLog->cursorForPosition(foot).blockNumber() == w.txtLog->document()->blockCount() - 1;
    };
    // The user scrolled the log up, caret left at the end; then with the caret elsewhere too.
    for (const bool caretMoved : {false, true}) {
        bar->setValue(0);
        if (caretMoved)
            w.txtLog->moveCursor(QTextCursor::Start);
        ASSERT_FALSE(newestInView());
        session->appendLog(QStringLiteral("Comando: dir"));
        session->itcFTP_StateChanged(caretMoved ? 8 : 12);
        EXPECT_TRUE(w.txtLog->textCursor().atEnd()) << caretMoved;
        EXPECT_EQ(bar->value(), bar->maximum()) << caretMoved;
        EXPECT_TRUE(newestInView()) << caretMoved;
    }
}

} // namespace
