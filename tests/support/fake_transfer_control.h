#pragma once
// Scripted transfer control for the window's tests. It records every command and answers from a
// script: per exact command text or per verb, the answer text, success, and how many polls of
// StillExecuting the command stays running.
#include "ftp/transfer_control.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <chrono>
#include <functional>
#include <optional>

class FakeTransferControl : public ITransferControl {
public:
    struct Reply {
        QString answer;             // what GetChunk hands out
        bool ok = true;             // LastSucceeded; a failed reply reports Error
        QString report;             // ResponseInfo for a failed reply
        int busyPolls = 0;          // StillExecuting answers true this many times
        std::function<void(const FtpCommand&)> effect; // on completion, e.g. write a "recv"'s file
        std::optional<int> throwNumber;       // Execute raises a Failure with this code
        std::optional<RemoteListing> listing; // becomes LastListing on completion
    };
    static Reply answer(const QString& text) { Reply r; r.answer = text; return r; }
    static Reply refusal(const QString& report = {}) { Reply r; r.ok = false; r.report = report; return r; }
    void script(const QString& commandTextOrVerb, const Reply& reply) { replies_[commandTextOrVerb] = reply; }

    // A folder "/pedidos" holding novo.txt; a "recv" that succeeds leaves content(name) at the
    // local path, as the control does.
    static QByteArray content(const QString& name) { return "pedido " + name.toUtf8(); }
    void scriptFolder()
    {
        Reply recv;
        recv.effect = [](const FtpCommand& c) {
            QFile f(c.args.value(1));
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(content(c.args.value(0)));
        };
        script("recv", recv);
        script("dir", answer("./\r\n../\r\nnovo.txt\r\n"));
        script("pwd", answer("/pedidos"));
    }
    // The listing behind `entries`: each with the size of its content, listed long enough ago
    // for the download walk not to wait.
    void listed(const QStringList& entries)
    {
        listing = RemoteListing{};
        listing.listedAt = std::chrono::steady_clock::now() - std::chrono::seconds(2);
        for (const QString& e : entries)
            listing.sizes.insert(e, content(e).size());
    }

    QList<FtpCommand> executed; // everything handed to Execute, in order
    QStringList calls;          // "Execute <text>" and "Cancel", in order
    bool emitStates = true;     // report Requesting, RequestSent, then Error or ResponseCompleted
    int waitCalls = 0;          // calls of waitForProgress
    int failChunks = 0;         // when set, GetChunk throws a Failure with this code
    RemoteListing listing;      // LastListing

    QStringList executedTexts() const
    {
        QStringList t;
        for (const FtpCommand& c : executed)
            t << c.text();
        return t;
    }
    void setAddress(const QString&) override {}
    void setUserName(const QString&) override {}
    void setPassword(const QString&) override {}
    void Execute(const FtpCommand& command) override
    {
        calls << "Execute " + command.text();
        current_ = replies_.value(command.text(), replies_.value(command.verb));
        if (current_.throwNumber)
            throw Failure(Failure::About::Server, "falha simulada em " + command.text(), *current_.throwNumber);
        executed << command;
        currentCommand_ = command;
        pending_.clear();
        running_ = true;
        if (emitStates) {
            emitState(FtpState::Requesting);
            emitState(FtpState::RequestSent);
        }
        StillExecuting();
    }
    bool StillExecuting() const override
    {
        if (running_ && current_.busyPolls-- > 0)
            return true;
        const_cast<FakeTransferControl*>(this)->complete();
        return false;
    }
    void Cancel() override
    {
        calls << "Cancel";
        running_ = false;
        current_ = refusal();
    }
    QString GetChunk(int size) override
    {
        if (failChunks)
            throw Failure(Failure::About::Server, "Conexão interrompida", failChunks);
        const QString piece = pending_.left(size);
        pending_.remove(0, piece.size());
        return piece;
    }
    QString ResponseInfo() const override { return current_.ok ? QString() : current_.report; }
    bool LastSucceeded() const override { return current_.ok && !running_; }
    RemoteListing LastListing() const override { return listing; }
    bool LoginRefused() const override { return false; }
    bool ServerNotTrusted() const override { return false; }
    bool ServerLost() const override { return false; }
    void setStateListener(std::function<void(FtpState)> listener) override { listener_ = std::move(listener); }
    void waitForProgress(int) override { ++waitCalls; }
    void emitState(FtpState state) { if (listener_) listener_(state); }

private:
    void complete()
    {
        if (!running_)
            return;
        running_ = false;
        if (current_.effect)
            current_.effect(currentCommand_);
        pending_ = current_.answer;
        if (current_.listing)
            listing = *current_.listing;
        if (emitStates)
            emitState(current_.ok ? FtpState::ResponseCompleted : FtpState::Error);
    }

    QHash<QString, Reply> replies_;
    std::function<void(FtpState)> listener_;
    mutable Reply current_;
    mutable bool running_ = false;
    QString pending_;
    FtpCommand currentCommand_;
};
