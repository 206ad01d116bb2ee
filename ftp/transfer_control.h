#pragma once
// The transfer control: the one component that speaks FTP (and FTPS and SFTP). It runs one command at a time,
// asynchronously, and reports its progress as FtpState values on the thread that owns it.
#include "core/failure.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

// One FTP command: a verb and its arguments, kept apart because a name may hold blanks
// ("recv PED 1.txt /pedidos/PED 1.txt" cannot be split back). text() composes the line the log
// shows: the verb, then each argument after one blank, never quoted ("cd " with an empty folder).
struct FtpCommand {
    QString verb;
    QStringList args;

    QString text() const
    {
        QString t = verb;
        for (const QString& a : args)
            t += QLatin1Char(' ') + a;
        return t;
    }
    bool operator==(const FtpCommand&) const = default;
};


// The files of the last folder listing ("dir") with the size the server listed for each, by the
// name the answer shows; -1 where the listing gave no size. Folders are not in it.
struct RemoteListing {
    QHash<QString, qint64> sizes;
    std::chrono::steady_clock::time_point listedAt{}; // when the listing came in

    bool has(const QString& name) const { return sizes.contains(name); }
    qint64 size(const QString& name) const { return sizes.value(name, -1); }
};

// The states StateChanged reports, with the numbers the status texts are known by.
enum class FtpState : int {
    Resolving = 1, Resolved = 2, Connecting = 3, Connected = 4, Requesting = 5, RequestSent = 6,
    Receiving = 7, ResponseReceived = 8, Disconnecting = 9, Disconnected = 10, Error = 11,
    ResponseCompleted = 12,
};

class ITransferControl {
public:
    virtual ~ITransferControl() = default;

    // Server address as typed: "host", "host:port", "ftp://host[:port]", "ftps://host[:port]"
    // (explicit TLS), "sftp://host[:port]" (SFTP, port 22 by default). FTP's port is 21 by
    // default. A malformed address fails the next Execute.
    virtual void setAddress(const QString& address) = 0;
    virtual void setUserName(const QString& user) = 0;
    virtual void setPassword(const QString& password) = 0;

    // Starts a command and returns at once. Commands: "dir", "pwd", "cd <folder>",
    // "recv <remote name> <local path>", "send <local path> <remote path>", "delete <name>",
    // "rmdir <folder>", "mkdir <folder>", "quit"/"Quit". May throw a Failure about the Server
    // (an operation of the control failed, not a server reply: a refusal ends the command with
    // FtpState::Error); its code is the number the failure boxes show.
    // "recv" checks the size received against the size the last listing of the file's folder
    // gave (against the server's SIZE answer when it gave none). A local path ending in ".part"
    // is written in place (one left by an interrupted download is replaced), and its size is
    // left for the caller to compare with the listing; any other is written as
    // "<local path>.part" and renamed once complete, never over an existing file.
    virtual void Execute(const FtpCommand& command) = 0;

    // True while the last command is running.
    virtual bool StillExecuting() const = 0;

    // Stops the running command; the next command reconnects by itself when needed.
    virtual void Cancel() = 0;

    // The next piece, at most `size` characters, of the last command's answer ("dir": one
    // line per entry ended by CR LF, folders ending in "/", always starting with "./" and "../";
    // "pwd": the current remote folder). An empty text once the answer is used up.
    virtual QString GetChunk(int size) = 0;

    // The report of the last failed response (the server's reply text), for FtpState::Error.
    virtual QString ResponseInfo() const = 0;

    // True when the last command finished and succeeded. For "recv": the local file is
    // complete (its size equals the remote size when the server reports one); a failed "recv"
    // leaves no file at the local path.
    virtual bool LastSucceeded() const = 0;

    // The last listing a "dir" delivered (empty before the first).
    virtual RemoteListing LastListing() const = 0;

    // True once the server refused the login: every later command fails at once with that
    // refusal (FtpState::Error, ResponseInfo) without logging in again, until the address, the user or
    // the password is set again.
    virtual bool LoginRefused() const = 0;

    // True once the server could not be shown to be the one it claims to be (its key or its
    // certificate is not among the trusted ones): every later command fails at once with that
    // report, without connecting again, until the address, the user or the password is set again.
    virtual bool ServerNotTrusted() const = 0;
    // True when the last command finished and failed for want of the server rather than by its
    // refusal: it could not be reached, stopped answering within the time-out, or dropped the
    // connection. The next command tries a new connection and login by itself.
    virtual bool ServerLost() const = 0;

    // StateChanged: called with each state, always on the thread that created the
    // control, from its event processing (queued, never from inside Execute).
    virtual void setStateListener(std::function<void(FtpState)> listener) = 0;

    // Blocks the caller at most `maxMs` milliseconds, returning early when the running command
    // ends (its notifications may then be pending in the event queue). Lets the wait loop sleep
    // instead of spinning; notifications of a running command are shown on the next round.
    virtual void waitForProgress(int maxMs) = 0;
};
