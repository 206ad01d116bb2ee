#pragma once
#include "core/clock.h"

class FixedClock : public IClock {
public:
    explicit FixedClock(QDateTime t = QDateTime(QDate(2015, 2, 4), QTime(14, 5, 9))) : t_(t) {}
    QDateTime now() const override { return t_; }
    void set(QDateTime t) { t_ = t; }

private:
    QDateTime t_;
};
