#pragma once

// Repeating or one-shot timers on the main event loop. They fire in every mode: while a menu is
// open, while a window is dragged through the capture loop and while a panel runs modally.
#include "platform/appkit/NSObject.h"

#include <memory>

class QTimer;

namespace platform::appkit {

class NSTimer : public NSObject {
public:
    // The action gets the timer as its argument.
    static std::unique_ptr<NSTimer> scheduledTimerWithTimeInterval(double seconds, NSObject* target,
                                                                   SEL selector, bool repeats);
    ~NSTimer() override;
    void invalidate();
    bool isValid() const;
    // A valid timer's next firing, that many seconds from now (never before); a repeating timer
    // then goes on at its interval from there.
    void setFireDate(double secondsFromNow);

private:
    NSTimer() = default;
    std::unique_ptr<QTimer> mTimer;
};

} // namespace platform::appkit
