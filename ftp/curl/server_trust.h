#pragma once
// Which servers the libcurl adapter talks to, and what it tells the user when it refuses one.
//
// SFTP: the server's host key must be listed for its host and port in a known_hosts file
// (OpenSSH format, as "ssh-keyscan -p PORT host >> known_hosts" writes it). libssh2 checks it
// right after the key exchange, before the user name and password are sent; an unknown or
// changed key ends the connection there. Without a known_hosts file no key is trusted.
//
// FTPS: the server's certificate must verify against the system's CA store or against the
// certificates of a PEM file (ftp-ca.pem), which are added to the store of every TLS
// connection. The verification itself is never turned off; the check of a certificate is
// watched only to name the reason and the certificate's SHA-256 fingerprint when it fails.
#include "ftp/remote_paths.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class ServerTrust {
public:
    // Files the checks use: `knownHostsFile` for SFTP, `caFile` (used when it exists) for FTPS.
    struct Files {
        QString knownHostsFile;
        QString caFile;
    };

    // Sets the options that check the server of `address` on the easy handle `easy`, and
    // forgets what the last request saw. `hostKeyAccepted` is called when the host key checks.
    void apply(void* easy, const FtpServerAddress& address, const Files& files,
               std::function<void()> hostKeyAccepted);

    // After the request ended with `curlCode`: why the server was refused, for the user, or
    // empty when it was not refused by these checks.
    QString refusal(int curlCode) const;

    // Called by libcurl (on the worker thread, inside the request).
    int checkHostKey(const QByteArray& keyBlob, int match);
    int prepareTls(void* sslContext);
    void sawCertificate(const QByteArray& der, int verifyError, int depth);

private:
    FtpServerAddress address_;
    Files files_;
    std::function<void()> hostKeyAccepted_;
    std::optional<QByteArray> caPem_; // the CA file's contents, read once per request, if it exists
    QString caProblem_;         // the CA file exists but cannot be used
    // SFTP: the key the server showed and how it compared with known_hosts.
    QByteArray hostKey_;
    int hostKeyMatch_ = -1;     // curl_khmatch; -1 while no key was seen
    // FTPS: the server's own certificate (DER) and the first verification error met.
    QByteArray certificate_;
    int verifyError_ = 0;

    QString hostKeyRefusal() const;
    QString certificateRefusal() const;
};
