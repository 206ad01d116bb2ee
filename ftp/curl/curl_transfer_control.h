#pragma once
// The real transfer control: libcurl's multi interface on a worker thread of its own.
//
// One logged-in control connection serves every command until "quit", a change of server or
// login, a cancelled transfer or a server that drops it (the next command logs in again by
// itself). A login the server refuses is not tried again until the next connect. The current remote folder is kept here, starting at the login folder, and every
// command names its folder absolutely, so it survives a new login.
//
// Threads: Execute/Cancel only queue work and return at once; the commands run on the worker
// thread. State notifications are posted to the thread that created the control and delivered
// by its event processing; the final one (11 or 12) is delivered after StillExecuting has
// turned false, so a wait loop must process events (QCoreApplication::processEvents) while it
// polls StillExecuting, and may sleep in waitForProgress between polls.
//
// Time-outs: a server that does not answer a command within the request time-out (60 s by
// default), a connection that cannot be made within it, and a data transfer that stalls for
// that long fail the command (state 11).
//
// TLS ("ftps://host"): explicit TLS on the control and data connections. The server
// certificate is verified against the system's CA store, or against the CA file given with
// setTlsCaFile; setTlsVerifyPeer(false) turns the verification off for a server with a
// self-signed certificate (the connection is then encrypted but not authenticated: a
// man-in-the-middle can read the password).
#include "ftp/transfer_control.h"

#include <functional>
#include <memory>

class CurlTransferControl : public ITransferControl {
public:
    CurlTransferControl();
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
    void setStateListener(std::function<void(int)> listener) override;
    void waitForProgress(int maxMs) override;

    // Request time-out in milliseconds (default 60000); applies to the next command.
    void setRequestTimeoutMs(int ms);
    // TLS: a PEM file of CA certificates to trust instead of the system's store (empty: the
    // system's), and whether the server certificate is verified at all (default true).
    void setTlsCaFile(const QString& path);
    void setTlsVerifyPeer(bool verify);
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
    QString tlsCaFile;          // empty: the system's CA store
    bool tlsVerifyPeer = true;  // false only for a server known to have a self-signed certificate
};

// Created on the window's thread; its notifications are delivered there.
std::unique_ptr<ITransferControl> makeCurlTransferControl();
std::unique_ptr<ITransferControl> makeCurlTransferControl(const CurlControlOptions& options);
