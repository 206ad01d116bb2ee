#pragma once
// One libcurl request on the control connection: the easy-handle options, the callbacks that
// turn libcurl's events into states and dialogue lines, the multi loop that runs it
// until it ends or the command is cancelled, and one more try on a new login when the server
// had dropped the cached connection before the request's own command reached it.
//
// What to ask for comes as a RequestSpec built by the commands; libcurl itself stays in here.
#include "ftp/remote_paths.h"
#include "ftp/transfer_control.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>

constexpr int kDefaultRequestTimeoutMs = 60000;

// The server and login a command runs against, copied when the command is queued.
struct ServerSettings {
    QString address;  // as typed in the window
    QString user, password;
    quint64 connectNumber = 0; // grows each time address, user or password is set: a new connect
    int timeoutMs = kDefaultRequestTimeoutMs;
    QString caFile;         // FTPS: certificates trusted besides the system's, when the file exists
    QString knownHostsFile; // SFTP: the trusted host keys (empty: none)
};

using TraceFunction = std::function<void(const QString&)>;

// How the requests of one command report back. All of it is called on the worker thread.
struct RequestHooks {
    std::function<void(FtpState state)> notify;    // progress
    std::function<bool()> cancelled;                // the command was cancelled or replaced
    std::function<TraceFunction()> traceListener;   // the dialogue listener now in force, if any
};

// Where the requests of one command go, as whom, and whom they report to.
struct RequestTarget {
    ServerSettings settings;
    FtpServerAddress address;
    RequestHooks hooks;
};

// What one request asks the server for. A request with no body only moves to the folder of
// its URL and sends the quoted commands; otherwise it lists (URL ending in "/"), downloads, or
// uploads `uploadSize` bytes.
struct RequestSpec {
    QByteArray url;
    bool noBody = false;
    bool ignoreContentLength = false; // a download whose size is known already: no SIZE asked
    QByteArray listCommand;        // instead of LIST ("MLSD")
    QList<QByteArray> preQuote;    // commands sent before the request, in order
    QList<QByteArray> quote;       // SFTP: libcurl's commands run before the request ("rm \"/a b\"")
    QByteArray quotedWord;         // the reply to the sent line starting with this ("DELE ") is kept
    qint64 uploadSize = -1;        // -1: not an upload
    std::function<void()> restart;                  // before each try, so a second one starts over
    std::function<bool(const char*, size_t)> sink;  // received data; false stops the transfer
    std::function<qint64(char*, size_t)> source;    // fills in data to upload: its size, -1 stops
};

// What one request ended with.
struct RequestResult {
    int curlCode = 0;          // CURLcode
    QString lastReply;         // last final reply line of the server ("550 No such file")
    QString quoteReply;        // the reply to the line starting with RequestSpec::quotedWord
    QList<QByteArray> quoteReplyLines; // all of its lines, a multi-line reply's too
    QString pwdReply;          // the last "257" reply
    QString error;             // libcurl's error text
    QString trustRefusal;      // why the server's host key or certificate was refused, if it was
    int osErrno = 0;           // the system's error of the last connect (ECONNREFUSED...)
    bool cancelled = false;
    bool connectionKept = false;  // a logged-in connection stays cached for the next request
    bool loginRefused = false;    // the server refused user or password
    // The request's own command (RETR, STOR, LIST/MLSD or the quoted one) went out, and the
    // first reply line after it (empty when none came): past that point the server may have
    // carried it out, so the request is not made again on a new login.
    bool commandSent = false;
    QString commandReply;
    QByteArray entryPath;      // the login folder as the server names it (empty if unknown)
    qint64 announcedSize = -1; // size of a download as the server announced it, -1 if unknown
    qint64 uploadedBytes = 0;

    bool ok() const { return !cancelled && curlCode == 0; }
    int lastReplyCode() const { return lastReply.left(3).toInt(); }
};

// The libcurl handles of one transfer control: the multi handle keeps the logged-in
// connection from one request to the next, the easy handle is reset for each request.
// perform() and close() belong to the worker thread; wake() may be called from any thread.
class CurlConnection {
public:
    CurlConnection();
    ~CurlConnection();
    CurlConnection(const CurlConnection&) = delete;
    CurlConnection& operator=(const CurlConnection&) = delete;

    // Runs one request. `connectionCached`: the last request left a logged-in connection.
    RequestResult perform(const RequestTarget& target, const RequestSpec& req, bool connectionCached);

    // Ends the cached connection (libcurl sends QUIT).
    void close();

    // Makes a running request look at its cancel flag now instead of at its next wake-up.
    void wake();

private:
    struct Handles;
    std::unique_ptr<Handles> h;

    RequestResult performOnce(const RequestTarget& target, const RequestSpec& req, bool fresh,
                              bool connectedBefore, bool* reused);
};

// The request failed for want of the server, not because it refused something: it could not
// be reached or connected to, stopped answering within the time-out, or dropped the connection
// (a closed socket, "421").
bool serverUnreachable(const RequestResult& result);

// The report of a failed request for ResponseInfo, in Portuguese: what went wrong (connection
// refused, server not found, time-out, login refused, certificate not trusted, file not found or
// no permission, connection lost), the server's own reply when it refused, and libcurl's code:
// "Usuário ou senha recusados pelo servidor FTP h:21: 530 Login incorrect. (curl 67)". A host key
// or certificate the checks refused is described by them (server_trust.h).
QString describeFailure(const RequestResult& result, const FtpServerAddress& address);

// The same for a refusal that came as the reply to a quoted command ("550 ..." to a DELE).
QString describeRefusal(const QString& reply, const FtpServerAddress& address);
