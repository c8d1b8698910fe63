#include "app/stall_meter.h"

#include <algorithm>

namespace sn::app {

StallMeter::StallMeter(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_ - kPeriodMs);
        last_ = now;
    });
}

void StallMeter::Start() {
    longest_ = 0;
    clock_.start();
    last_ = 0;
    timer_.start(kPeriodMs);
}

void StallMeter::Stop() {
    timer_.stop();
}

}  // namespace sn::app
