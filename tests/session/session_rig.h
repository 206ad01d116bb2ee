#pragma once
// The FTP session on a scripted transfer control (or the real one), with doubles for the
// dialogs and the clock, ftp.ini in a temporary application folder and the local folder in a
// temporary folder. No widget anywhere.
#include "session/download_walk.h"
#include "session/ftp_session.h"
#include "session/local_folder.h"
#include "session/unattended_run.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
#include "support/fixed_clock.h"
#include "support/test_util.h"

#include <QDir>
#include <QTemporaryDir>

using testutil::readFile;
using testutil::writeFile;
using Reply = FakeTransferControl::Reply;

template <class Control = FakeTransferControl>
struct SessionRig {
    QTemporaryDir appFolder, tmp;
    // One level down, so a name with "../" that slipped through stays inside the test's folder.
    QString folder = tmp.path() + QStringLiteral("/local");
    FakeDialogs dialogs;
    FixedClock clock;
    Control control;
    FtpSession session{control, dialogs};
    LocalFolder local{dialogs};
    QStringList logLines; // every line the session logged

    SessionRig()
    {
        QDir().mkpath(folder);
        local.setPath(folder);
        session.setAddress(QStringLiteral("ftp.loja.com.br"));
        QObject::connect(&session, &FtpSession::logLine, [this](const QString& line) { logLines << line; });
        if constexpr (std::is_same_v<Control, FakeTransferControl>)
            control.scriptFolder();
    }
    QStringList sent() const { return control.executedTexts(); }
    QString log() const { return logLines.join(QLatin1Char('\n')); }
    QStringList remoteEntries() const // a selected one marked "*"
    {
        QStringList out;
        for (int i = 0; i < session.remote().count(); ++i)
            out << session.remote().at(i) + (session.remote().isSelected(i) ? "*" : "");
        return out;
    }
    // The remote folder as a listing left it, and the control's listing behind it.
    void showRemote(const QStringList& entries, bool selectAll = false)
    {
        session.remote().setEntries(entries);
        for (int i = 0; selectAll && i < entries.size(); ++i)
            session.remote().setSelected(i, true);
        if constexpr (std::is_same_v<Control, FakeTransferControl>)
            control.listed(entries);
    }
    DownloadSummary download() { return DownloadWalk(session, local).BAIXA_TUDO(); }
    QString recv(const QString& name) const { return "recv " + name + " " + at(name) + ".part"; }
    QStringList localFiles() const { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    static QByteArray content(const QString& name) { return FakeTransferControl::content(name); }
    QString at(const QString& name) const { return folder + QLatin1Char('/') + name; }
};
