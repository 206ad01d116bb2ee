#pragma once
// Server addresses and remote paths as the libcurl transfer control uses them.
#include <QByteArray>
#include <QString>
#include <optional>

// A server address as typed in the window: "host", "host:port", "ftp://host[:port]",
// "ftps://host[:port]" (explicit TLS), "sftp://host[:port]" (SSH), "[v6addr]:port"; blanks
// around it are ignored, one trailing "/" is allowed. Port 21 by default, 22 for SFTP.
struct FtpServerAddress {
    QString host;        // as typed, without brackets
    int port = 21;
    bool tls = false;
    bool sftp = false;
    // "ftp://host:port" or "sftp://host:port" (IPv6 hosts in brackets); TLS is asked for by an
    // option, not the scheme.
    QByteArray baseUrl() const;
    // "host:port" for messages.
    QString hostAndPort() const;
};
std::optional<FtpServerAddress> parseFtpServerAddress(const QString& text);

// The absolute remote path `arg` names when the current folder is `cwd` (absolute). "." and
// ".." are resolved, repeated "/" collapse, no trailing "/" except the root "/".
QString resolveRemotePath(const QString& cwd, const QString& arg);

// "/a/b" -> "/a" and "b"; "/" has no leaf.
QString remoteParent(const QString& absPath);
QString remoteLeaf(const QString& absPath);

// Bytes of a remote name as sent to the server.
QByteArray encodeRemoteName(const QString& name, bool latin1);

// URL of a folder ("ftp://h:p/%2Fa%20b/c/": one "CWD /a b/c" with the single-CWD method;
// "sftp://h:p/a%20b/c/": SFTP paths are absolute as they stand) and of a file in a folder.
QByteArray remoteFolderUrl(const QByteArray& baseUrl, const QString& absFolder, bool latin1);
QByteArray remoteFileUrl(const QByteArray& baseUrl, const QString& absFolder, const QString& name, bool latin1);

// The folder quoted in a "257" reply ("257 \"/a \"\"b\"\"\" is current" -> /a "b"); empty when
// the reply holds no quoted path.
QString parsePwdReply(const QString& replyLine);
