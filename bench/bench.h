#pragma once
// Shared pieces of the benchmark program: a dialogs service that never waits and keeps the
// time of every log line, the command line, and a monotonic clock.
#include "core/dialogs.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <chrono>
#include <cstdio>

namespace bench {

inline double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Boxes go to standard error (a benchmark must never wait for a click); every traced log line
// gets its time stamp, so the cost per log line can be read afterwards.
class Dialogs final : public IDialogs {
public:
    QVector<double> traceTimes;
    int messages = 0;

    void message(const QString& text, Icon, const QString&) override
    {
        ++messages;
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
    }
    bool confirm(const QString&, const QString&) override { return false; }
    std::optional<QString> input(const QString&, const QString&) override { return std::nullopt; }
    void trace(const QString&) override { traceTimes.push_back(nowSeconds()); }
    bool headless() const override { return false; }
};

// "--name value" pairs.
class Args {
public:
    explicit Args(const QStringList& list) : list_(list) {}
    QString value(const QString& name, const QString& fallback = QString()) const
    {
        const qsizetype i = list_.indexOf(QStringLiteral("--") + name);
        return i >= 0 && i + 1 < list_.size() ? list_.at(i + 1) : fallback;
    }

private:
    QStringList list_;
};

int runDownload(const Args& args);
int runImport(const Args& args);
int runWindow(const Args& args);

} // namespace bench
