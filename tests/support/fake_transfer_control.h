#pragma once
// Scripted transfer control for unit tests of the window's FTP procedures. It records every
// command and answers from a script: per verb (or exact command text) the answer text, success
// and how many polls of StillExecuting the command stays running.
#include "ftp/transfer_control.h"

#include <QHash>
#include <QList>
#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <optional>

class FakeTransferControl : public ITransferControl {
public:
    struct Reply {
        QString answer;            // what GetChunk hands out
        bool ok = true;            // LastSucceeded; a failed reply also reports state 11
        QString report;            // ResponseInfo for a failed reply
        int busyPolls = 0;         // StillExecuting answers true this many times
        int busyMs = 0;            // ... and, besides, until this many ms after Execute
        std::function<void(const FtpCommand&)> effect; // e.g. create the local file of a "recv"
        bool throwOnExecute = false; // Execute raises TransferError(throwNumber)
        int throwNumber = 35764;
        std::optional<RemoteListing> listing; // becomes LastListing when the command ends
    };

    // Reply for every command whose text() equals `commandText`, or whose verb equals it.
    void script(const QString& commandTextOrVerb, const Reply& reply) { replies_[commandTextOrVerb] = reply; }

    // Everything handed to Execute, in order, and the calls of Cancel between them.
    QList<FtpCommand> executed;
    QStringList calls;            // "Execute <text>", "Cancel", "setAddress <a>", ...
    QString address, user, password;
    // State numbers to emit (synchronously from Execute/finish) for every command.
    bool emitStates = true;
    // How the waiting side used the control.
    mutable int stillExecutingPolls = 0;  // calls of StillExecuting
    int waitCalls = 0;                    // calls of waitForProgress
    int longestWaitMs = 0;                // largest maxMs handed to waitForProgress
    QList<int> chunkSizes;                // size of every GetChunk call
    std::function<void()> onGetChunk;     // called at the start of every GetChunk, if set
    RemoteListing listing;                // LastListing
    bool loginRefused = false;            // LoginRefused
    bool serverNotTrusted = false;        // ServerNotTrusted

    void setAddress(const QString& a) override { address = a; calls << QStringLiteral("setAddress ") + a; }
    void setUserName(const QString& u) override { user = u; calls << QStringLiteral("setUserName ") + u; }
    void setPassword(const QString& p) override { password = p; calls << QStringLiteral("setPassword ") + p; }
    void Execute(const FtpCommand& command) override;
    bool StillExecuting() const override;
    void Cancel() override;
    QString GetChunk(int size) override;
    QString ResponseInfo() const override { return report_; }
    bool LastSucceeded() const override { return ok_ && !running_; }
    RemoteListing LastListing() const override { return listing; }
    bool LoginRefused() const override { return loginRefused; }
    bool ServerNotTrusted() const override { return serverNotTrusted; }
    void setStateListener(std::function<void(int)> listener) override { listener_ = std::move(listener); }
    // Sleeps while a command with busyMs runs (at most maxMs, waking when it ends); returns at
    // once otherwise.
    void waitForProgress(int maxMs) override;

    // Emits a state as the real control would.
    void emitState(int state) { if (listener_) listener_(state); }

private:
    void finish();
    Reply replyFor(const FtpCommand& c) const;

    QHash<QString, Reply> replies_;
    std::function<void(int)> listener_;
    mutable int busyLeft_ = 0;
    QDeadlineTimer busyUntil_{0};
    mutable bool running_ = false;
    bool ok_ = true;
    QString report_;
    QString pending_;
    Reply current_;
    FtpCommand currentCommand_;
};
