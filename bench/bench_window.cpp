// The window under load: a remote folder of many files listed and then fetched by the download
// walk, with the window shown (offscreen), while another thread posts mouse clicks to a label of
// the window at a steady pace. Prints how long the clicks waited before the window handled
// them, and what a log line costs at the start of the log and once the log is long.
#include "bench/bench.h"

#include "ftp/curl/curl_transfer_control.h"
#include "gui/app_window.h"
#include "gui/local_lists.h"
#include "session/download_walk.h"
#include "session/ftp_session.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace bench {

namespace {

// Posts clicks from its own thread every `intervalMs` and records, on the window's thread, how
// long each one waited in the queue. The events are made on the window's thread beforehand
// (a mouse event refers to the pointing device) and only posted by the other thread.
class ClickProbe : public QObject {
public:
    ClickProbe(QWidget* target, int intervalMs) : target_(target), intervalMs_(intervalMs)
    {
        target_->installEventFilter(this);
    }
    ~ClickProbe() override { stop(); }

    // Phase name under which the next latencies are recorded.
    void setPhase(int phase) { phase_ = phase; }

    void start(int maxClicks)
    {
        for (int i = 0; i < maxClicks; ++i)
            events_.push_back(new QMouseEvent(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton,
                                              Qt::LeftButton, Qt::NoModifier));
        thread_ = std::thread([this] {
            for (QMouseEvent* e : events_) {
                if (stopping_)
                    break;
                {
                    std::lock_guard lk(m_);
                    posted_.push_back(nowSeconds());
                }
                QCoreApplication::postEvent(target_, e);
                ++postedCount_;
                std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs_));
            }
        });
    }

    void stop()
    {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
        // Events never posted are still ours.
        for (size_t i = postedCount_; i < events_.size(); ++i)
            delete events_[i];
        events_.clear();
        postedCount_ = 0;
    }

    // Latencies in seconds per phase.
    std::vector<double> latencies[3];

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == target_ && event->type() == QEvent::MouseButtonPress) {
            const double now = nowSeconds();
            std::lock_guard lk(m_);
            if (!posted_.empty()) {
                latencies[phase_].push_back(now - posted_.front());
                posted_.pop_front();
            }
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* target_;
    int intervalMs_;
    int phase_ = 0;
    std::vector<QMouseEvent*> events_;
    std::atomic<size_t> postedCount_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex m_;
    std::deque<double> posted_;
};

double worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1))];
}

// Milliseconds per log line for `pairs` commands logged the way a walk logs them: the command
// line, then the completion notification (a second line, the status line, the caret moved to
// the end), with the window's events handled after each.
double logLineCost(FtpSession& session, int pairs)
{
    const double start = nowSeconds();
    for (int i = 0; i < pairs; ++i) {
        session.appendLog(QStringLiteral("Comando: recv PEDIDO%1.txt /tmp/pedidos/PEDIDO%1.txt").arg(i));
        session.itcFTP_StateChanged(FtpState::ResponseCompleted);
        QCoreApplication::processEvents();
    }
    return (nowSeconds() - start) * 1000.0 / (2 * pairs);
}

} // namespace

int runWindow(const Args& args)
{
    QTemporaryDir appFolder;
    Dialogs dialogs;
    std::unique_ptr<ITransferControl> control = makeCurlTransferControl();
    AppWindow app(*control, dialogs, appFolder.path() + QLatin1Char('/'));
    frmFTP& w = app.window();
    w.show();
    QCoreApplication::processEvents();
    w.txtAddress->setText(args.value(QStringLiteral("address")));
    w.txtUsername->setText(args.value(QStringLiteral("user")));
    w.txtPassword->setText(args.value(QStringLiteral("password")));
    if (!app.localLists().setPath(args.value(QStringLiteral("local"))))
        return 2;
    FtpSession& session = app.session();

    // The cost of a log line on an empty log.
    const double firstLinesMs = logLineCost(session, 250);
    w.txtLog->clear();

    ClickProbe probe(w.lblRemoteDirectory, args.value(QStringLiteral("click-interval-ms"), QStringLiteral("20")).toInt());
    probe.start(20000);

    probe.setPhase(0);
    const double start = nowSeconds();
    const bool connected = session.CONECTA();
    const bool inFolder =
        session.EXECUTA_COMANDO(FtpCommand{QStringLiteral("cd"), {args.value(QStringLiteral("folder"))}}, true);
    const double listed = nowSeconds();
    const int entries = session.remote().count();

    probe.setPhase(1);
    const qsizetype walkFirstLine = dialogs.traceTimes.size();
    const DownloadSummary s =
        (connected && inFolder) ? DownloadWalk(session, app.localLists().folder()).BAIXA_TUDO() : DownloadSummary{};
    const double walked = nowSeconds();
    const qsizetype walkLines = dialogs.traceTimes.size() - walkFirstLine;
    QCoreApplication::processEvents();
    probe.stop();
    QCoreApplication::processEvents(); // clicks still queued
    const int logLines = w.txtLog->document()->blockCount();

    // The same cost once the log holds the whole walk.
    const double lastLinesMs = logLineCost(session, 250);

    // Per log line during the walk (commands included): its first and its last 500 lines.
    double walkFirstMs = 0, walkLastMs = 0;
    if (walkLines > 1001) {
        const auto& t = dialogs.traceTimes;
        walkFirstMs = (t[walkFirstLine + 500] - t[walkFirstLine]) * 1000.0 / 500;
        const qsizetype last = walkFirstLine + walkLines - 2; // before the summary line
        walkLastMs = (t[last] - t[last - 500]) * 1000.0 / 500;
    }
    session.DESCONECTA();

    std::printf("entries=%d\nfetched=%d\nfailed=%d\nnot_deleted=%d\nlog_lines=%d\nboxes=%d\n", entries, s.fetched,
                s.failed, s.notDeleted, logLines, dialogs.messages);
    std::printf("seconds_login_list=%.4f\nseconds_walk=%.4f\n", listed - start, walked - listed);
    std::printf("log_line_ms_empty_log=%.4f\nlog_line_ms_full_log=%.4f\n", firstLinesMs, lastLinesMs);
    std::printf("walk_line_ms_first500=%.4f\nwalk_line_ms_last500=%.4f\n", walkFirstMs, walkLastMs);
    std::printf("clicks_listing=%zu\nclick_worst_ms_listing=%.2f\n", probe.latencies[0].size(),
                worst(probe.latencies[0]) * 1000);
    std::printf("clicks_walk=%zu\nclick_worst_ms_walk=%.2f\nclick_p99_ms_walk=%.2f\nclick_median_ms_walk=%.2f\n",
                probe.latencies[1].size(), worst(probe.latencies[1]) * 1000, percentile(probe.latencies[1], 0.99) * 1000,
                percentile(probe.latencies[1], 0.5) * 1000);
    return connected && inFolder && s.failed == 0 ? 0 : 1;
}

} // namespace bench
