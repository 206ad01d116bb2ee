// Start-up, focus, saving ftp.ini and closing, with doubles for the control and the dialogs.
#include "gui/app_window.h"
#include "gui/ftp_session.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
#include "support/fixed_clock.h"
#include "support/test_util.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using testutil::readFile;
using testutil::writeFile;

namespace {

struct AppWindowTest : ::testing::Test {
    QTemporaryDir dir;
    FakeTransferControl control;
    FakeDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<AppWindow> app;

    frmFTP& start(const char* iniName = nullptr, const QByteArray& ini = {})
    {
        if (iniName)
            writeFile(dir.filePath(iniName), ini);
        app.reset();   // one session at a time listens to the control
        app = std::make_unique<AppWindow>(control, dialogs, clock, dir.path());
        mode = app->Form_Load();
        return app->window();
    }
    void show()
    {
        app->window().show();
        app->window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&app->window()));
    }
    StartMode mode = StartMode::Interactive;
};

TEST_F(AppWindowTest, FormLoadFillsTheWindowFromFtpIniAndDecidesTheMode)
{
    const struct {
        const char* file;
        QByteArray ini;
        QString window;   // mode, address, user, folder label, seller code
    } cases[] = {
        {nullptr, {}, "Interactive||||/|unset"},
        {"ftp.ini", "[Geral]\r\nFTP=\"   \"\r\nUSUARIO=loja\r\nSENHA=s\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n",
         "Interactive|   |loja|s|/pedidos|12"},   // blanks are no server
        {"ftp.ini", "[Geral]\r\nFTP=\r\n", "Interactive|||||"},   // a missing key empties its field
        {"FTP.INI", "[GERAL]\r\nftp= ftp.loja.com.br \r\nPASTAS=/in\r\n", "Unattended|ftp.loja.com.br|||/in|"},
    };
    for (const auto& c : cases) {
        QFile::remove(dir.filePath("ftp.ini"));
        QFile::remove(dir.filePath("FTP.INI"));
        frmFTP& w = start(c.file, c.ini);
        EXPECT_EQ(QStringList({mode == StartMode::Interactive ? "Interactive" : "Unattended", w.txtAddress->text(), w.txtUsername->text(),
                               w.txtPassword->text(), w.lblRemoteDirectory->text(), app->sellerCode().value_or("unset")})
                      .join('|'),
                  c.window);
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(AppWindowTest, FocusNeverStaysInTheLog)
{
    frmFTP& w = start();
    show();
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);
    QTest::mouseClick(w.txtLog->viewport(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);
}

TEST_F(AppWindowTest, SavingSettingsAsksFirstKeepsTheSellerCodeAndTellsAFailure)
{
    frmFTP& w = start("ftp.ini", "[Geral]\r\nFTP=\r\nUSUARIO=antigo\r\nCOD_VENDEDOR=12\r\n");
    const QByteArray before = readFile(dir.filePath("ftp.ini"));
    w.txtAddress->setText("ftp.loja.com.br");
    w.txtUsername->setText("joão");
    w.lblRemoteDirectory->setText("/pedidos");
    QTest::mouseClick(w.Command1, Qt::LeftButton);   // answered no
    ASSERT_EQ(dialogs.confirmations.size(), 1);
    EXPECT_TRUE(dialogs.confirmations[0].contains("importação automática"));   // what a saved address does
    EXPECT_EQ(readFile(dir.filePath("ftp.ini")), before);

    dialogs.confirmAnswer = true;
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    EXPECT_EQ(readFile(dir.filePath("ftp.ini")), "[Geral]\r\nFTP=ftp.loja.com.br\r\nUSUARIO=jo\xe3o\r\nSENHA=\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n");
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A value that cannot be written is told with the critical icon; the file stays.
    const QByteArray saved = readFile(dir.filePath("ftp.ini"));
    w.lblRemoteDirectory->setText("/a\nFTP=outro");
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, Icon::Critical);
    EXPECT_EQ(readFile(dir.filePath("ftp.ini")), saved);
}

TEST_F(AppWindowTest, ClosingSendsQuitOnlyWhileConnected)
{
    start();
    show();
    EXPECT_TRUE(app->window().close());
    EXPECT_TRUE(control.calls.isEmpty());

    for (bool fails : {false, true}) {
        FakeTransferControl::Reply quit;
        quit.throwOnExecute = fails;
        control.script("Quit", quit);
        frmFTP& w = start();
        w.txtAddress->setText("ftp.loja.com.br");
        ASSERT_TRUE(app->session().CONECTA());
        control.calls.clear();
        show();
        EXPECT_TRUE(w.close());   // the window closes whatever happened
        EXPECT_EQ(control.calls, QStringList{"Execute Quit"});
        EXPECT_EQ(dialogs.messages.size(), fails ? 1 : 0);
    }
    EXPECT_EQ(dialogs.messages.value(0).text, "Erro na aplicação FTP");
    EXPECT_EQ(dialogs.messages.value(0).icon, Icon::Critical);
}

} // namespace
