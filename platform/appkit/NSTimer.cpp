#include "platform/appkit/NSTimer.h"

#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace platform::appkit {

namespace {

// A date rounded up, so that a firing is never before it; capped where a QTimer's count ends.
int MillisecondsUntil(double seconds) {
    return int(std::min(std::ceil(std::max(0.0, seconds) * 1000), double(INT32_MAX)));
}

} // namespace

std::unique_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double seconds, NSObject* target,
                                                                 SEL selector, bool repeats) {
    std::unique_ptr<NSTimer> timer(new NSTimer);
    timer->mTimer = std::make_unique<QTimer>();
    timer->mTimer->setTimerType(Qt::PreciseTimer);
    timer->mTimer->setSingleShot(!repeats);
    NSTimer* self = timer.get();
    const int interval = int(std::lround(seconds * 1000));
    QObject::connect(timer->mTimer.get(), &QTimer::timeout, [self, target, selector, interval] {
        // Back to its interval after a fire date of its own.
        if (!self->mTimer->isSingleShot() && self->mTimer->interval() != interval)
            self->mTimer->setInterval(interval);
        target->performSelector(selector, self);
    });
    timer->mTimer->start(interval);
    return timer;
}

void NSTimer::setFireDate(double secondsFromNow) {
    if (isValid()) mTimer->start(MillisecondsUntil(secondsFromNow));
}

NSTimer::~NSTimer() = default;

void NSTimer::invalidate() {
    if (mTimer) mTimer->stop();
}

bool NSTimer::isValid() const {
    return mTimer && mTimer->isActive();
}

} // namespace platform::appkit
