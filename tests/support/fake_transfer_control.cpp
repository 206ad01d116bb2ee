#include "support/fake_transfer_control.h"

void FakeTransferControl::setAddress(const QString& a)
{
    calls << QStringLiteral("setAddress ") + a;
    if (failChunks)
        throw TransferError(failChunks, QStringLiteral("Endereço inválido: ") + a);
}

void FakeTransferControl::Execute(const FtpCommand& command)
{
    calls << QStringLiteral("Execute ") + command.text();
    Reply r = replies_.value(command.text(), replies_.value(command.verb));
    if (r.throwNumber)
        throw TransferError(*r.throwNumber, QStringLiteral("falha simulada em ") + command.text());
    executed << command;
    current_ = r;
    currentCommand_ = command;
    pending_.clear();
    report_.clear();
    ok_ = true;
    running_ = true;
    busyLeft_ = r.busyPolls;
    if (emitStates) {
        emitState(ftpstate::Requesting);
        emitState(ftpstate::RequestSent);
    }
    if (busyLeft_ == 0)
        finish();
}

bool FakeTransferControl::StillExecuting() const
{
    if (running_ && busyLeft_ > 0) {
        --busyLeft_;
        return true;
    }
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
    if (!ok_)
        report_ = current_.report;
    if (emitStates)
        emitState(ok_ ? ftpstate::ResponseCompleted : ftpstate::Error);
}

void FakeTransferControl::Cancel()
{
    calls << QStringLiteral("Cancel");
    running_ = false;
    ok_ = false;
    busyLeft_ = 0;
}

QString FakeTransferControl::GetChunk(int size)
{
    if (failChunks)
        throw TransferError(failChunks, QStringLiteral("Conexão interrompida"));
    const QString piece = pending_.left(size);
    pending_.remove(0, piece.size());
    return piece;
}
