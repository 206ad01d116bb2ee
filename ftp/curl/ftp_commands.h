#pragma once
// The commands of the transfer control ("dir", "cd", "recv", ...): each one checked, then put
// into libcurl requests on the session's connection, with the session kept up to date.
// Runs on the worker thread, one command at a time.
#include "ftp/curl/curl_request.h"
#include "ftp/curl/server_session.h"
#include "ftp/transfer_control.h"

#include <optional>

enum class Verb { Dir, Pwd, Cd, Recv, Send, Delete, Mkdir, Rmdir, Quit, Unknown };

// The verb of a command word, ignoring case and blanks around it.
Verb parseVerb(const QString& word);

// How a command ended: its answer for GetChunk, or the report for ResponseInfo; for "dir" the
// files listed with their sizes.
struct CommandOutcome {
    bool ok = false;
    QString answer;
    QString info;
    std::optional<RemoteListing> listing;
    bool loginRefused = false; // the session's login stands refused after this command
    bool serverNotTrusted = false; // the server's key or certificate stands refused
    bool serverLost = false;   // failed for want of the server (serverUnreachable)
};

class FtpCommands {
public:
    explicit FtpCommands(CurlConnection& connection) : connection_(connection) {}

    // Runs one command against the server of `settings`; its requests report through `hooks`.
    CommandOutcome run(const FtpCommand& command, const ServerSettings& settings, const RequestHooks& hooks);

    // Closes the logged-in connection (libcurl sends QUIT); the next command logs in again, at
    // the login folder.
    void logOut();

    // The server refused the login of the current settings: commands fail at once.
    bool loginRefused() const { return session_.loginRefused(); }
    // The server's host key or certificate was refused: commands fail at once.
    bool serverNotTrusted() const { return session_.serverNotTrusted(); }
    // The last command failed for want of the server: its last request was unreachable.
    bool serverLost() const { return serverLost_; }

private:
    CurlConnection& connection_;
    ServerSession session_;
    bool serverLost_ = false;

    RequestResult request(const RequestTarget& target, const RequestSpec& req);
    // The bytes of each name as the server listed it.
    NameBytes names() const
    {
        return [this](const QString& absPath) { return session_.nameBytes(absPath); };
    }
    std::optional<CommandOutcome> logIn(const RequestTarget& target);
    CommandOutcome download(const RequestTarget& target, const QString& remote, const QString& local);
    CommandOutcome upload(const RequestTarget& target, const QString& local, const QString& remote);

    // The ways of FTP: a folder in the URL is reached with one CWD, folders are listed with
    // MLSD or LIST, and delete, mkdir and rmdir are commands quoted before an empty request.
    QByteArray folderUrl(const RequestTarget& target, const QString& absFolder) const;
    QByteArray fileUrl(const RequestTarget& target, const QString& absPath) const;
    CommandOutcome listFolder(const RequestTarget& target);
    CommandOutcome changeFolder(const RequestTarget& target, const QString& folder);
    CommandOutcome quotedCommand(const RequestTarget& target, Verb verb, const QString& name);

    // The ways of SFTP (sftp_commands.cpp): paths in URLs are absolute, a folder is entered by
    // listing it, and delete, mkdir and rmdir are libcurl's SFTP commands before an empty request.
    CommandOutcome sftpChangeFolder(const RequestTarget& target, const QString& absFolder);
    CommandOutcome sftpFileCommand(const RequestTarget& target, Verb verb, const QString& absPath);
};
