#pragma once
// The program's application objects: a failure that escapes an event handler, or the run
// itself, ends the program with a message naming it and exit status 1, never with a crash dump
// or a hang. An unattended run without a display runs on the core application alone (no
// platform plugin, no fonts); the window and the boxes need the GUI one.
#include <QApplication>
#include <QCoreApplication>
#include <QString>

// True when a window or a box could be shown: QT_QPA_PLATFORM names a platform other than
// "offscreen" or "minimal", or, without it, DISPLAY or WAYLAND_DISPLAY is set. A display named
// but dead is only found out by the GUI application (PedidosApplication::headless).
bool displayNamed();

// Keeps Qt's own diagnostics ("qt.*" categories: the display that could not be reached, the
// plugin that did not load) off both output streams. QT_LOGGING_RULES set by the user still
// wins.
void quietQtLogging();

// Before the GUI application is made: picks the platform (offscreen when there is no display to
// try, Qt's X11 platform with offscreen as its fallback otherwise), quiets Qt's logging, and
// gives Qt a runtime folder of our own when XDG_RUNTIME_DIR is unset (a scheduler's
// environment). QT_QPA_PLATFORM set by the user still wins.
void prepareToolkit();

// The folder of the running executable, before any application object exists.
QString executableFolder();

// Names the failure on standard error (and in a critical box when `showBox`), then ends the
// process at once with status 1.
[[noreturn]] void endWithUncaughtFailure(const QString& what, bool showBox);

// The text of the exception being handled; call inside a catch block only.
QString describeCurrentException();

// An application object whose event handlers' escaping failures end the program as
// endWithUncaughtFailure does.
template <class Base>
class GuardedApplication : public Base {
public:
    GuardedApplication(int& argc, char** argv) : Base(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return Base::notify(receiver, event);
        } catch (...) {
            endWithUncaughtFailure(describeCurrentException(), showsBoxes_);
        }
    }

protected:
    bool showsBoxes_ = false;
};

// Without a display: the unattended run's event processing.
using PedidosCoreApplication = GuardedApplication<QCoreApplication>;

class PedidosApplication final : public GuardedApplication<QApplication> {
public:
    PedidosApplication(int& argc, char** argv);

    // True when there is no display to show boxes on (the offscreen platform).
    bool headless() const { return !showsBoxes_; }
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
