// Start-up, focus, saving ftp.ini and closing, with doubles for the control and the dialogs.
#include "gui/app_window.h"
#include "gui/ftp_session.h"

#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
#include "support/fixed_clock.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class AppWindowTest : public ::testing::Test {
protected:
    void writeIni(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray iniBytes(const QString& name = QStringLiteral("ftp.ini"))
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void showAndActivate(frmFTP& w)
    {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    QTemporaryDir dir;
    FakeTransferControl control;
    FakeDialogs dialogs;
    FixedClock clock;
};

} // namespace

TEST_F(AppWindowTest, FormLoadReadsFtpIniAndDecidesTheMode)
{
    {   // no ftp.ini: the window keeps its initial content
        AppWindow app(control, dialogs, clock, dir.path());
        EXPECT_EQ(app.Form_Load(), StartMode::Interactive);
        EXPECT_EQ(app.applicationFolder(), dir.path() + "/");
        EXPECT_EQ(app.window().lblRemoteDirectory->text(), "/");
        EXPECT_FALSE(app.sellerCode().has_value());
    }
    {   // a server address of blanks only is no server: the window is shown with the rest filled in
        writeIni("ftp.ini", "[Geral]\r\nFTP=   \r\nUSUARIO=loja\r\nSENHA=segredo\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n");
        AppWindow app(control, dialogs, clock, dir.path() + "/");
        EXPECT_EQ(app.Form_Load(), StartMode::Interactive);
        EXPECT_EQ(app.applicationFolder(), dir.path() + "/");
        EXPECT_EQ(app.window().txtUsername->text(), "loja");
        EXPECT_EQ(app.window().txtPassword->text(), "segredo");
        EXPECT_EQ(app.window().lblRemoteDirectory->text(), "/pedidos");
        EXPECT_EQ(app.sellerCode(), std::optional<QString>("12"));
    }
    {   // an empty FTP= likewise
        writeIni("ftp.ini", "[Geral]\r\nFTP=\r\n");
        AppWindow app(control, dialogs, clock, dir.path());
        EXPECT_EQ(app.Form_Load(), StartMode::Interactive);
        EXPECT_EQ(app.window().lblRemoteDirectory->text(), "");   // a missing key empties the label
        EXPECT_EQ(app.sellerCode(), std::optional<QString>(""));
    }
    {   // a server named, in a file stored as FTP.INI: unattended
        ASSERT_TRUE(QFile::remove(dir.filePath("ftp.ini")));
        writeIni("FTP.INI", "[GERAL]\r\nftp= ftp.loja.com.br \r\nPASTAS=/in\r\n");
        AppWindow app(control, dialogs, clock, dir.path());
        EXPECT_EQ(app.Form_Load(), StartMode::Unattended);
        EXPECT_EQ(app.window().txtAddress->text(), "ftp.loja.com.br");
        EXPECT_EQ(app.window().lblRemoteDirectory->text(), "/in");
        EXPECT_FALSE(app.window().isVisible());
    }
    EXPECT_TRUE(control.calls.isEmpty());   // start-up alone says nothing to the server
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(AppWindowTest, TheUnattendedRunIsReportedAsUnavailableNotAsDone)
{
    writeIni("ftp.ini", "[Geral]\r\nFTP=127.0.0.1\r\n");
    AppWindow app(control, dialogs, clock, dir.path());
    ASSERT_EQ(app.Form_Load(), StartMode::Unattended);
    EXPECT_FALSE(app.runUnattended());
    EXPECT_TRUE(dialogs.failureReported());
}

TEST_F(AppWindowTest, FocusStartsInTheAddressBoxAndNeverStaysInTheLog)
{
    AppWindow app(control, dialogs, clock, dir.path());
    frmFTP& w = app.window();
    app.Form_Load();
    showAndActivate(w);
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);

    w.txtUsername->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w.txtUsername);
    QTest::mouseClick(w.txtLog->viewport(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);

    w.txtPassword->setFocus();
    w.txtLog->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), w.txtAddress);
}

TEST_F(AppWindowTest, TabWalksTheControlsInTheFormsOrder)
{
    AppWindow app(control, dialogs, clock, dir.path());
    frmFTP& w = app.window();
    app.Form_Load();
    showAndActivate(w);
    ASSERT_EQ(QApplication::focusWidget(), w.txtAddress);

    auto walk = [](int steps, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QStringList names;
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, mods);
            names << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QStringLiteral("<none>"));
        }
        return names;
    };
    // Disconnected: the five transfer controls are skipped; after the last control the log
    // would come next, and it hands the focus to the address box.
    EXPECT_EQ(walk(7), (QStringList{"txtUsername", "txtPassword", "drvList", "dirList", "filList", "Command1", "txtAddress"}));
    EXPECT_EQ(walk(1, Qt::ShiftModifier), QStringList{"cmdConecta"});

    for (QWidget* c : {static_cast<QWidget*>(w.cmdEnvia), static_cast<QWidget*>(w.cmdRecebe),
                       static_cast<QWidget*>(w.cmdMkDir), static_cast<QWidget*>(w.cmdDelete),
                       static_cast<QWidget*>(w.lstRemote)})
        c->setEnabled(true);
    w.txtAddress->setFocus();
    EXPECT_EQ(walk(12), (QStringList{"txtUsername", "txtPassword", "lstRemote", "drvList", "dirList", "filList",
                                     "cmdEnvia", "cmdRecebe", "cmdMkDir", "cmdDelete", "Command1", "txtAddress"}));
}

TEST_F(AppWindowTest, Command1SavesTheSettingsOnlyWhenConfirmed)
{
    writeIni("ftp.ini", "[Geral]\r\nFTP=\r\nUSUARIO=antigo\r\nCOD_VENDEDOR=12\r\n");
    const QByteArray before = iniBytes();
    AppWindow app(control, dialogs, clock, dir.path());
    frmFTP& w = app.window();
    ASSERT_EQ(app.Form_Load(), StartMode::Interactive);
    w.txtAddress->setText(QStringLiteral("ftp.loja.com.br"));
    w.txtUsername->setText(QStringLiteral("joão"));
    w.txtPassword->setText(QStringLiteral("segredo"));
    w.lblRemoteDirectory->setText(QStringLiteral("/pedidos"));

    dialogs.confirmAnswer = false;
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    ASSERT_EQ(dialogs.confirmations.size(), 1);
    // The question says what a saved address does to every later start.
    EXPECT_TRUE(dialogs.confirmations[0].contains("ftp.ini"));
    EXPECT_TRUE(dialogs.confirmations[0].contains("importação automática"));
    EXPECT_TRUE(dialogs.confirmations[0].contains("apaga"));
    EXPECT_EQ(iniBytes(), before);

    dialogs.confirmAnswer = true;
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    EXPECT_EQ(iniBytes(), QByteArray("[Geral]\r\nFTP=ftp.loja.com.br\r\nUSUARIO=jo\xe3o\r\nSENHA=segredo\r\n"
                                     "PASTAS=/pedidos\r\nCOD_VENDEDOR=12\r\n"));
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // Saving without an address says the window keeps opening; a write that cannot be done
    // is reported with the critical icon and leaves the file as it was.
    w.txtAddress->clear();
    w.lblRemoteDirectory->setText(QStringLiteral("/a\nFTP=outro"));
    const QByteArray saved = iniBytes();
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    EXPECT_FALSE(dialogs.confirmations.last().contains("importação automática"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, Icon::Critical);
    EXPECT_TRUE(dialogs.messages[0].text.contains("ftp.ini"));
    EXPECT_EQ(iniBytes(), saved);
    EXPECT_TRUE(control.calls.isEmpty());
}

TEST_F(AppWindowTest, Command1WithoutFtpIniWritesAnEmptySellerCode)
{
    AppWindow app(control, dialogs, clock, dir.path());
    ASSERT_EQ(app.Form_Load(), StartMode::Interactive);
    dialogs.confirmAnswer = true;
    app.Command1_Click();
    EXPECT_EQ(iniBytes(), QByteArray("[Geral]\r\nFTP=\r\nUSUARIO=\r\nSENHA=\r\nPASTAS=/\r\nCOD_VENDEDOR=\r\n"));
}

TEST_F(AppWindowTest, ClosingSendsQuitOnlyWhileConnected)
{
    {
        AppWindow app(control, dialogs, clock, dir.path());
        app.Form_Load();
        showAndActivate(app.window());
        EXPECT_TRUE(app.window().close());
        EXPECT_FALSE(app.window().isVisible());
        EXPECT_TRUE(control.calls.isEmpty());
    }
    {
        AppWindow app(control, dialogs, clock, dir.path());
        app.Form_Load();
        app.window().txtAddress->setText("ftp.loja.com.br");
        ASSERT_TRUE(app.session().CONECTA());
        control.calls.clear();
        app.window().txtLog->clear();
        showAndActivate(app.window());
        EXPECT_TRUE(app.window().close());
        EXPECT_EQ(control.calls, QStringList{"Execute Quit"});   // once, nothing else, no wait
        // Not logged as a command (its completion notification may still show in the log).
        EXPECT_FALSE(app.window().txtLog->toPlainText().contains("Comando"));
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
    {   // the control fails: one critical box, and the window closes all the same
        FakeTransferControl::Reply fails;
        fails.throwOnExecute = true;
        control.script("Quit", fails);
        AppWindow app(control, dialogs, clock, dir.path());
        app.Form_Load();
        app.window().txtAddress->setText("ftp.loja.com.br");
        ASSERT_TRUE(app.session().CONECTA());
        showAndActivate(app.window());
        EXPECT_TRUE(app.window().close());
        EXPECT_FALSE(app.window().isVisible());
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].text, "Erro na aplicação FTP");
        EXPECT_EQ(dialogs.messages[0].icon, Icon::Critical);
        EXPECT_EQ(dialogs.messages[0].title, "");
    }
}
