#pragma once
#include "core/clock.h"

// The clock of the tests: 4 Feb 2015 14:05:09.
class FixedClock : public IClock {
public:
    QDateTime now() const override { return QDateTime(QDate(2015, 2, 4), QTime(14, 5, 9)); }
};
