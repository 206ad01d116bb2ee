#include "ftp/curl/curl_transfer_control.h"

#include "ftp/curl/curl_request.h"
#include "ftp/listing.h"
#include "ftp/remote_paths.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// ---------------------------------------------------------------- the commands

// How a command ended: its answer for GetChunk, or the report for ResponseInfo.
struct CommandOutcome {
    bool ok = false;
    QString answer;
    QString info;
};

class FtpCommands {
public:
    explicit FtpCommands(CurlConnection& connection) : connection_(connection) {}

    // Runs one command against the server of `settings`; its requests report through `hooks`.
    CommandOutcome run(const FtpCommand& command, const ServerSettings& settings, const RequestHooks& hooks);

    // Closes the logged-in connection (libcurl sends QUIT); the next command logs in again, at
    // the login folder.
    void logOut();

private:
    CurlConnection& connection_;
    struct Session {
        QString key;                 // address, user, password and TLS options in use
        QString cwd;                 // current remote folder; empty until logged in
        bool connected = false;      // a logged-in connection is cached in the multi handle
        bool noMlsd = false;
        bool latin1 = false;
    } s;

    RequestResult request(const RequestTarget& target, const RequestSpec& spec);
    std::optional<CommandOutcome> logIn(const RequestTarget& target);
    CommandOutcome download(const RequestTarget& target, const QString& remote, const QString& local);
    CommandOutcome upload(const RequestTarget& target, const QString& local, const QString& remote);

    // The ways of FTP: a folder in the URL is reached with one CWD, folders are listed with
    // MLSD or LIST, and delete, mkdir and rmdir are commands quoted before an empty request.
    QByteArray folderUrl(const RequestTarget& target, const QString& absFolder) const;
    QByteArray fileUrl(const RequestTarget& target, const QString& absPath) const;
    CommandOutcome listFolder(const RequestTarget& target);
    CommandOutcome changeFolder(const RequestTarget& target, const QString& folder);
    CommandOutcome quotedCommand(const RequestTarget& target, const QByteArray& word, const QString& name);
};

namespace {

CommandOutcome failure(const QString& info) { return CommandOutcome{false, {}, info}; }
CommandOutcome success(const QString& answer = {}) { return CommandOutcome{true, answer, {}}; }
CommandOutcome cancelled() { return failure(QStringLiteral("Operação cancelada")); }

// Everything that makes a logged-in connection unusable for another command when it changes.
QString loginKey(const ServerSettings& s)
{
    return s.address.trimmed() + QLatin1Char('\n') + s.user + QLatin1Char('\n') + s.password + QLatin1Char('\n')
        + s.caFile + QLatin1Char(s.verifyPeer ? '1' : '0');
}

} // namespace

CommandOutcome FtpCommands::run(const FtpCommand& command, const ServerSettings& settings, const RequestHooks& hooks)
{
    const QString verb = command.verb.trimmed().toLower();
    const QStringList& args = command.args;
    for (const QString& a : args) {
        if (a.contains(QLatin1Char('\r')) || a.contains(QLatin1Char('\n')) || a.contains(QChar(0)))
            return failure(QStringLiteral("Nome inválido no comando \"%1\"").arg(command.verb));
    }
    if (verb == QLatin1String("quit")) {
        hooks.notify(ftpstate::Disconnecting);
        logOut();
        hooks.notify(ftpstate::Disconnected);
        return success();
    }
    const auto address = parseFtpServerAddress(settings.address);
    if (!address)
        return failure(QStringLiteral("Endereço do servidor FTP inválido: \"%1\"").arg(settings.address));
    const QString key = loginKey(settings);
    if (key != s.key) {
        logOut();
        s.key = key;
    }

    static const QStringList known = {
        QStringLiteral("dir"), QStringLiteral("pwd"), QStringLiteral("cd"), QStringLiteral("recv"),
        QStringLiteral("send"), QStringLiteral("delete"), QStringLiteral("rmdir"), QStringLiteral("mkdir"),
    };
    if (!known.contains(verb))
        return failure(QStringLiteral("Comando FTP desconhecido: \"%1\"").arg(command.verb));

    const RequestTarget target{settings, *address, hooks};
    if (s.cwd.isEmpty()) {
        if (auto refused = logIn(target))
            return *refused;
    }
    const QString oneArg = args.join(QLatin1Char(' '));
    if (verb == QLatin1String("pwd"))
        return success(s.cwd);
    if (verb == QLatin1String("dir"))
        return listFolder(target);
    if (verb == QLatin1String("cd"))
        return changeFolder(target, oneArg);
    if (verb == QLatin1String("recv")) {
        if (args.size() != 2)
            return failure(QStringLiteral("Uso: recv <arquivo remoto> <arquivo local>"));
        return download(target, args[0], args[1]);
    }
    if (verb == QLatin1String("send")) {
        if (args.size() != 2)
            return failure(QStringLiteral("Uso: send <arquivo local> <arquivo remoto>"));
        return upload(target, args[0], args[1]);
    }
    if (verb == QLatin1String("delete")) {
        if (oneArg.isEmpty() || oneArg.endsWith(QLatin1Char('/')))
            return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(oneArg));
        return quotedCommand(target, "DELE", oneArg);
    }
    if (oneArg.isEmpty())
        return failure(QStringLiteral("Informe o nome da pasta"));
    return quotedCommand(target, verb == QLatin1String("mkdir") ? "MKD" : "RMD", oneArg);
}

void FtpCommands::logOut()
{
    connection_.close();
    s.cwd.clear();
    s.connected = false;
    s.noMlsd = false;
    s.latin1 = false;
}

// Every request of a command goes through here, so the session always knows whether a
// logged-in connection is cached.
RequestResult FtpCommands::request(const RequestTarget& target, const RequestSpec& spec)
{
    RequestResult r = connection_.perform(target, spec, s.connected);
    s.connected = r.connectionKept;
    return r;
}

QByteArray FtpCommands::folderUrl(const RequestTarget& target, const QString& absFolder) const
{
    return remoteFolderUrl(target.address.baseUrl(), absFolder, s.latin1);
}

QByteArray FtpCommands::fileUrl(const RequestTarget& target, const QString& absPath) const
{
    return remoteFileUrl(target.address.baseUrl(), remoteParent(absPath), remoteLeaf(absPath), s.latin1);
}

// Logs in and takes the login folder as the current folder; the failure, if it fails.
std::optional<CommandOutcome> FtpCommands::logIn(const RequestTarget& target)
{
    RequestSpec spec;
    spec.url = target.address.baseUrl() + '/';
    spec.noBody = true;
    const RequestResult r = request(target, spec);
    if (r.cancelled)
        return cancelled();
    if (!r.ok())
        return failure(describeFailure(r, target.address));
    const QString path = decodeServerText(r.entryPath);
    s.cwd = path.startsWith(QLatin1Char('/')) ? resolveRemotePath(QStringLiteral("/"), path) : QStringLiteral("/");
    return std::nullopt;
}

// MLSD, or LIST once the server turned MLSD down.
CommandOutcome FtpCommands::listFolder(const RequestTarget& target)
{
    QByteArray data;
    RequestSpec spec;
    spec.url = folderUrl(target, s.cwd);
    spec.restart = [&data] { data.clear(); };
    spec.sink = [&data](const char* p, size_t n) {
        data.append(p, qsizetype(n));
        return true;
    };
    bool mlsd = !s.noMlsd;
    if (mlsd)
        spec.listCommand = "MLSD";
    RequestResult r = request(target, spec);
    if (mlsd && !r.ok() && !r.cancelled && r.lastReplyCode() >= 500 && r.lastReplyCode() <= 504) {
        s.noMlsd = true; // the server has no MLSD: use LIST from now on
        mlsd = false;
        spec.listCommand.clear();
        r = request(target, spec);
    }
    if (r.cancelled)
        return cancelled();
    if (!r.ok())
        return failure(describeFailure(r, target.address));
    bool latin1 = false;
    const QString text = decodeServerText(data, &latin1);
    if (latin1)
        s.latin1 = true;
    return success(composeDirAnswer(parseListing(text, mlsd)));
}

// Moves to the folder and asks PWD there: the server's own name for it becomes the current
// folder. A folder that does not exist fails the CWD and leaves the current folder as it was.
CommandOutcome FtpCommands::changeFolder(const RequestTarget& target, const QString& folder)
{
    const QString current = s.cwd;
    const QString wanted = folder.isEmpty() ? current : resolveRemotePath(current, folder);
    RequestSpec spec;
    spec.url = folderUrl(target, wanted);
    spec.noBody = true;
    spec.preQuote = {QByteArrayLiteral("PWD")};
    const RequestResult r = request(target, spec);
    if (r.cancelled)
        return cancelled();
    if (!r.ok())
        return failure(describeFailure(r, target.address));
    const QString server = parsePwdReply(r.pwdReply);
    s.cwd = server.startsWith(QLatin1Char('/')) ? resolveRemotePath(QStringLiteral("/"), server) : wanted;
    return success();
}

// DELE, MKD or RMD of `name` (relative to the current folder or absolute). The command is
// sent before the (empty) request on its folder; "*" keeps the connection when it fails.
CommandOutcome FtpCommands::quotedCommand(const RequestTarget& target, const QByteArray& word, const QString& name)
{
    const QString abs = resolveRemotePath(s.cwd, name);
    const QString leaf = remoteLeaf(abs);
    if (leaf.isEmpty())
        return failure(QStringLiteral("Nome inválido: \"%1\"").arg(name));
    RequestSpec spec;
    spec.url = folderUrl(target, remoteParent(abs));
    spec.noBody = true;
    spec.preQuote = {'*' + word + ' ' + encodeRemoteName(leaf, s.latin1)};
    spec.quotedWord = word + ' ';
    const RequestResult r = request(target, spec);
    if (r.cancelled)
        return cancelled();
    if (!r.ok())
        return failure(describeFailure(r, target.address));
    const int code = r.quoteReply.left(3).toInt();
    if (code < 200 || code >= 400)
        return failure(r.quoteReply.isEmpty() ? r.lastReply : r.quoteReply);
    return success();
}

// Into "<local>.part", renamed to `local` once complete; a failure leaves neither behind.
CommandOutcome FtpCommands::download(const RequestTarget& target, const QString& remote, const QString& local)
{
    if (remote.isEmpty() || remote.endsWith(QLatin1Char('/')))
        return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(remote));
    if (local.isEmpty())
        return failure(QStringLiteral("Informe o arquivo local"));
    if (QFileInfo::exists(local))
        return failure(QStringLiteral("O arquivo local já existe: %1").arg(local));
    const QString abs = resolveRemotePath(s.cwd, remote);
    const QString partPath = local + QStringLiteral(".part");
    QFile part(partPath);
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return failure(QStringLiteral("Não foi possível criar o arquivo local %1: %2").arg(partPath, part.errorString()));
    bool writeFailed = false;
    RequestSpec spec;
    spec.url = fileUrl(target, abs);
    spec.restart = [&] {
        part.resize(0);
        part.seek(0);
    };
    spec.sink = [&](const char* p, size_t n) {
        if (part.write(p, qint64(n)) != qint64(n)) {
            writeFailed = true;
            return false;
        }
        return true;
    };
    const RequestResult r = request(target, spec);
    const qint64 expected = r.announcedSize;
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
        return fail(describeFailure(r, target.address));
    const qint64 size = QFileInfo(partPath).size();
    if (expected >= 0 && size != expected)
        return fail(QStringLiteral("Arquivo %1 incompleto: %2 de %3 bytes recebidos").arg(remote).arg(size).arg(expected));
    // QFile::rename never replaces an existing file.
    if (!QFile::rename(partPath, local))
        return fail(QStringLiteral("Não foi possível gravar %1 (o arquivo já existe?)").arg(local));
    return success();
}

CommandOutcome FtpCommands::upload(const RequestTarget& target, const QString& local, const QString& remote)
{
    QFile src(local);
    if (!QFileInfo(local).isFile() || !src.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("Não foi possível ler o arquivo local %1").arg(local));
    const QString abs = resolveRemotePath(s.cwd, remote);
    if (remote.isEmpty() || remote.endsWith(QLatin1Char('/')) || remoteLeaf(abs).isEmpty())
        return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(remote));
    const qint64 size = src.size();
    bool readFailed = false;
    RequestSpec spec;
    spec.url = fileUrl(target, abs);
    spec.uploadSize = size;
    spec.restart = [&] { src.seek(0); };
    spec.source = [&](char* p, size_t n) {
        const qint64 got = src.read(p, qint64(n));
        if (got < 0)
            readFailed = true;
        return got;
    };
    const RequestResult r = request(target, spec);
    if (r.cancelled)
        return cancelled();
    if (readFailed)
        return failure(QStringLiteral("Erro ao ler o arquivo local %1").arg(local));
    if (!r.ok())
        return failure(describeFailure(r, target.address));
    if (r.uploadedBytes != size)
        return failure(QStringLiteral("Envio de %1 incompleto: %2 de %3 bytes").arg(local).arg(r.uploadedBytes).arg(size));
    return success();
}

// ---------------------------------------------------------------- the control

namespace {

// A command as queued: what to run, and the settings in force when Execute was called.
struct Job {
    quint64 id = 0;
    FtpCommand command;
    ServerSettings settings;
};

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
        std::optional<CommandOutcome> outcome;
    };
    std::vector<Note> notes;
    bool drainQueued = false;
    // Final notifications (11 or 12) posted and delivered: waitForProgress returns as soon as
    // one is waiting.
    quint64 finalsPosted = 0, finalsDelivered = 0;
    std::atomic<quint64> cancelledUpTo{0};
    ServerSettings settings;
    TraceFunction trace;

    // ---- owner thread only ----
    std::function<void(int)> listener;
    std::unique_ptr<QObject> notifier;

    // ---- worker thread only, except connection.wake() ----
    CurlConnection connection;
    FtpCommands commands{connection};

    std::thread worker;

    Impl()
    {
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
        connection.wake();
        workCv.notify_all();
        progressCv.notify_all();
        worker.join();
        notifier.reset(); // drops notifications still queued
    }

    bool isCancelled(quint64 id) const { return cancelledUpTo.load() >= id; }

    // ---------------------------------------------------------------- owner thread side

    // Queues a notification for the owner thread. Only the first of a batch posts an event;
    // only a final one wakes a caller sleeping in waitForProgress (the others are shown by its
    // next round of event processing, at most one wait slice later).
    void post(quint64 id, int state, std::optional<CommandOutcome> outcome = std::nullopt)
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

    void deliver(quint64 id, int state, const std::optional<CommandOutcome>& outcome)
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
            const CommandOutcome out = commands.run(job.command, job.settings, hooksFor(job.id));
            if (!isCancelled(job.id))
                post(job.id, out.ok ? ftpstate::ResponseCompleted : ftpstate::Error, out);
        }
        commands.logOut();
    }

    // What the requests of command `id` report to: its notifications, its cancel flag, and the
    // trace listener of the moment.
    RequestHooks hooksFor(quint64 id)
    {
        RequestHooks hooks;
        hooks.notify = [this, id](int state) { post(id, state); };
        hooks.cancelled = [this, id] { return isCancelled(id); };
        hooks.traceListener = [this] {
            std::lock_guard lk(m);
            return trace;
        };
        return hooks;
    }
};

// -------------------------------------------------------------------- public side

CurlTransferControl::CurlTransferControl() : d(std::make_unique<Impl>()) {}

CurlTransferControl::~CurlTransferControl() = default;

void CurlTransferControl::setAddress(const QString& address)
{
    std::lock_guard lk(d->m);
    d->settings.address = address;
}

void CurlTransferControl::setUserName(const QString& user)
{
    std::lock_guard lk(d->m);
    d->settings.user = user;
}

void CurlTransferControl::setPassword(const QString& password)
{
    std::lock_guard lk(d->m);
    d->settings.password = password;
}

void CurlTransferControl::setRequestTimeoutMs(int ms)
{
    std::lock_guard lk(d->m);
    d->settings.timeoutMs = ms > 0 ? ms : kDefaultRequestTimeoutMs;
}

void CurlTransferControl::setTlsCaFile(const QString& path)
{
    std::lock_guard lk(d->m);
    d->settings.caFile = path;
}

void CurlTransferControl::setTlsVerifyPeer(bool verify)
{
    std::lock_guard lk(d->m);
    d->settings.verifyPeer = verify;
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
        job.settings = d->settings;
        d->currentId = job.id;
        d->running = true;
        d->lastOk = false;
        d->answer.clear();
        d->answerPos = 0;
        d->info.clear();
        d->queue.push_back(std::move(job));
    }
    d->connection.wake();
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
    d->connection.wake();
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
