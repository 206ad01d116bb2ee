#pragma once
// Drives the libcurl transfer control the way the window does: Execute, then process events
// (where the state notifications arrive) and sleep in waitForProgress while it still executes.
#include "ftp/curl/curl_transfer_control.h"
#include "support/test_util.h"

#include <optional>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

using testutil::readFile;
using testutil::writeFile;

struct CurlDriver {
    CurlTransferControl control;
    QList<FtpState> states;   // notifications of the last command
    bool badDelivery = false; // a notification came from inside Execute or from another thread
    bool inExecute = false;

    explicit CurlDriver(const QString& address, const QString& user = {}, const QString& password = {})
    {
        control.setAddress(address);
        control.setUserName(user);
        control.setPassword(password);
        control.setStateListener([this](FtpState s) {
            badDelivery |= inExecute || QThread::currentThread() != QCoreApplication::instance()->thread();
            states << s;
        });
    }
    void start(const QString& verb, const QStringList& args = {})
    {
        states.clear();
        inExecute = true;
        control.Execute(FtpCommand{verb, args});
        inExecute = false;
    }
    // Processes events and waits in the control until `done` or 20 s passed.
    template <typename F>
    bool waitFor(F done)
    {
        for (QDeadlineTimer limit(20000); !done() && !limit.hasExpired();) {
            QCoreApplication::processEvents();
            control.waitForProgress(20);
        }
        QCoreApplication::processEvents();
        return done();
    }
    // Runs one command to its end; true when it succeeded.
    bool run(const QString& verb, const QStringList& args = {})
    {
        start(verb, args);
        return waitFor([this] { return !control.StillExecuting(); }) && control.LastSucceeded();
    }
    QString answer()
    {
        QString all;
        for (QString piece = control.GetChunk(1024); !piece.isEmpty(); piece = control.GetChunk(1024))
            all += piece;
        return all;
    }
    // The sorted entries of "dir", without the "./" and "../" every answer starts with.
    QStringList dir()
    {
        if (!run(QStringLiteral("dir")))
            return {"<falhou: " + info() + '>'};
        QStringList lines = answer().split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.mid(0, 2), (QStringList{"./", "../"}));
        lines = lines.mid(2, lines.size() - 3);
        lines.sort();
        return lines;
    }
    QString pwd() { return run(QStringLiteral("pwd")) ? answer() : QStringLiteral("<falhou>"); }
    QString info() const { return control.ResponseInfo(); }
    std::optional<FtpState> finalState() const { return states.isEmpty() ? std::nullopt : std::optional(states.last()); }
};

// A report for a file or folder the server does not have: in Portuguese, with the server's 550.
inline bool notFound(const QString& report)
{
    return report.startsWith(QStringLiteral("Arquivo ou pasta não encontrado, ou sem permissão, no servidor FTP "))
        && report.contains(QLatin1String(": 550 "));
}
