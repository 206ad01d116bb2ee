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
    StartMode mode = StartMode::Interactive;

    frmFTP& start(bool show = false)
    {
        app.reset(); // one session at a time listens to the control
        app = std::make_unique<AppWindow>(control, dialogs, clock, dir.path());
        mode = app->Form_Load();
        if (show) {
            app->window().show();
            app->window().activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&app->window()));
        }
        return app->window();
    }
};

TEST_F(AppWindowTest, FormLoadFillsTheWindowFromFtpIniAndDecidesTheMode)
{
    const struct {
        const char* file;
        QByteArray ini;
        QString window; // mode, address, user, password, folder label, seller code
    } cases[] = {
        {nullptr, {}, "Interactive||||/|unset"},
        {"ftp.ini", "[Geral]\r\nFTP=\"   \"\r\nUSUARIO=loja\r\nSENHA=s\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n",
         "Interactive|   |loja|s|/pedidos|12"}, // blanks are no server
        {"ftp.ini", "[Geral]\r\nFTP=\r\n", "Interactive|||||"}, // a missing key empties its field
        {"FTP.INI", "[GERAL]\r\nftp= ftp.loja.com.br \r\nPASTAS=/in\r\n", "Unattended|ftp.loja.com.br|||/in|"},
    };
    for (const auto& c : cases) {
        QFile::remove(dir.filePath("ftp.ini"));
        QFile::remove(dir.filePath("FTP.INI"));
        if (c.file)
            writeFile(dir.filePath(c.file), c.ini);
        frmFTP& w = start();
        EXPECT_EQ(QStringList({mode == StartMode::Interactive ? "Interactive" : "Unattended", w.txtAddress->text(), w.txtUsername->text(),
                               w.txtPassword->text(), w.lblRemoteDirectory->text(), app->sellerCode().value_or("unset")})
                      .join('|'),
                  c.window);
    }
}

// Saving asks first, keeps the seller code read at start-up; a value that cannot be written is
// told with the critical icon and the file stays. Focus never stays in the log.
TEST_F(AppWindowTest, SavingSettingsAndFocus)
{
    writeFile(dir.filePath("ftp.ini"), "[Geral]\r\nFTP=\r\nUSUARIO=antigo\r\nCOD_VENDEDOR=12\r\n");
    const QByteArray before = readFile(dir.filePath("ftp.ini"));
    frmFTP& w = start(true);
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);
    QTest::mouseClick(w.txtLog->viewport(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);

    w.txtAddress->setText("ftp.loja.com.br");
    w.txtUsername->setText("joão");
    w.lblRemoteDirectory->setText("/pedidos");
    QTest::mouseClick(w.Command1, Qt::LeftButton); // answered no
    ASSERT_EQ(dialogs.confirmations.size(), 1);
    EXPECT_TRUE(dialogs.confirmations[0].contains("importação automática")); // what a saved address does
    EXPECT_EQ(readFile(dir.filePath("ftp.ini")), before);
    dialogs.confirmAnswer = true;
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    const QByteArray saved = "[Geral]\r\nFTP=ftp.loja.com.br\r\nUSUARIO=jo\xe3o\r\nSENHA=\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n";
    EXPECT_EQ(readFile(dir.filePath("ftp.ini")), saved);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    w.lblRemoteDirectory->setText("/a\nFTP=outro");
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, Icon::Critical);
    EXPECT_EQ(readFile(dir.filePath("ftp.ini")), saved);
}

// Closing sends "Quit" only while connected; a failure there is told, and the window closes.
TEST_F(AppWindowTest, ClosingSendsQuitOnlyWhileConnected)
{
    EXPECT_TRUE(start(true).close());
    EXPECT_TRUE(control.calls.isEmpty());

    FakeTransferControl::Reply quit;
    quit.throwNumber = 35764;
    control.script("Quit", quit);
    frmFTP& w = start(true);
    w.txtAddress->setText("ftp.loja.com.br");
    ASSERT_TRUE(app->session().CONECTA());
    control.calls.clear();
    EXPECT_TRUE(w.close());
    EXPECT_EQ(control.calls, QStringList{"Execute Quit"});
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "Erro na aplicação FTP");
    EXPECT_EQ(dialogs.messages[0].icon, Icon::Critical);
}

} // namespace
