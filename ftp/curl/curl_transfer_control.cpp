#include "ftp/curl/curl_transfer_control.h"

#include "ftp/curl/ftp_commands.h"

#include <QDir>
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
    RemoteListing listing;
    // The server session's refusal as the last command left it (the session itself lives on the
    // worker thread).
    Refusal refusal = Refusal::None;
    bool serverLost = false;
    // Notifications waiting for the owner thread, delivered in order by one queued call per
    // batch: a command brings about ten of them, and waking the owner thread for each would
    // cost more than the command (thread switches, system calls, the window's event round).
    struct Note {
        quint64 id;
        FtpState state;
        std::optional<CommandOutcome> outcome;
    };
    std::vector<Note> notes;
    bool drainQueued = false;
    // Final notifications (Error or ResponseCompleted) posted and delivered: waitForProgress returns as soon as
    // one is waiting.
    quint64 finalsPosted = 0, finalsDelivered = 0;
    std::atomic<quint64> cancelledUpTo{0};
    ServerSettings settings;
    TraceFunction trace;

    // ---- owner thread only ----
    std::function<void(FtpState)> listener;
    std::unique_ptr<QObject> notifier;

    // ---- worker thread only, except connection.wake() ----
    CurlConnection connection;
    FtpCommands commands{connection};

    std::thread worker;            // none when the commands run on the caller's thread
    const bool onCallerThread;

    explicit Impl(bool runOnCallerThread) : onCallerThread(runOnCallerThread)
    {
        notifier = std::make_unique<QObject>();
        if (!onCallerThread)
            worker = std::thread([this] { workerLoop(); });
    }

    ~Impl()
    {
        if (onCallerThread) {
            commands.logOut();
            notifier.reset();
            return;
        }
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
    void newConnect(); // guarded by m

    // ---------------------------------------------------------------- owner thread side

    // Queues a notification for the owner thread. Only the first of a batch posts an event;
    // only a final one wakes a caller sleeping in waitForProgress (the others are shown by its
    // next round of event processing, at most one wait slice later).
    void post(quint64 id, FtpState state, std::optional<CommandOutcome> outcome = std::nullopt)
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

    void deliver(quint64 id, FtpState state, const std::optional<CommandOutcome>& outcome)
    {
        std::function<void(FtpState)> call;
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
                if (outcome->listing)
                    listing = *outcome->listing;
                refusal = outcome->refusal;
                serverLost = outcome->serverLost;
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
            runJob(job);
        }
        commands.logOut();
    }

    // Runs one command and posts its outcome (the worker thread, or the caller's own).
    void runJob(const Job& job)
    {
        if (isCancelled(job.id))
            return;
        CommandOutcome out = commands.run(job.command, job.settings, hooksFor(job.id));
        out.refusal = commands.refusal();
        out.serverLost = !out.ok && commands.serverLost();
        if (!isCancelled(job.id))
            post(job.id, out.ok ? FtpState::ResponseCompleted : FtpState::Error, out);
    }

    // What the requests of command `id` report to: its notifications, its cancel flag, and the
    // trace listener of the moment.
    RequestHooks hooksFor(quint64 id)
    {
        RequestHooks hooks;
        hooks.notify = [this, id](FtpState state) { post(id, state); };
        hooks.cancelled = [this, id] { return isCancelled(id); };
        hooks.traceListener = [this] {
            std::lock_guard lk(m);
            return trace;
        };
        return hooks;
    }
};

// -------------------------------------------------------------------- public side

CurlTransferControl::CurlTransferControl(bool runOnCallerThread)
    : d(std::make_unique<Impl>(runOnCallerThread))
{
}

CurlTransferControl::~CurlTransferControl() = default;

// Setting the address, the user or the password is a new connect: a login the server refused
// may be tried once more.
void CurlTransferControl::Impl::newConnect()
{
    ++settings.connectNumber;
    refusal = Refusal::None;
}

void CurlTransferControl::setAddress(const QString& address)
{
    std::lock_guard lk(d->m);
    d->settings.address = address;
    d->newConnect();
}

void CurlTransferControl::setUserName(const QString& user)
{
    std::lock_guard lk(d->m);
    d->settings.user = user;
    d->newConnect();
}

void CurlTransferControl::setPassword(const QString& password)
{
    std::lock_guard lk(d->m);
    d->settings.password = password;
    d->newConnect();
}

void CurlTransferControl::setRequestTimeoutMs(int ms)
{
    std::lock_guard lk(d->m);
    d->settings.timeoutMs = ms > 0 ? ms : kDefaultRequestTimeoutMs;
}

void CurlTransferControl::setTrustFolder(const QString& folder)
{
    std::lock_guard lk(d->m);
    d->settings.knownHostsFile = folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("known_hosts"));
    d->settings.caFile = folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("ftp-ca.pem"));
}

void CurlTransferControl::setTraceListener(std::function<void(const QString&)> listener)
{
    std::lock_guard lk(d->m);
    d->trace = std::move(listener);
}

void CurlTransferControl::setStateListener(std::function<void(FtpState)> listener)
{
    std::lock_guard lk(d->m);
    d->listener = std::move(listener);
}

void CurlTransferControl::Execute(const FtpCommand& command)
{
    bool replacing = false;
    std::optional<Job> now;
    {
        std::lock_guard lk(d->m);
        replacing = d->running;
        if (replacing) // a new command replaces the one still running
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
        d->serverLost = false;
        if (d->onCallerThread)
            now = std::move(job);
        else
            d->queue.push_back(std::move(job));
    }
    if (now) {
        d->runJob(*now);
        return;
    }
    // The request of the replaced command looks at its cancel flag at once; an idle worker
    // needs no wake-up of libcurl (it would only cost the next request an extra round).
    if (replacing)
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

RemoteListing CurlTransferControl::LastListing() const
{
    std::lock_guard lk(d->m);
    return d->listing;
}

bool CurlTransferControl::LoginRefused() const
{
    std::lock_guard lk(d->m);
    return d->refusal == Refusal::Login;
}

bool CurlTransferControl::ServerNotTrusted() const
{
    std::lock_guard lk(d->m);
    return d->refusal == Refusal::Trust;
}

bool CurlTransferControl::ServerLost() const
{
    std::lock_guard lk(d->m);
    return d->serverLost && !d->running;
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
    auto control = std::make_unique<CurlTransferControl>(options.runOnCallerThread);
    control->setRequestTimeoutMs(options.requestTimeoutMs);
    control->setTrustFolder(options.trustFolder);
    return control;
}
