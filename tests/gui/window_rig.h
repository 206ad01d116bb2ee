#pragma once
// The application window on a scripted transfer control (or the real one), with doubles for the
// dialogs and the clock, ftp.ini in a temporary application folder and the local lists on a
// temporary folder.
#include "gui/app_window.h"
#include "gui/frmFTP.h"
#include "gui/ftp_session.h"
#include "gui/local_lists.h"
#include "gui/transfers.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
#include "support/fixed_clock.h"
#include "support/test_util.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using testutil::readFile;
using testutil::writeFile;
using Reply = FakeTransferControl::Reply;

template <class Control = FakeTransferControl>
struct WindowRig {
    QTemporaryDir appFolder, tmp;
    // One level down, so a name with "../" that slipped through stays inside the test's folder.
    QString folder = tmp.path() + QStringLiteral("/local");
    FakeDialogs dialogs;
    FixedClock clock;
    Control control;
    std::unique_ptr<AppWindow> app = std::make_unique<AppWindow>(control, dialogs, clock, appFolder.path());

    WindowRig()
    {
        QDir().mkpath(folder);
        EXPECT_TRUE(app->localLists().setPath(folder));
        w().txtAddress->setText(QStringLiteral("ftp.loja.com.br"));
        if constexpr (std::is_same_v<Control, FakeTransferControl>) {
            // A "recv" that succeeds leaves content(name) at the local path, as the control does.
            Reply recv;
            recv.effect = [](const FtpCommand& c) { writeFile(c.args.value(1), content(c.args.value(0))); };
            control.script("recv", recv);
            control.script("dir", FakeTransferControl::answer("./\r\n../\r\nnovo.txt\r\n"));
            control.script("pwd", FakeTransferControl::answer("/pedidos"));
        }
    }
    // A new window, as the program starts, with ftp.ini read (only one session listens to the control).
    StartMode restart(bool show = false)
    {
        app.reset();
        app = std::make_unique<AppWindow>(control, dialogs, clock, appFolder.path());
        const StartMode mode = app->Form_Load();
        if (show) {
            w().show();
            w().activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&w()));
        }
        return mode;
    }
    frmFTP& w() { return app->window(); }
    FtpSession& session() { return app->session(); }
    QStringList log() { return session().logText().split(QLatin1Char('\n')); }
    QStringList sent() const { return control.executedTexts(); }
    QStringList remoteEntries() // a selected one marked "*"
    {
        QStringList out;
        for (int i = 0; i < w().lstRemote->count(); ++i)
            out << w().lstRemote->item(i)->text() + (w().lstRemote->item(i)->isSelected() ? "*" : "");
        return out;
    }
    static QByteArray content(const QString& name) { return "pedido " + name.toUtf8(); }
    QString at(const QString& name) const { return folder + QLatin1Char('/') + name; }
};
