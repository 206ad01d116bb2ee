#pragma once
// OpenSSH's sshd on loopback for the SFTP tests: a private daemon in the foreground with a host
// key and a configuration of its own, serving root() (the login folder) through its internal
// SFTP server to the system user of the vsftpd tests, by password only. Needs root and the
// openssh-server package; otherwise isRunning() is false and error() says why (then GTEST_SKIP).
// address() is "sftp://127.0.0.1:<port>".
#include "support/ftp_server.h"

class SshServer : public FtpServerFixture {
public:
    SshServer();
    ~SshServer() override;

    QString address() const override;
    // The server's key as ssh-keyscan writes it ("[127.0.0.1]:<port> ssh-ed25519 AAAA...\n").
    QByteArray knownHostsLine() const;
    // Its fingerprint as ssh-keygen -l shows it ("SHA256:...").
    QString fingerprint() const;

protected:
    bool launch() override;
    QString loginMarker() const override { return QStringLiteral("Accepted password for"); }
    // sshd logs no commands: the word is a text of its log ("Failed password for").
    QString commandMarker(const QString& word) const override { return word; }

private:
    QString hostKey() const;
};
