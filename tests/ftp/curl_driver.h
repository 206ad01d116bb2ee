#pragma once
// Drives a transfer control the way the window does: Execute, then wait while it is still
// executing, processing events (where the state notifications arrive) and sleeping in
// waitForProgress between polls.
#include "ftp/curl/curl_transfer_control.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QThread>

#include <ostream>

// Readable texts in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Local files of the tests.
inline QByteArray readLocal(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<ausente>");
}
inline bool writeLocal(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// A report for a file or folder the server does not have or does not let us at: in Portuguese,
// followed by the server's own 550 reply.
inline bool notFound(const QString& report)
{
    return report.startsWith(QStringLiteral("Arquivo ou pasta não encontrado, ou sem permissão, no servidor FTP "))
        && report.contains(QLatin1String(": 550 "));
}

struct CurlDriver {
    CurlTransferControl control;
    QList<int> states;          // notifications of the last command
    bool runningAtFinal = true; // StillExecuting() as the final notification arrived
    qint64 lastMs = 0;          // duration of the last command
    bool inExecute = false;
    bool badDelivery = false;   // a notification came from inside Execute or another thread

    explicit CurlDriver(const QString& address = {}, const QString& user = {}, const QString& password = {})
    {
        control.setAddress(address);
        control.setUserName(user);
        control.setPassword(password);
        control.setStateListener([this](int s) {
            if (inExecute || QThread::currentThread() != QCoreApplication::instance()->thread())
                badDelivery = true;
            states << s;
            if (s == 11 || s == 12)
                runningAtFinal = control.StillExecuting();
        });
    }

    // Runs one command to its end; true when it succeeded.
    bool run(const QString& verb, const QStringList& args = {}, int limitMs = 60000)
    {
        start(verb, args);
        return wait(limitMs);
    }

    void start(const QString& verb, const QStringList& args = {})
    {
        states.clear();
        runningAtFinal = true;
        timer.start();
        inExecute = true;
        control.Execute(FtpCommand{verb, args});
        inExecute = false;
    }

    bool wait(int limitMs = 60000)
    {
        while (control.StillExecuting() && timer.elapsed() < limitMs) {
            QCoreApplication::processEvents();
            control.waitForProgress(50);
        }
        QCoreApplication::processEvents();
        lastMs = timer.elapsed();
        return control.LastSucceeded();
    }

    // The whole answer, read in pieces of 1024 characters.
    QString answer()
    {
        QString all;
        for (QString piece = control.GetChunk(1024); !piece.isEmpty(); piece = control.GetChunk(1024))
            all += piece;
        return all;
    }

    QStringList dir()
    {
        if (!run(QStringLiteral("dir")))
            return {QStringLiteral("<falhou: ") + control.ResponseInfo() + QLatin1Char('>')};
        const QString text = answer();
        QStringList lines = text.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    QString pwd()
    {
        return run(QStringLiteral("pwd")) ? answer() : QStringLiteral("<falhou>");
    }

    int finalState() const { return states.isEmpty() ? 0 : states.last(); }

private:
    QElapsedTimer timer;
};
