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
    Refusal refusal = Refusal::None; // the session's refusal after this command
    bool serverLost = false;   // failed for want of the server (serverUnreachable)
};

// Outcomes every command uses.
CommandOutcome commandFailure(const QString& info);
CommandOutcome commandSuccess(const QString& answer = {});

class FtpCommands;

// What FTP and SFTP do their own way, chosen once per address; everything else is shared.
struct ProtocolWays {
    bool listsWithMlsd;   // MLSD while the server takes it (FTP), or "ls -l" lines (SFTP)
    bool asksFeatures;    // FEAT at login, and OPTS UTF8 ON when it is offered
    // Makes the absolute folder the current one.
    CommandOutcome (FtpCommands::*changeFolder)(const RequestTarget&, const QString& absFolder);
    // delete, mkdir or rmdir of an absolute path.
    CommandOutcome (FtpCommands::*fileCommand)(const RequestTarget&, Verb, const QString& absPath);
};

class FtpCommands {
public:
    explicit FtpCommands(CurlConnection& connection) : connection_(connection) {}

    // Runs one command against the server of `settings`; its requests report through `hooks`.
    CommandOutcome run(const FtpCommand& command, const ServerSettings& settings, const RequestHooks& hooks);

    // Closes the logged-in connection (libcurl sends QUIT); the next command logs in again, at
    // the login folder.
    void logOut();

    // The server refused the login of the current settings, or its host key or certificate was
    // refused: commands fail at once until the next connect.
    Refusal refusal() const { return session_.refusal(); }
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

    // The outcome of a request that was cancelled or failed; nothing when it succeeded.
    static std::optional<CommandOutcome> unsuccessful(const RequestResult& r, const RequestTarget& target);

    QByteArray folderUrl(const RequestTarget& target, const QString& absFolder) const;
    QByteArray fileUrl(const RequestTarget& target, const QString& absPath) const;
    CommandOutcome listFolder(const RequestTarget& target);
    CommandOutcome changeFolder(const RequestTarget& target, const QString& folder);
    CommandOutcome fileCommand(const RequestTarget& target, Verb verb, const QString& name);

    // FTP: a folder is entered with one CWD and named by PWD; delete, mkdir and rmdir are
    // commands quoted before an empty request.
    CommandOutcome ftpChangeFolder(const RequestTarget& target, const QString& absFolder);
    CommandOutcome ftpFileCommand(const RequestTarget& target, Verb verb, const QString& absPath);
    // SFTP (sftp_commands.cpp): a folder is entered by listing it; delete, mkdir and rmdir are
    // libcurl's SFTP commands before an empty request.
    CommandOutcome sftpChangeFolder(const RequestTarget& target, const QString& absFolder);
    CommandOutcome sftpFileCommand(const RequestTarget& target, Verb verb, const QString& absPath);

    static const ProtocolWays kFtpWays, kSftpWays;
    const ProtocolWays* ways_ = &kFtpWays; // those of the address of the command running
};
