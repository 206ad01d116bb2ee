#include "ftp/curl/curl_request.h"

#include "ftp/curl/server_trust.h"
#include "ftp/listing.h"
#include "ftp/transfer_control.h"

#include <QFile>
#include <QLoggingCategory>

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>

Q_LOGGING_CATEGORY(lcFtp, "pedidos.ftp", QtWarningMsg)

namespace {

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int secondsCeil(int ms) { return ms <= 0 ? 1 : (ms + 999) / 1000; }

// One try of a request, as the libcurl callbacks see it.
struct Attempt {
    const RequestHooks* hooks = nullptr;
    const RequestSpec* req = nullptr;
    RequestResult* result = nullptr;
    TraceFunction trace;
    std::optional<FtpState> lastState;
    bool sawReply = false;
    bool resolving = false;
    bool awaitingQuote = false;
    bool awaitingCommandReply = false;
    // The last sign of life from the server: any callback, a byte more moved. libcurl has no
    // time-out for an SFTP server that stops answering in the middle of a command; the loop
    // below gives up after the request time-out without one.
    std::chrono::steady_clock::time_point lastSign = std::chrono::steady_clock::now();
    curl_off_t bytesMoved = 0;

    void sign() { lastSign = std::chrono::steady_clock::now(); }

    // The line that carries out what the request is for (not the login, CWD, TYPE or EPSV
    // before it).
    bool isOwnCommand(const QByteArray& line) const
    {
        for (const char* word : {"RETR ", "STOR ", "LIST", "MLSD"}) {
            if (line.startsWith(word))
                return true;
        }
        return !req->quotedWord.isEmpty() && line.startsWith(req->quotedWord);
    }

    // Every state of the request goes out here, each only once in a row.
    void report(FtpState state)
    {
        if (lastState == state)
            return;
        lastState = state;
        hooks->notify(state);
    }
};

QByteArray withoutLineEnd(const char* data, size_t size)
{
    QByteArray line(data, qsizetype(size));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

size_t onHeader(char* data, size_t size, size_t n, void* user)
{
    auto* a = static_cast<Attempt*>(user);
    a->sign();
    const size_t len = size * n;
    const QByteArray line = withoutLineEnd(data, len);
    if (a->awaitingQuote)
        a->result->quoteReplyLines << line;
    // A final reply line is "ddd text"; "ddd-text" continues a multi-line reply.
    if (line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1]))
        && std::isdigit(uchar(line[2])) && (line.size() == 3 || line[3] == ' ')) {
        const QString text = decodeServerText(line);
        if (a->trace)
            a->trace(QStringLiteral("< ") + text);
        const bool greeting = !a->sawReply && line.startsWith("220");
        a->sawReply = true;
        a->result->lastReply = text;
        if (line.startsWith("257"))
            a->result->pwdReply = text;
        if (a->awaitingQuote) {
            a->result->quoteReply = text;
            a->awaitingQuote = false;
        }
        if (a->awaitingCommandReply) {
            a->result->commandReply = text;
            a->awaitingCommandReply = false;
        }
        a->report(greeting ? FtpState::Connected : FtpState::ResponseReceived);
    }
    return len;
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    auto* a = static_cast<Attempt*>(user);
    a->sign();
    if (type != CURLINFO_HEADER_OUT)
        return 0;
    QByteArray line = withoutLineEnd(data, size);
    if (line.startsWith("PASS "))
        line = "PASS ****";
    if (!a->req->quotedWord.isEmpty() && line.startsWith(a->req->quotedWord))
        a->awaitingQuote = true;
    if (!a->result->commandSent && a->isOwnCommand(line)) {
        a->result->commandSent = true;
        a->awaitingCommandReply = true;
    }
    if (a->trace)
        a->trace(QStringLiteral("> ") + decodeServerText(line));
    a->report(FtpState::Requesting);
    a->report(FtpState::RequestSent);
    return 0;
}

int onResolverStart(void*, void*, void* user)
{
    auto* a = static_cast<Attempt*>(user);
    a->resolving = true;
    a->report(FtpState::Resolving);
    return 0;
}

curl_socket_t onOpenSocket(void* user, curlsocktype, curl_sockaddr* addr)
{
    auto* a = static_cast<Attempt*>(user);
    if (!a->sawReply) { // the control connection, not a data connection
        if (!a->resolving)
            a->report(FtpState::Resolving);
        a->report(FtpState::Resolved);
        a->report(FtpState::Connecting);
    }
    return ::socket(addr->family, addr->socktype | SOCK_CLOEXEC, addr->protocol);
}

int onPrereq(void* user, char*, char*, int, int)
{
    static_cast<Attempt*>(user)->report(FtpState::Requesting);
    return CURL_PREREQFUNC_OK;
}

int onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    auto* a = static_cast<Attempt*>(user);
    if (a->hooks->cancelled())
        return 1;
    if (dlnow + ulnow != a->bytesMoved) {
        a->bytesMoved = dlnow + ulnow;
        a->sign();
    }
    if (dlnow > 0 || ulnow > 0)
        a->report(FtpState::Receiving);
    return 0;
}

size_t onWrite(char* data, size_t size, size_t n, void* user)
{
    auto* a = static_cast<Attempt*>(user);
    const size_t len = size * n;
    if (!a->req->sink)
        return len;
    return a->req->sink(data, len) ? len : 0;
}

size_t onRead(char* data, size_t size, size_t n, void* user)
{
    auto* a = static_cast<Attempt*>(user);
    if (!a->req->source)
        return 0;
    const qint64 got = a->req->source(data, size * n);
    return got < 0 ? size_t(CURL_READFUNC_ABORT) : size_t(got);
}

// Failures that mean the server had closed the cached connection: those of a server gone, and
// the garbled replies a dead socket's leftovers give.
bool serverDropped(const RequestResult& r)
{
    switch (r.curlCode) {
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
        return true;
    default:
        return serverUnreachable(r);
    }
}

} // namespace

bool serverUnreachable(const RequestResult& r)
{
    if (r.ok())
        return false;
    if (r.lastReplyCode() == 421 || r.quoteReply.startsWith(QLatin1String("421")))
        return true;
    switch (r.curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return true;
    default:
        return false;
    }
}

namespace {

// How long to wait for libcurl's sockets. libcurl 7.88 sometimes returns with a step still to
// take and no socket to wait for: after the EPSV reply it opens the data connection only on its
// next call, and offers nothing but its 60-second reply timer meanwhile. Waiting then would
// stall every download; such a round is made again at once, then after 1, 2, 4, ... ms.
int pollTimeoutMs(CURLM* multi, int* idleRounds)
{
    fd_set readSet, writeSet, exceptSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&exceptSet);
    int maxFd = -1;
    curl_multi_fdset(multi, &readSet, &writeSet, &exceptSet, &maxFd);
    if (maxFd >= 0) {
        *idleRounds = 0;
        return 1000;
    }
    const int round = (*idleRounds)++;
    return round == 0 ? 0 : std::min(1 << std::min(round - 1, 10), 1000);
}

// What a request does differently over FTP (and FTPS) and over SFTP, chosen once per request by
// the address; the server's trust (host key or certificate) is ServerTrust's.
struct Transport {
    const char* protocols;        // the only protocol libcurl may use
    long sshAuthTypes;            // SFTP: the password only, tried once (no keys of this machine's user)
    bool retriesDroppedLogin;     // FTP: a cached login the server closed is made again once;
                                  // libcurl itself finds such an SFTP connection and opens a new one
    bool watchesSilence;          // SFTP: libcurl's reply timer does not cover a server gone silent
};

const Transport& transportOf(const FtpServerAddress& address)
{
    static const Transport ftp{"ftp", 0, true, false};
    static const Transport sftp{"sftp", long(CURLSSH_AUTH_PASSWORD), false, true};
    return address.sftp ? sftp : ftp;
}

} // namespace

struct CurlConnection::Handles {
    std::mutex multiMutex; // guards `multi` for curl_multi_wakeup from other threads
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    ServerTrust trust; // the checks of the request running, called back from inside it

    CURLM* ensureMulti()
    {
        std::lock_guard lk(multiMutex);
        if (!multi)
            multi = curl_multi_init();
        return multi;
    }
};

CurlConnection::CurlConnection() : h(std::make_unique<Handles>())
{
    globalInit();
}

CurlConnection::~CurlConnection()
{
    close();
    if (h->easy)
        curl_easy_cleanup(h->easy);
}

void CurlConnection::close()
{
    CURLM* old = nullptr;
    {
        std::lock_guard lk(h->multiMutex);
        old = h->multi;
        h->multi = nullptr;
    }
    if (old)
        curl_multi_cleanup(old);
}

void CurlConnection::wake()
{
    std::lock_guard lk(h->multiMutex);
    if (h->multi)
        curl_multi_wakeup(h->multi);
}

// A request on the cached connection that fails because the server closed it meanwhile
// (idle time-out: "421", or a dead socket) is made once more on a new login, but only when the
// server cannot have carried out its command: a DELE whose reply was lost may have deleted the
// file (sent again it would fail with 550), and a download cut short is a failure to report,
// not one to fetch again.
RequestResult CurlConnection::perform(const RequestTarget& target, const RequestSpec& req, bool connectionCached)
{
    bool reused = false;
    RequestResult r = performOnce(target, req, false, connectionCached, &reused);
    const bool commandReachedServer = r.commandSent && !r.commandReply.startsWith(QLatin1String("421"));
    if (transportOf(target.address).retriesDroppedLogin && !r.cancelled && connectionCached && reused && serverDropped(r) && !commandReachedServer)
        r = performOnce(target, req, true, r.connectionKept, &reused);
    return r;
}

RequestResult CurlConnection::performOnce(const RequestTarget& target, const RequestSpec& req, bool fresh,
                                          bool connectedBefore, bool* reused)
{
    const ServerSettings& settings = target.settings;
    const Transport& transport = transportOf(target.address);
    RequestResult res;
    Attempt at;
    at.hooks = &target.hooks;
    at.req = &req;
    at.result = &res;
    if (target.hooks.traceListener)
        at.trace = target.hooks.traceListener();
    if (!at.trace && lcFtp().isDebugEnabled())
        at.trace = [](const QString& line) { qCDebug(lcFtp).noquote() << line; };

    if (!h->easy)
        h->easy = curl_easy_init();
    CURL* e = h->easy;
    curl_easy_reset(e);
    const QByteArray user = settings.user.toUtf8();
    const QByteArray pass = settings.password.toUtf8();
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, transport.protocols);
    curl_easy_setopt(e, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(e, CURLOPT_PASSWORD, pass.constData());
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(settings.timeoutMs));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(secondsCeil(settings.timeoutMs)));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long(secondsCeil(settings.timeoutMs)));
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    if (target.address.tls)
        curl_easy_setopt(e, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (transport.sshAuthTypes != 0)
        curl_easy_setopt(e, CURLOPT_SSH_AUTH_TYPES, transport.sshAuthTypes);
    h->trust.apply(e, target.address, {settings.knownHostsFile, settings.caFile},
                   [&at] { at.report(FtpState::Connected); });
    if (fresh)
        curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &at);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &onDebug);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, &at);
    curl_easy_setopt(e, CURLOPT_RESOLVER_START_FUNCTION, &onResolverStart);
    curl_easy_setopt(e, CURLOPT_RESOLVER_START_DATA, &at);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &onOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, &at);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &onPrereq);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &at);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &at);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &at);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &onRead);
    curl_easy_setopt(e, CURLOPT_READDATA, &at);

    // What this request asks for.
    if (req.restart)
        req.restart();
    curl_easy_setopt(e, CURLOPT_URL, req.url.constData());
    if (req.noBody)
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (req.ignoreContentLength)
        curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    if (!req.listCommand.isEmpty())
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, req.listCommand.constData());
    curl_slist* preQuote = nullptr;
    for (const QByteArray& line : req.preQuote)
        preQuote = curl_slist_append(preQuote, line.constData());
    if (preQuote)
        curl_easy_setopt(e, CURLOPT_PREQUOTE, preQuote);
    curl_slist* quote = nullptr;
    for (const QByteArray& line : req.quote)
        quote = curl_slist_append(quote, line.constData());
    if (quote)
        curl_easy_setopt(e, CURLOPT_QUOTE, quote);
    if (req.uploadSize >= 0) {
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(req.uploadSize));
    }

    CURLM* mh = h->ensureMulti();
    curl_multi_add_handle(mh, e);
    CURLcode code = CURLE_OK;
    bool done = false;
    int idleRounds = 0;
    for (;;) {
        int still = 0;
        curl_multi_perform(mh, &still);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(mh, &left)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) {
                code = msg->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (target.hooks.cancelled()) {
            res.cancelled = true;
            break;
        }
        if (still == 0) { // should not happen: no message and nothing running
            code = CURLE_FAILED_INIT;
            break;
        }
        if (transport.watchesSilence
            && std::chrono::steady_clock::now() - at.lastSign > std::chrono::milliseconds(settings.timeoutMs)) {
            code = CURLE_OPERATION_TIMEDOUT; // removing the request below drops its connection
            break;
        }
        curl_multi_poll(mh, nullptr, 0, pollTimeoutMs(mh, &idleRounds), nullptr);
    }
    curl_multi_remove_handle(mh, e);
    curl_slist_free_all(preQuote);
    curl_slist_free_all(quote);
    if (code == CURLE_ABORTED_BY_CALLBACK && target.hooks.cancelled())
        res.cancelled = true;
    res.curlCode = int(code);
    long connects = 0;
    curl_easy_getinfo(e, CURLINFO_NUM_CONNECTS, &connects);
    *reused = connectedBefore && connects == 0;
    res.error = QString::fromLocal8Bit(errbuf[0] ? errbuf : curl_easy_strerror(code));
    res.trustRefusal = h->trust.refusal(int(code));
    long osErrno = 0;
    curl_easy_getinfo(e, CURLINFO_OS_ERRNO, &osErrno);
    res.osErrno = int(osErrno);
    const char* entry = nullptr;
    curl_easy_getinfo(e, CURLINFO_FTP_ENTRY_PATH, &entry);
    if (entry)
        res.entryPath = QByteArray(entry);
    curl_off_t announced = -1;
    curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    res.announcedSize = qint64(announced);
    curl_off_t sent = 0;
    curl_easy_getinfo(e, CURLINFO_SIZE_UPLOAD_T, &sent);
    res.uploadedBytes = qint64(sent);
    // A cancelled transfer loses its connection, and so does a failure that the server did
    // not report with a reply of its own; a refused command ("550 ...") keeps it.
    const int replyCode = res.lastReplyCode();
    res.loginRefused = code == CURLE_LOGIN_DENIED;
    res.connectionKept = !res.cancelled && !res.loginRefused
        && (code == CURLE_OK || (replyCode >= 400 && replyCode != 421 && code != CURLE_OPERATION_TIMEDOUT));
    return res;
}
