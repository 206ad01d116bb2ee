#pragma once
// Scripted transfer control for the window's tests. It records every command and answers from a
// script: per exact command text or per verb, the answer text, success, and how many polls of
// StillExecuting the command stays running.
#include "ftp/transfer_control.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class FakeTransferControl : public ITransferControl {
public:
    struct Reply {
        QString answer;             // what GetChunk hands out
        bool ok = true;             // LastSucceeded; a failed reply also reports state 11
        QString report;             // ResponseInfo for a failed reply
        int busyPolls = 0;          // StillExecuting answers true this many times
        std::function<void(const FtpCommand&)> effect; // e.g. write the local file of a "recv"
        std::optional<int> throwNumber; // Execute raises TransferError with this number
        std::optional<RemoteListing> listing; // becomes LastListing when the command ends
    };
    static Reply answer(const QString& text) { Reply r; r.answer = text; return r; }
    static Reply refusal(const QString& report = {}) { Reply r; r.ok = false; r.report = report; return r; }
    void script(const QString& commandTextOrVerb, const Reply& reply) { replies_[commandTextOrVerb] = reply; }

    QList<FtpCommand> executed;  // everything handed to Execute, in order
    QStringList calls;           // "Execute <text>", "Cancel", "setAddress <a>", ...
    bool emitStates = true;      // report states 5, 6 and 11/12 from Execute and its end
    int waitCalls = 0;           // calls of waitForProgress
    int failChunks = 0;          // when set, GetChunk and setAddress throw TransferError(failChunks)
    RemoteListing listing;       // LastListing

    QStringList executedTexts() const
    {
        QStringList t;
        for (const FtpCommand& c : executed)
            t << c.text();
        return t;
    }

    void setAddress(const QString& a) override;
    void setUserName(const QString& u) override { calls << QStringLiteral("setUserName ") + u; }
    void setPassword(const QString& p) override { calls << QStringLiteral("setPassword ") + p; }
    void Execute(const FtpCommand& command) override;
    bool StillExecuting() const override;
    void Cancel() override;
    QString GetChunk(int size) override;
    QString ResponseInfo() const override { return report_; }
    bool LastSucceeded() const override { return ok_ && !running_; }
    RemoteListing LastListing() const override { return listing; }
    bool LoginRefused() const override { return false; }
    bool ServerNotTrusted() const override { return false; }
    void setStateListener(std::function<void(int)> listener) override { listener_ = std::move(listener); }
    void waitForProgress(int) override { ++waitCalls; }
    void emitState(int state) { if (listener_) listener_(state); }

private:
    void finish();

    QHash<QString, Reply> replies_;
    std::function<void(int)> listener_;
    mutable int busyLeft_ = 0;
    mutable bool running_ = false;
    bool ok_ = true;
    QString report_, pending_;
    Reply current_;
    FtpCommand currentCommand_;
};
