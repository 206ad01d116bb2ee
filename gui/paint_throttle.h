#pragma once
// Caps how often a top-level window repaints. While an FTP command runs, the window handles
// its events between short waits, and every notification changes the status line and the log:
// without a cap the whole window is painted again after each of them, hundreds of times a
// second, and painting would cost more than the transfers themselves. With the cap, changes
// that come in quick succession are painted together, at most once per interval, and never
// later than one interval after they were made.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

class PaintThrottle : public QObject {
public:
    static constexpr int kDefaultIntervalMs = 20;

    // Filters the window's events; a child of the window.
    explicit PaintThrottle(QWidget* window, int intervalMs = kDefaultIntervalMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    int intervalMs_;
    QElapsedTimer lastPaint_;
    QTimer pending_;
};
