#include "platform/appkit/NSTimer.h"

#include <QTimer>
#include <cmath>

namespace platform::appkit {

std::unique_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double seconds, NSObject* target,
                                                                 SEL selector, bool repeats) {
    std::unique_ptr<NSTimer> timer(new NSTimer);
    timer->mInterval = seconds;
    timer->mTimer = std::make_unique<QTimer>();
    timer->mTimer->setTimerType(Qt::PreciseTimer);
    timer->mTimer->setSingleShot(!repeats);
    NSTimer* self = timer.get();
    QObject::connect(timer->mTimer.get(), &QTimer::timeout,
                     [self, target, selector] { target->performSelector(selector, self); });
    timer->mTimer->start(int(std::lround(seconds * 1000)));
    return timer;
}

NSTimer::~NSTimer() = default;

void NSTimer::invalidate() {
    if (mTimer) mTimer->stop();
}

bool NSTimer::isValid() const {
    return mTimer && mTimer->isActive();
}

} // namespace platform::appkit
