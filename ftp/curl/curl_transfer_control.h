#pragma once
// The real transfer control: libcurl's multi interface, on a worker thread of its own or, when
// asked (CurlControlOptions::runOnCallerThread), on the thread that waits for it.
//
// One logged-in connection serves every command until "quit", a change of server or login, a
// cancelled transfer or a server that drops it (the next command logs in again). A refused login,
// host key or certificate is not tried again until the next connect. Every command names its
// folder absolutely, so the current folder survives a new login.
//
// With the worker thread, Execute/Cancel return at once. State notifications reach the thread
// that created the control through its event processing, the last one (Error or
// ResponseCompleted) after StillExecuting turned false: a wait loop processes events while it
// polls, and may sleep in waitForProgress.
// A command fails (FtpState::Error) when the server does not answer, a connection cannot be made
// or a transfer stalls for the request time-out (60 s by default). FTPS and SFTP trust:
// server_trust.h.
#include "ftp/transfer_control.h"

#include <functional>
#include <memory>

class CurlTransferControl : public ITransferControl {
public:
    // With runOnCallerThread, Execute runs the command itself before it returns, on the
    // caller's thread, and there is no worker thread: for a caller that has nothing else to do
    // meanwhile (the unattended run). The notifications are delivered the same way, by the
    // caller's event processing, the final one after StillExecuting has turned false.
    explicit CurlTransferControl(bool runOnCallerThread = false);
    ~CurlTransferControl() override;
    CurlTransferControl(const CurlTransferControl&) = delete;
    CurlTransferControl& operator=(const CurlTransferControl&) = delete;

    void setAddress(const QString& address) override;
    void setUserName(const QString& user) override;
    void setPassword(const QString& password) override;
    void Execute(const FtpCommand& command) override;
    bool StillExecuting() const override;
    void Cancel() override;
    QString GetChunk(int size) override;
    QString ResponseInfo() const override;
    bool LastSucceeded() const override;
    RemoteListing LastListing() const override;
    bool LoginRefused() const override;
    bool ServerNotTrusted() const override;
    bool ServerLost() const override;
    void setStateListener(std::function<void(FtpState)> listener) override;
    void waitForProgress(int maxMs) override;

    // Request time-out in milliseconds (default 60000); applies to the next command.
    void setRequestTimeoutMs(int ms);
    // The folder of "known_hosts" (SFTP host keys) and "ftp-ca.pem" (FTPS certificates trusted
    // besides the system's); applies to the next command. Without one no SFTP server is trusted.
    void setTrustFolder(const QString& folder);
    // The FTP dialogue line by line ("> USER x", "< 230 ..."; the password shows as "****").
    // Called on the worker thread.
    void setTraceListener(std::function<void(const QString&)> listener);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Settings of the control that the window does not set through ITransferControl.
struct CurlControlOptions {
    int requestTimeoutMs = 60000;
    QString trustFolder;   // the application folder: known_hosts, ftp-ca.pem
    bool runOnCallerThread = false;   // see CurlTransferControl's constructor
};

// Created on the window's thread; its notifications are delivered there.
std::unique_ptr<ITransferControl> makeCurlTransferControl();
std::unique_ptr<ITransferControl> makeCurlTransferControl(const CurlControlOptions& options);
