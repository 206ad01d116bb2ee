// Start-up, focus, saving ftp.ini and closing, with doubles for the control and the dialogs.
#include "window_rig.h"

#include <QApplication>

TEST(AppWindow, FormLoadFillsTheWindowFromFtpIni)
{
    WindowRig rig;
    const struct {
        const char* file;
        QByteArray ini;
        QString window; // address, user, password, folder label, seller code
    } cases[] = {
        {nullptr, {}, "||||/|unset"},
        {"ftp.ini", "[Geral]\r\nFTP=\"   \"\r\nUSUARIO=loja\r\nSENHA=s\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n",
         "|   |loja|s|/pedidos|12"},
        {"ftp.ini", "[Geral]\r\nFTP=\r\n", "|||||"}, // a missing key empties its field
        {"FTP.INI", "[GERAL]\r\nftp= ftp.loja.com.br \r\nPASTAS=/in\r\n", "|ftp.loja.com.br|||/in|"},
    };
    for (const auto& c : cases) {
        QFile::remove(rig.appFolder.filePath("ftp.ini"));
        if (c.file)
            writeFile(rig.appFolder.filePath(c.file), c.ini);
        rig.restart();
        frmFTP& w = rig.w();
        EXPECT_EQ(QStringList({"", w.txtAddress->text(), w.txtUsername->text(), w.txtPassword->text(), w.lblRemoteDirectory->text(),
                               rig.app->sellerCode().value_or("unset")})
                      .join('|'),
                  c.window);
        EXPECT_EQ(rig.session().address(), w.txtAddress->text()); // what the session connects to
    }
}

// Saving asks first, keeps the seller code read at start-up; a value that cannot be written is
// told with the critical icon and the file stays. Focus never stays in the log.
TEST(AppWindow, SavingSettingsAndFocus)
{
    WindowRig rig;
    const QString ini = writeFile(rig.appFolder.filePath("ftp.ini"), "[Geral]\r\nFTP=\r\nUSUARIO=antigo\r\nCOD_VENDEDOR=12\r\n");
    const QByteArray before = readFile(ini);
    rig.restart(true);
    frmFTP& w = rig.w();
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);
    QTest::mouseClick(w.txtLog->viewport(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);

    w.txtAddress->setText("ftp.loja.com.br");
    w.txtUsername->setText("joão");
    rig.session().remote().setPath("/pedidos");
    QTest::mouseClick(w.Command1, Qt::LeftButton); // answered no
    ASSERT_EQ(rig.dialogs.confirmations.size(), 1);
    EXPECT_TRUE(rig.dialogs.confirmations[0].contains("importação automática")); // what a saved address does
    EXPECT_EQ(readFile(ini), before);
    rig.dialogs.confirmAnswer = true;
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    const QByteArray saved = "[Geral]\r\nFTP=ftp.loja.com.br\r\nUSUARIO=jo\xe3o\r\nSENHA=\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n";
    EXPECT_EQ(readFile(ini), saved);
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());

    rig.session().remote().setPath("/a\nFTP=outro");
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_EQ(rig.dialogs.messages[0].icon, Icon::Critical);
    EXPECT_EQ(readFile(ini), saved);
}

// Closing sends "Quit" only while connected; a failure there is told, and the window closes.
TEST(AppWindow, ClosingSendsQuitOnlyWhileConnected)
{
    WindowRig rig;
    rig.restart(true);
    EXPECT_TRUE(rig.w().close());
    EXPECT_TRUE(rig.control.calls.isEmpty());

    Reply quit;
    quit.throwNumber = 35764;
    rig.control.script("Quit", quit);
    rig.restart(true);
    rig.w().txtAddress->setText("ftp.loja.com.br");
    ASSERT_TRUE(rig.session().CONECTA());
    rig.control.calls.clear();
    EXPECT_TRUE(rig.w().close());
    EXPECT_EQ(rig.control.calls, QStringList{"Execute Quit"});
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_EQ(rig.dialogs.messages[0].text, "Erro na aplicação FTP");
    EXPECT_EQ(rig.dialogs.messages[0].icon, Icon::Critical);
}
