#pragma once
// Server addresses and remote paths as the libcurl transfer control uses them.
#include <QByteArray>
#include <QString>

#include <functional>
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

// A name in a folder with one "/" between them ("/pedidos/" and "C.txt" -> "/pedidos/C.txt").
QString joinRemotePath(const QString& folder, const QString& name);

// "/a/b" -> "/a" and "b"; "/" has no leaf.
QString remoteParent(const QString& absPath);
QString remoteLeaf(const QString& absPath);

// The bytes the server knows the last part of an absolute path by ("/a/caf\xe9" -> "caf\xe9"):
// the bytes it listed the name with. Without one (nameBytesUtf8) every name goes as UTF-8.
using NameBytes = std::function<QByteArray(const QString& absPath)>;
QByteArray nameBytesUtf8(const QString& absPath);

// The bytes of a whole absolute path, each part as `bytes` gives it ("/a/b").
QByteArray encodeRemotePath(const QString& absPath, const NameBytes& bytes);

// URL of a folder ("ftp://h:p/%2Fa%20b/c/": one "CWD /a b/c" with the single-CWD method;
// "sftp://h:p/a%20b/c/": SFTP paths are absolute as they stand) and of a file.
QByteArray remoteFolderUrl(const QByteArray& baseUrl, const QString& absFolder, const NameBytes& bytes);
QByteArray remoteFileUrl(const QByteArray& baseUrl, const QString& absPath, const NameBytes& bytes);

// The folder quoted in a "257" reply ("257 \"/a \"\"b\"\"\" is current" -> /a "b"); empty when
// the reply holds no quoted path.
QString parsePwdReply(const QString& replyLine);
