#include "gui/paint_throttle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

PaintThrottle::PaintThrottle(QWidget* window, int intervalMs) : QObject(window), window_(window), intervalMs_(intervalMs)
{
    pending_.setSingleShot(true);
    // A new request lets the repaint through: by then the interval has passed.
    connect(&pending_, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    window_->installEventFilter(this);
}

bool PaintThrottle::eventFilter(QObject* watched, QEvent* event)
{
    // The widgets' repaint requests reach the top-level window as one UpdateRequest; until it
    // is handled they only add to the region to paint and post no further request.
    if (watched != window_ || event->type() != QEvent::UpdateRequest)
        return QObject::eventFilter(watched, event);
    const qint64 since = lastPaint_.isValid() ? lastPaint_.elapsed() : intervalMs_;
    if (since >= intervalMs_) {
        lastPaint_.restart();
        return false; // paint now
    }
    if (!pending_.isActive())
        pending_.start(int(intervalMs_ - since));
    return true; // painted with the next request
}
