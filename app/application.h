#pragma once
// The program's QApplication: a failure that escapes an event handler, or the run itself, ends
// the program with a message naming it and exit status 1, never with a crash dump or a hang.
#include <QApplication>
#include <QString>

// Before the QApplication is made: picks the platform (offscreen when there is no display to
// try, Qt's X11 platform with offscreen as its fallback otherwise), keeps Qt's own diagnostics
// ("qt.*" categories: the display that could not be reached, the plugin that did not load) off
// both output streams, and gives Qt a runtime folder of our own when XDG_RUNTIME_DIR is unset
// (a scheduler's environment). QT_QPA_PLATFORM and QT_LOGGING_RULES set by the user still win.
void prepareToolkit();

// Names the failure on standard error (and in a critical box when `showBox`), then ends the
// process at once with status 1.
[[noreturn]] void endWithUncaughtFailure(const QString& what, bool showBox);

// The text of the exception being handled; call inside a catch block only.
QString describeCurrentException();

class PedidosApplication final : public QApplication {
public:
    PedidosApplication(int& argc, char** argv);

    // True when there is no display to show boxes on (the offscreen platform).
    bool headless() const { return headless_; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    bool headless_ = false;
};

// Runs `run`; a failure escaping it ends the program as endWithUncaughtFailure does.
template <typename F>
int runGuarded(F&& run, bool headless)
{
    try {
        return run();
    } catch (...) {
        endWithUncaughtFailure(describeCurrentException(), !headless);
    }
}
