#include "support/fake_transfer_control.h"

#include <QThread>
#include <algorithm>

FakeTransferControl::Reply FakeTransferControl::replyFor(const FtpCommand& c) const
{
    const auto byText = replies_.constFind(c.text());
    if (byText != replies_.constEnd())
        return *byText;
    const auto byVerb = replies_.constFind(c.verb);
    if (byVerb != replies_.constEnd())
        return *byVerb;
    return Reply{};
}

void FakeTransferControl::Execute(const FtpCommand& command)
{
    calls << QStringLiteral("Execute ") + command.text();
    const Reply r = replyFor(command);
    if (r.throwOnExecute)
        throw TransferError(r.throwNumber, QStringLiteral("falha simulada em ") + command.text());
    executed << command;
    current_ = r;
    currentCommand_ = command;
    pending_.clear();
    report_.clear();
    ok_ = true;
    running_ = true;
    busyLeft_ = r.busyPolls;
    busyUntil_ = QDeadlineTimer(std::max(r.busyMs, 0));
    if (emitStates) {
        emitState(ftpstate::Requesting);
        emitState(ftpstate::RequestSent);
    }
    if (busyLeft_ == 0 && r.busyMs <= 0)
        finish();
}

bool FakeTransferControl::StillExecuting() const
{
    ++stillExecutingPolls;
    if (!running_)
        return false;
    if (busyLeft_ > 0) {
        --busyLeft_;
        return true;
    }
    if (!busyUntil_.hasExpired())
        return true;
    const_cast<FakeTransferControl*>(this)->finish();
    return false;
}

void FakeTransferControl::finish()
{
    if (!running_)
        return;
    running_ = false;
    if (current_.effect)
        current_.effect(currentCommand_);
    ok_ = current_.ok;
    pending_ = current_.answer;
    if (current_.listing)
        listing = *current_.listing;
    if (!ok_) {
        report_ = current_.report;
        if (emitStates)
            emitState(ftpstate::Error);
    } else if (emitStates) {
        emitState(ftpstate::ResponseCompleted);
    }
}

void FakeTransferControl::Cancel()
{
    calls << QStringLiteral("Cancel");
    running_ = false;
    ok_ = false;
    busyLeft_ = 0;
}

void FakeTransferControl::waitForProgress(int maxMs)
{
    ++waitCalls;
    longestWaitMs = std::max(longestWaitMs, maxMs);
    if (running_ && !busyUntil_.hasExpired())
        QThread::msleep(static_cast<unsigned long>(std::clamp<qint64>(busyUntil_.remainingTime(), 0, maxMs)));
}

QString FakeTransferControl::GetChunk(int size)
{
    chunkSizes << size;
    if (onGetChunk) {
        const auto hook = onGetChunk; // the hook may replace itself
        hook();
    }
    const QString piece = pending_.left(size);
    pending_.remove(0, piece.size());
    return piece;
}
