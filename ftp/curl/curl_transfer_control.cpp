#include "ftp/curl/curl_transfer_control.h"

#include "ftp/remote_paths.h"
#include "ftp/listing.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QObject>

#include <curl/curl.h>
#include <sys/socket.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

Q_LOGGING_CATEGORY(lcFtp, "pedidos.ftp", QtWarningMsg)

namespace {

constexpr int kDefaultTimeoutMs = 60000;

struct Job {
    quint64 id = 0;
    FtpCommand command;
    QString address, user, password;
    int timeoutMs = kDefaultTimeoutMs;
    QString caFile;
    bool verifyPeer = true;
};

struct Outcome {
    bool ok = false;
    QString answer;
    QString info;
};

// What one libcurl request ended with.
struct Reply {
    CURLcode code = CURLE_OK;
    long responseCode = 0;
    QString lastReply;        // last final reply line of the server ("550 No such file")
    QString quoteReply;       // the reply to the quoted command (DELE, MKD, RMD)
    QString pwdReply;         // the last "257" reply
    QString error;            // libcurl's error text
    bool reused = false;      // ran on a connection that was already logged in
    bool cancelled = false;

    bool ok() const { return !cancelled && code == CURLE_OK; }
    int lastReplyCode() const { return lastReply.left(3).toInt(); }
};

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int secondsCeil(int ms) { return ms <= 0 ? 1 : (ms + 999) / 1000; }

} // namespace

struct CurlTransferControl::Impl {
    // ---- shared between the threads (guarded by m) ----
    mutable std::mutex m;
    std::condition_variable workCv;
    mutable std::condition_variable progressCv;
    std::deque<Job> queue;
    bool stopping = false;
    quint64 nextId = 0;
    quint64 currentId = 0;         // the command the caller sees
    bool running = false;
    bool lastOk = false;
    QString answer;
    qsizetype answerPos = 0;
    QString info;
    // Notifications waiting for the owner thread, delivered in order by one queued call per
    // batch: a command brings about ten of them, and waking the owner thread for each would
    // cost more than the command (thread switches, system calls, the window's event round).
    struct Note {
        quint64 id;
        int state;
        std::optional<Outcome> outcome;
    };
    std::vector<Note> notes;
    bool drainQueued = false;
    // Final notifications (11 or 12) posted and delivered: waitForProgress returns as soon as
    // one is waiting.
    quint64 finalsPosted = 0, finalsDelivered = 0;
    std::atomic<quint64> cancelledUpTo{0};
    QString address, user, password, caFile;
    int timeoutMs = kDefaultTimeoutMs;
    bool verifyPeer = true;
    std::function<void(const QString&)> trace;

    std::mutex multiMutex;          // guards `multi` for curl_multi_wakeup from other threads
    CURLM* multi = nullptr;

    // ---- owner thread only ----
    std::function<void(int)> listener;
    std::unique_ptr<QObject> notifier;

    // ---- worker thread only ----
    struct Session {
        QString key;                 // address, user, password and TLS options in use
        QString cwd;                 // current remote folder; empty until logged in
        bool connected = false;      // a logged-in connection is cached in the multi handle
        bool noMlsd = false;
        bool latin1 = false;
    } s;
    CURL* easy = nullptr;

    // Per-request context, read by the libcurl callbacks.
    struct Request {
        Impl* impl = nullptr;
        const Job* job = nullptr;
        Reply* reply = nullptr;
        int lastState = 0;
        bool sawReply = false;
        bool resolving = false;
        QByteArray pendingQuote;     // quoted command whose reply we want ("DELE ")
        bool awaitingQuote = false;
        std::function<size_t(const char*, size_t)> sink;   // download data
        std::function<size_t(char*, size_t)> source;       // upload data
        std::function<void(const QString&)> trace;
    };

    std::thread worker;

    Impl()
    {
        globalInit();
        notifier = std::make_unique<QObject>();
        worker = std::thread([this] { workerLoop(); });
    }

    ~Impl()
    {
        {
            std::lock_guard lk(m);
            stopping = true;
            cancelledUpTo = nextId;
            running = false;
            queue.clear();
        }
        wakeMulti();
        workCv.notify_all();
        progressCv.notify_all();
        worker.join();
        notifier.reset(); // drops notifications still queued
    }

    void wakeMulti()
    {
        std::lock_guard lk(multiMutex);
        if (multi)
            curl_multi_wakeup(multi);
    }

    bool isCancelled(quint64 id) const { return cancelledUpTo.load() >= id; }

    // ---------------------------------------------------------------- owner thread side

    // Queues a notification for the owner thread. Only the first of a batch posts an event;
    // only a final one wakes a caller sleeping in waitForProgress (the others are shown by its
    // next round of event processing, at most one wait slice later).
    void post(quint64 id, int state, std::optional<Outcome> outcome = std::nullopt)
    {
        const bool final = outcome.has_value();
        bool queueDrain = false;
        {
            std::lock_guard lk(m);
            notes.push_back(Note{id, state, std::move(outcome)});
            if (!drainQueued)
                drainQueued = queueDrain = true;
            if (final)
                ++finalsPosted;
        }
        if (final)
            progressCv.notify_all();
        if (queueDrain)
            QMetaObject::invokeMethod(notifier.get(), [this] { drain(); }, Qt::QueuedConnection);
    }

    // Owner thread: delivers the waiting notifications in the order they were posted. A
    // listener that starts another command makes the rest of the batch stale (skipped below).
    void drain()
    {
        std::vector<Note> batch;
        {
            std::lock_guard lk(m);
            batch.swap(notes);
            drainQueued = false;
        }
        for (const Note& n : batch)
            deliver(n.id, n.state, n.outcome);
    }

    void deliver(quint64 id, int state, const std::optional<Outcome>& outcome)
    {
        std::function<void(int)> call;
        {
            std::lock_guard lk(m);
            if (outcome)
                ++finalsDelivered;
            if (id != currentId || isCancelled(id))
                return;
            if (outcome) {
                if (!running)
                    return;
                running = false;
                lastOk = outcome->ok;
                answer = outcome->answer;
                answerPos = 0;
                info = outcome->info;
            } else if (!running) {
                return;
            }
            call = listener;
        }
        if (outcome)
            progressCv.notify_all();
        if (call)
            call(state);
    }

    // ---------------------------------------------------------------- worker thread side

    void workerLoop()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock lk(m);
                workCv.wait(lk, [&] { return stopping || !queue.empty(); });
                if (stopping)
                    break;
                job = std::move(queue.front());
                queue.pop_front();
            }
            if (isCancelled(job.id))
                continue;
            Outcome out = runJob(job);
            if (!isCancelled(job.id))
                post(job.id, out.ok ? ftpstate::ResponseCompleted : ftpstate::Error, out);
        }
        closeSession();
        if (easy)
            curl_easy_cleanup(easy);
        easy = nullptr;
    }

    // Ends the logged-in session: libcurl sends QUIT on the cached connection.
    void closeSession()
    {
        CURLM* old = nullptr;
        {
            std::lock_guard lk(multiMutex);
            old = multi;
            multi = nullptr;
        }
        if (old)
            curl_multi_cleanup(old);
        s.cwd.clear();
        s.connected = false;
        s.noMlsd = false;
        s.latin1 = false;
    }

    CURLM* ensureMulti()
    {
        std::lock_guard lk(multiMutex);
        if (!multi)
            multi = curl_multi_init();
        return multi;
    }

    void emitState(Request& r, int state)
    {
        if (r.lastState == state)
            return;
        r.lastState = state;
        post(r.job->id, state);
    }

    static QString describe(const Reply& rep, const FtpServerAddress& addr)
    {
        const QString server = addr.host + QLatin1Char(':') + QString::number(addr.port);
        if (rep.lastReplyCode() >= 400)
            return rep.lastReply;
        const QString code = QStringLiteral(" (curl %1: %2)").arg(int(rep.code)).arg(rep.error);
        switch (rep.code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("Servidor FTP não encontrado: %1").arg(addr.host) + code;
        case CURLE_COULDNT_CONNECT:
            return QStringLiteral("Não foi possível conectar ao servidor FTP %1").arg(server) + code;
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("Tempo esgotado aguardando o servidor FTP %1").arg(server) + code;
        case CURLE_LOGIN_DENIED:
            return QStringLiteral("Usuário ou senha recusados pelo servidor FTP %1").arg(server) + code;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_USE_SSL_FAILED:
            return QStringLiteral("Falha na conexão segura (TLS) com o servidor FTP %1").arg(server) + code;
        default:
            return QStringLiteral("Falha na comunicação com o servidor FTP %1").arg(server) + code;
        }
    }

    // ---- libcurl callbacks

    static size_t onHeader(char* data, size_t size, size_t n, void* user)
    {
        auto* r = static_cast<Request*>(user);
        const size_t len = size * n;
        QByteArray line(data, qsizetype(len));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        // A final reply line is "ddd text"; "ddd-text" continues a multi-line reply.
        if (line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1]))
            && std::isdigit(uchar(line[2])) && (line.size() == 3 || line[3] == ' ')) {
            const QString text = decodeServerText(line);
            if (r->trace)
                r->trace(QStringLiteral("< ") + text);
            const bool greeting = !r->sawReply && line.startsWith("220");
            r->sawReply = true;
            r->reply->lastReply = text;
            if (line.startsWith("257"))
                r->reply->pwdReply = text;
            if (r->awaitingQuote) {
                r->reply->quoteReply = text;
                r->awaitingQuote = false;
            }
            r->impl->emitState(*r, greeting ? ftpstate::Connected : ftpstate::ResponseReceived);
        }
        return len;
    }

    static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user)
    {
        if (type != CURLINFO_HEADER_OUT)
            return 0;
        auto* r = static_cast<Request*>(user);
        QByteArray line(data, qsizetype(size));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith("PASS "))
            line = "PASS ****";
        if (!r->pendingQuote.isEmpty() && line.startsWith(r->pendingQuote))
            r->awaitingQuote = true;
        if (r->trace)
            r->trace(QStringLiteral("> ") + decodeServerText(line));
        r->impl->emitState(*r, ftpstate::Requesting);
        r->impl->emitState(*r, ftpstate::RequestSent);
        return 0;
    }

    static int onResolverStart(void*, void*, void* user)
    {
        auto* r = static_cast<Request*>(user);
        r->resolving = true;
        r->impl->emitState(*r, ftpstate::Resolving);
        return 0;
    }

    static curl_socket_t onOpenSocket(void* user, curlsocktype, curl_sockaddr* addr)
    {
        auto* r = static_cast<Request*>(user);
        if (!r->sawReply) { // the control connection, not a data connection
            if (!r->resolving)
                r->impl->emitState(*r, ftpstate::Resolving);
            r->impl->emitState(*r, ftpstate::Resolved);
            r->impl->emitState(*r, ftpstate::Connecting);
        }
        return ::socket(addr->family, addr->socktype | SOCK_CLOEXEC, addr->protocol);
    }

    static int onPrereq(void* user, char*, char*, int, int)
    {
        auto* r = static_cast<Request*>(user);
        r->impl->emitState(*r, ftpstate::Requesting);
        return CURL_PREREQFUNC_OK;
    }

    static int onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
    {
        auto* r = static_cast<Request*>(user);
        if (r->impl->isCancelled(r->job->id))
            return 1;
        if (dlnow > 0 || ulnow > 0)
            r->impl->emitState(*r, ftpstate::Receiving);
        return 0;
    }

    static size_t onWrite(char* data, size_t size, size_t n, void* user)
    {
        auto* r = static_cast<Request*>(user);
        return r->sink ? r->sink(data, size * n) : size * n;
    }

    static size_t onRead(char* data, size_t size, size_t n, void* user)
    {
        auto* r = static_cast<Request*>(user);
        return r->source ? r->source(data, size * n) : 0;
    }

    // ---- one request

    using Setup = std::function<void(CURL*, Request&)>;

    Reply performOnce(const Job& job, const FtpServerAddress& addr, const Setup& setup, bool fresh,
                      const std::function<void(Request&)>& prepare)
    {
        Reply rep;
        Request req;
        req.impl = this;
        req.job = &job;
        req.reply = &rep;
        {
            std::lock_guard lk(m);
            req.trace = trace;
        }
        if (!req.trace && lcFtp().isDebugEnabled())
            req.trace = [](const QString& line) { qCDebug(lcFtp).noquote() << line; };
        if (prepare)
            prepare(req);

        if (!easy)
            easy = curl_easy_init();
        CURL* e = easy;
        curl_easy_reset(e);
        char errbuf[CURL_ERROR_SIZE] = {};
        const QByteArray user = job.user.toUtf8();
        const QByteArray pass = job.password.toUtf8();
        const QByteArray ca = QFile::encodeName(job.caFile);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errbuf);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(e, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(e, CURLOPT_PASSWORD, pass.constData());
        curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(job.timeoutMs));
        curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(secondsCeil(job.timeoutMs)));
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long(secondsCeil(job.timeoutMs)));
        curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
        if (addr.tls) {
            curl_easy_setopt(e, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
            if (!job.caFile.isEmpty())
                curl_easy_setopt(e, CURLOPT_CAINFO, ca.constData());
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, job.verifyPeer ? 1L : 0L);
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, job.verifyPeer ? 2L : 0L);
        }
        if (fresh)
            curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &req);
        curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &Impl::onDebug);
        curl_easy_setopt(e, CURLOPT_DEBUGDATA, &req);
        curl_easy_setopt(e, CURLOPT_RESOLVER_START_FUNCTION, &Impl::onResolverStart);
        curl_easy_setopt(e, CURLOPT_RESOLVER_START_DATA, &req);
        curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &Impl::onOpenSocket);
        curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, &req);
        curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Impl::onPrereq);
        curl_easy_setopt(e, CURLOPT_PREREQDATA, &req);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, &req);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &req);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, &Impl::onRead);
        curl_easy_setopt(e, CURLOPT_READDATA, &req);
        setup(e, req);

        CURLM* mh = ensureMulti();
        curl_multi_add_handle(mh, e);
        bool done = false;
        for (;;) {
            int still = 0;
            curl_multi_perform(mh, &still);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(mh, &left)) {
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) {
                    rep.code = msg->data.result;
                    done = true;
                }
            }
            if (done)
                break;
            if (isCancelled(job.id)) {
                rep.cancelled = true;
                break;
            }
            if (still == 0) { // should not happen: no message and nothing running
                rep.code = CURLE_FAILED_INIT;
                break;
            }
            curl_multi_poll(mh, nullptr, 0, 1000, nullptr);
        }
        curl_multi_remove_handle(mh, e);
        if (rep.code == CURLE_ABORTED_BY_CALLBACK && isCancelled(job.id))
            rep.cancelled = true;
        long connects = 0;
        curl_easy_getinfo(e, CURLINFO_NUM_CONNECTS, &connects);
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &rep.responseCode);
        rep.reused = s.connected && connects == 0;
        rep.error = QString::fromLocal8Bit(errbuf[0] ? errbuf : curl_easy_strerror(rep.code));
        // A cancelled transfer loses its connection, and so does a failure that the server did
        // not report with a reply of its own; a refused command ("550 ...") keeps it.
        const int replyCode = rep.lastReplyCode();
        s.connected = !rep.cancelled
            && (rep.code == CURLE_OK || (replyCode >= 400 && replyCode != 421 && rep.code != CURLE_OPERATION_TIMEDOUT));
        return rep;
    }

    static bool serverDropped(const Reply& r)
    {
        if (r.lastReplyCode() == 421 || r.quoteReply.startsWith(QLatin1String("421")))
            return true;
        switch (r.code) {
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_PARTIAL_FILE:
            return true;
        default:
            return false;
        }
    }

    // A request on the cached connection that fails because the server closed it meanwhile
    // (idle time-out: "421", or a dead socket) is made once more on a new login.
    Reply perform(const Job& job, const FtpServerAddress& addr, const Setup& setup,
                  const std::function<void(Request&)>& prepare = {})
    {
        const bool hadConnection = s.connected;
        Reply r = performOnce(job, addr, setup, false, prepare);
        if (!r.cancelled && hadConnection && r.reused && serverDropped(r))
            r = performOnce(job, addr, setup, true, prepare);
        return r;
    }

    // ---------------------------------------------------------------- the commands

    static Outcome failure(const QString& info) { return Outcome{false, {}, info}; }
    static Outcome success(const QString& answer = {}) { return Outcome{true, answer, {}}; }

    Outcome runJob(const Job& job)
    {
        const QString verb = job.command.verb.trimmed().toLower();
        const QStringList& args = job.command.args;
        for (const QString& a : args) {
            if (a.contains(QLatin1Char('\r')) || a.contains(QLatin1Char('\n')) || a.contains(QChar(0)))
                return failure(QStringLiteral("Nome inválido no comando \"%1\"").arg(job.command.verb));
        }
        if (verb == QLatin1String("quit")) {
            post(job.id, ftpstate::Disconnecting);
            closeSession();
            post(job.id, ftpstate::Disconnected);
            return success();
        }
        const auto addr = parseFtpServerAddress(job.address);
        if (!addr)
            return failure(QStringLiteral("Endereço do servidor FTP inválido: \"%1\"").arg(job.address));
        const QString key = job.address.trimmed() + QLatin1Char('\n') + job.user + QLatin1Char('\n')
            + job.password + QLatin1Char('\n') + job.caFile + QLatin1Char(job.verifyPeer ? '1' : '0');
        if (key != s.key) {
            closeSession();
            s.key = key;
        }

        static const QStringList known = {
            QStringLiteral("dir"), QStringLiteral("pwd"), QStringLiteral("cd"), QStringLiteral("recv"),
            QStringLiteral("send"), QStringLiteral("delete"), QStringLiteral("rmdir"), QStringLiteral("mkdir"),
        };
        if (!known.contains(verb))
            return failure(QStringLiteral("Comando FTP desconhecido: \"%1\"").arg(job.command.verb));

        Outcome out;
        if (!ensureLoggedIn(job, *addr, &out))
            return out;
        const QString oneArg = args.join(QLatin1Char(' '));
        if (verb == QLatin1String("pwd"))
            return success(s.cwd);
        if (verb == QLatin1String("dir"))
            return listFolder(job, *addr);
        if (verb == QLatin1String("cd"))
            return changeFolder(job, *addr, oneArg);
        if (verb == QLatin1String("recv")) {
            if (args.size() != 2)
                return failure(QStringLiteral("Uso: recv <arquivo remoto> <arquivo local>"));
            return download(job, *addr, args[0], args[1]);
        }
        if (verb == QLatin1String("send")) {
            if (args.size() != 2)
                return failure(QStringLiteral("Uso: send <arquivo local> <arquivo remoto>"));
            return upload(job, *addr, args[0], args[1]);
        }
        if (verb == QLatin1String("delete")) {
            if (oneArg.isEmpty() || oneArg.endsWith(QLatin1Char('/')))
                return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(oneArg));
            return quoted(job, *addr, "DELE", oneArg);
        }
        if (oneArg.isEmpty())
            return failure(QStringLiteral("Informe o nome da pasta"));
        return quoted(job, *addr, verb == QLatin1String("mkdir") ? "MKD" : "RMD", oneArg);
    }

    Outcome cancelled() { return failure(QStringLiteral("Operação cancelada")); }

    // Logs in when no session is open and takes the login folder as the current folder.
    bool ensureLoggedIn(const Job& job, const FtpServerAddress& addr, Outcome* out)
    {
        if (!s.cwd.isEmpty())
            return true;
        const QByteArray url = addr.baseUrl() + '/';
        const Reply r = perform(job, addr, [&](CURL* e, Request&) {
            curl_easy_setopt(e, CURLOPT_URL, url.constData());
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        });
        if (r.cancelled) {
            *out = cancelled();
            return false;
        }
        if (!r.ok()) {
            *out = failure(describe(r, addr));
            return false;
        }
        const char* entry = nullptr;
        curl_easy_getinfo(easy, CURLINFO_FTP_ENTRY_PATH, &entry);
        const QString path = entry ? decodeServerText(QByteArray(entry)) : QString();
        s.cwd = path.startsWith(QLatin1Char('/')) ? resolveRemotePath(QStringLiteral("/"), path)
                                                  : QStringLiteral("/");
        return true;
    }

    Outcome listFolder(const Job& job, const FtpServerAddress& addr)
    {
        QByteArray data;
        const QByteArray url = remoteFolderUrl(addr.baseUrl(), s.cwd, s.latin1);
        auto list = [&](bool mlsd) {
            return perform(job, addr, [&](CURL* e, Request& req) {
                data.clear();
                curl_easy_setopt(e, CURLOPT_URL, url.constData());
                if (mlsd)
                    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "MLSD");
                req.sink = [&data](const char* p, size_t n) {
                    data.append(p, qsizetype(n));
                    return n;
                };
            });
        };
        bool mlsd = !s.noMlsd;
        Reply r = list(mlsd);
        if (mlsd && !r.ok() && !r.cancelled && r.lastReplyCode() >= 500 && r.lastReplyCode() <= 504) {
            s.noMlsd = true; // the server has no MLSD: use LIST from now on
            mlsd = false;
            r = list(false);
        }
        if (r.cancelled)
            return cancelled();
        if (!r.ok())
            return failure(describe(r, addr));
        bool latin1 = false;
        const QString text = decodeServerText(data, &latin1);
        if (latin1)
            s.latin1 = true;
        return success(composeDirAnswer(parseListing(text, mlsd)));
    }

    Outcome changeFolder(const Job& job, const FtpServerAddress& addr, const QString& folder)
    {
        const QString target = folder.isEmpty() ? s.cwd : resolveRemotePath(s.cwd, folder);
        const QByteArray url = remoteFolderUrl(addr.baseUrl(), target, s.latin1);
        curl_slist* pwd = curl_slist_append(nullptr, "PWD");
        const Reply r = perform(job, addr, [&](CURL* e, Request&) {
            curl_easy_setopt(e, CURLOPT_URL, url.constData());
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(e, CURLOPT_PREQUOTE, pwd);
        });
        curl_slist_free_all(pwd);
        if (r.cancelled)
            return cancelled();
        if (!r.ok())
            return failure(describe(r, addr));
        const QString server = parsePwdReply(r.pwdReply);
        s.cwd = server.startsWith(QLatin1Char('/')) ? resolveRemotePath(QStringLiteral("/"), server) : target;
        return success();
    }

    // DELE, MKD or RMD of `name` (relative to the current folder or absolute). The command is
    // sent before the (empty) request on its folder; "*" keeps the connection when it fails.
    Outcome quoted(const Job& job, const FtpServerAddress& addr, const QByteArray& word, const QString& name)
    {
        const QString abs = resolveRemotePath(s.cwd, name);
        const QString leaf = remoteLeaf(abs);
        if (leaf.isEmpty())
            return failure(QStringLiteral("Nome inválido: \"%1\"").arg(name));
        const QByteArray url = remoteFolderUrl(addr.baseUrl(), remoteParent(abs), s.latin1);
        const QByteArray command = '*' + word + ' ' + encodeRemoteName(leaf, s.latin1);
        curl_slist* quote = curl_slist_append(nullptr, command.constData());
        const Reply r = perform(
            job, addr,
            [&](CURL* e, Request&) {
                curl_easy_setopt(e, CURLOPT_URL, url.constData());
                curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
                curl_easy_setopt(e, CURLOPT_PREQUOTE, quote);
            },
            [&](Request& req) { req.pendingQuote = word + ' '; });
        curl_slist_free_all(quote);
        if (r.cancelled)
            return cancelled();
        if (!r.ok())
            return failure(describe(r, addr));
        const int code = r.quoteReply.left(3).toInt();
        if (code < 200 || code >= 400)
            return failure(r.quoteReply.isEmpty() ? r.lastReply : r.quoteReply);
        return success();
    }

    Outcome download(const Job& job, const FtpServerAddress& addr, const QString& remote, const QString& local)
    {
        if (remote.isEmpty() || remote.endsWith(QLatin1Char('/')))
            return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(remote));
        if (local.isEmpty())
            return failure(QStringLiteral("Informe o arquivo local"));
        if (QFileInfo::exists(local))
            return failure(QStringLiteral("O arquivo local já existe: %1").arg(local));
        const QString abs = resolveRemotePath(s.cwd, remote);
        const QByteArray url = remoteFileUrl(addr.baseUrl(), remoteParent(abs), remoteLeaf(abs), s.latin1);
        const QString partPath = local + QStringLiteral(".part");
        QFile part(partPath);
        if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return failure(QStringLiteral("Não foi possível criar o arquivo local %1: %2").arg(partPath, part.errorString()));
        bool writeFailed = false;
        const Reply r = perform(job, addr, [&](CURL* e, Request& req) {
            part.resize(0);
            part.seek(0);
            curl_easy_setopt(e, CURLOPT_URL, url.constData());
            req.sink = [&](const char* p, size_t n) -> size_t {
                if (part.write(p, qint64(n)) != qint64(n)) {
                    writeFailed = true;
                    return 0;
                }
                return n;
            };
        });
        curl_off_t expected = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        const bool flushed = part.flush();
        const QString writeError = part.errorString();
        part.close();
        auto fail = [&](const QString& info) {
            QFile::remove(partPath);
            return failure(info);
        };
        if (r.cancelled)
            return fail(cancelled().info);
        if (writeFailed || !flushed)
            return fail(QStringLiteral("Erro ao gravar o arquivo local %1: %2").arg(partPath, writeError));
        if (!r.ok())
            return fail(describe(r, addr));
        const qint64 size = QFileInfo(partPath).size();
        if (expected >= 0 && size != qint64(expected))
            return fail(QStringLiteral("Arquivo %1 incompleto: %2 de %3 bytes recebidos")
                            .arg(remote).arg(size).arg(qint64(expected)));
        // QFile::rename never replaces an existing file.
        if (!QFile::rename(partPath, local))
            return fail(QStringLiteral("Não foi possível gravar %1 (o arquivo já existe?)").arg(local));
        return success();
    }

    Outcome upload(const Job& job, const FtpServerAddress& addr, const QString& local, const QString& remote)
    {
        QFile src(local);
        if (!QFileInfo(local).isFile() || !src.open(QIODevice::ReadOnly))
            return failure(QStringLiteral("Não foi possível ler o arquivo local %1").arg(local));
        const QString abs = resolveRemotePath(s.cwd, remote);
        if (remote.isEmpty() || remote.endsWith(QLatin1Char('/')) || remoteLeaf(abs).isEmpty())
            return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(remote));
        const QByteArray url = remoteFileUrl(addr.baseUrl(), remoteParent(abs), remoteLeaf(abs), s.latin1);
        const qint64 size = src.size();
        bool readFailed = false;
        const Reply r = perform(job, addr, [&](CURL* e, Request& req) {
            src.seek(0);
            curl_easy_setopt(e, CURLOPT_URL, url.constData());
            curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
            req.source = [&](char* p, size_t n) -> size_t {
                const qint64 got = src.read(p, qint64(n));
                if (got < 0) {
                    readFailed = true;
                    return CURL_READFUNC_ABORT;
                }
                return size_t(got);
            };
        });
        if (r.cancelled)
            return cancelled();
        if (readFailed)
            return failure(QStringLiteral("Erro ao ler o arquivo local %1").arg(local));
        if (!r.ok())
            return failure(describe(r, addr));
        curl_off_t sent = 0;
        curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &sent);
        if (qint64(sent) != size)
            return failure(QStringLiteral("Envio de %1 incompleto: %2 de %3 bytes").arg(local).arg(qint64(sent)).arg(size));
        return success();
    }
};

// -------------------------------------------------------------------- public side

CurlTransferControl::CurlTransferControl() : d(std::make_unique<Impl>()) {}

CurlTransferControl::~CurlTransferControl() = default;

void CurlTransferControl::setAddress(const QString& address)
{
    std::lock_guard lk(d->m);
    d->address = address;
}

void CurlTransferControl::setUserName(const QString& user)
{
    std::lock_guard lk(d->m);
    d->user = user;
}

void CurlTransferControl::setPassword(const QString& password)
{
    std::lock_guard lk(d->m);
    d->password = password;
}

void CurlTransferControl::setRequestTimeoutMs(int ms)
{
    std::lock_guard lk(d->m);
    d->timeoutMs = ms > 0 ? ms : kDefaultTimeoutMs;
}

void CurlTransferControl::setTlsCaFile(const QString& path)
{
    std::lock_guard lk(d->m);
    d->caFile = path;
}

void CurlTransferControl::setTlsVerifyPeer(bool verify)
{
    std::lock_guard lk(d->m);
    d->verifyPeer = verify;
}

void CurlTransferControl::setTraceListener(std::function<void(const QString&)> listener)
{
    std::lock_guard lk(d->m);
    d->trace = std::move(listener);
}

void CurlTransferControl::setStateListener(std::function<void(int)> listener)
{
    std::lock_guard lk(d->m);
    d->listener = std::move(listener);
}

void CurlTransferControl::Execute(const FtpCommand& command)
{
    {
        std::lock_guard lk(d->m);
        if (d->running) // a new command replaces the one still running
            d->cancelledUpTo = d->currentId;
        Job job;
        job.id = ++d->nextId;
        job.command = command;
        job.address = d->address;
        job.user = d->user;
        job.password = d->password;
        job.timeoutMs = d->timeoutMs;
        job.caFile = d->caFile;
        job.verifyPeer = d->verifyPeer;
        d->currentId = job.id;
        d->running = true;
        d->lastOk = false;
        d->answer.clear();
        d->answerPos = 0;
        d->info.clear();
        d->queue.push_back(std::move(job));
    }
    d->wakeMulti();
    d->workCv.notify_all();
}

bool CurlTransferControl::StillExecuting() const
{
    std::lock_guard lk(d->m);
    return d->running;
}

void CurlTransferControl::Cancel()
{
    {
        std::lock_guard lk(d->m);
        if (!d->running)
            return;
        d->cancelledUpTo = d->currentId;
        d->running = false;
        d->lastOk = false;
        d->info = QStringLiteral("Operação cancelada");
    }
    d->wakeMulti();
    d->progressCv.notify_all();
}

QString CurlTransferControl::GetChunk(int size)
{
    std::lock_guard lk(d->m);
    if (size <= 0 || d->running)
        return {};
    const QString piece = d->answer.mid(d->answerPos, size);
    d->answerPos += piece.size();
    return piece;
}

QString CurlTransferControl::ResponseInfo() const
{
    std::lock_guard lk(d->m);
    return d->info;
}

bool CurlTransferControl::LastSucceeded() const
{
    std::lock_guard lk(d->m);
    return d->lastOk && !d->running;
}

void CurlTransferControl::waitForProgress(int maxMs)
{
    std::unique_lock lk(d->m);
    if (d->finalsPosted != d->finalsDelivered || !d->running || maxMs <= 0)
        return;
    const quint64 seen = d->finalsPosted;
    d->progressCv.wait_for(lk, std::chrono::milliseconds(maxMs),
                           [&] { return d->finalsPosted != seen || !d->running || d->stopping; });
}

std::unique_ptr<ITransferControl> makeCurlTransferControl()
{
    return std::make_unique<CurlTransferControl>();
}

std::unique_ptr<ITransferControl> makeCurlTransferControl(const CurlControlOptions& options)
{
    auto control = std::make_unique<CurlTransferControl>();
    control->setRequestTimeoutMs(options.requestTimeoutMs);
    control->setTlsCaFile(options.tlsCaFile);
    control->setTlsVerifyPeer(options.tlsVerifyPeer);
    return control;
}
