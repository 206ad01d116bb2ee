// The SFTP ways of entering a folder and of delete, mkdir and rmdir (ProtocolWays). Everything
// else (the login folder, the listing in "ls -l" lines, recv and send with their checks) is
// shared with FTP in ftp_commands.cpp; the host key is checked by ServerTrust before the
// password is sent.
#include "ftp/curl/ftp_commands.h"

#include <curl/curl.h>

namespace {

// A path as libcurl's SFTP commands read it: in double quotes, with "\" and '"' escaped, so
// blanks and quotes in names are taken as they are.
QByteArray quotedPath(const QByteArray& path)
{
    QByteArray out = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

} // namespace

// SFTP has no command that only enters a folder: it is listed (the entries are dropped), which
// fails for a folder that is missing or cannot be read. The path as resolved is the new folder.
CommandOutcome FtpCommands::sftpChangeFolder(const RequestTarget& target, const QString& absFolder)
{
    RequestSpec req;
    req.url = folderUrl(target, absFolder);
    req.sink = [](const char*, size_t) { return true; };
    const RequestResult r = request(target, req);
    if (auto failed = unsuccessful(r, target))
        return *failed;
    session_.change(SessionChange::FolderChanged, absFolder);
    return commandSuccess();
}

// "rm", "mkdir" or "rmdir" of the absolute path, run before an empty request on its folder.
CommandOutcome FtpCommands::sftpFileCommand(const RequestTarget& target, Verb verb, const QString& absPath)
{
    const QByteArray word = verb == Verb::Delete ? "rm" : verb == Verb::Mkdir ? "mkdir" : "rmdir";
    RequestSpec req;
    req.url = folderUrl(target, remoteParent(absPath));
    req.noBody = true;
    req.quote = {word + ' ' + quotedPath(encodeRemotePath(absPath, names()))};
    const RequestResult r = request(target, req);
    if (!r.cancelled && r.curlCode == CURLE_QUOTE_ERROR) // the server refused the command itself
        return commandFailure(QStringLiteral("O servidor SFTP %1 recusou %2 %3: %4")
                           .arg(target.address.hostAndPort(), QString::fromLatin1(word), absPath, r.error));
    if (auto failed = unsuccessful(r, target))
        return *failed;
    return commandSuccess();
}
