#pragma once
// The window on a scripted transfer control, with a double for the dialogs, ftp.ini in a
// temporary application folder and the local lists on a temporary folder.
#include "gui/app_window.h"
#include "gui/frmFTP.h"
#include "gui/local_lists.h"
#include "gui/remote_view.h"
#include "session/ftp_session.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
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

struct WindowRig {
    QTemporaryDir appFolder, tmp;
    // One level down, so a name with "../" that slipped through stays inside the test's folder.
    QString folder = tmp.path() + QStringLiteral("/local");
    FakeDialogs dialogs;
    FakeTransferControl control;
    std::unique_ptr<AppWindow> app;

    WindowRig()
    {
        QDir().mkpath(folder);
        restart();
        w().txtAddress->setText(QStringLiteral("ftp.loja.com.br"));
        control.scriptFolder();
    }
    // A new window, as the program starts, with ftp.ini read (only one session listens to the control).
    void restart(bool show = false)
    {
        app.reset();
        app = std::make_unique<AppWindow>(control, dialogs, appFolder.path() + QLatin1Char('/'));
        EXPECT_TRUE(app->localLists().setPath(folder));
        app->Form_Load(readFtpIni(app->applicationFolder()));
        if (show) {
            w().show();
            w().activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&w()));
        }
    }
    frmFTP& w() { return app->window(); }
    FtpSession& session() { return app->session(); }
    QStringList log() { return app->remoteView().logText().split(QLatin1Char('\n')); }
    QStringList sent() const { return control.executedTexts(); }
    QStringList remoteEntries() // a selected one marked "*"
    {
        QStringList out;
        for (int i = 0; i < w().lstRemote->count(); ++i)
            out << w().lstRemote->item(i)->text() + (w().lstRemote->item(i)->isSelected() ? "*" : "");
        return out;
    }
    QString at(const QString& name) const { return folder + QLatin1Char('/') + name; }
};
