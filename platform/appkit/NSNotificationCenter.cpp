#include "platform/appkit/NSNotificationCenter.h"

#include <algorithm>

namespace platform::appkit {

const char* const NSWindowDidBecomeKeyNotification = "NSWindowDidBecomeKeyNotification";
const char* const NSWindowWillCloseNotification = "NSWindowWillCloseNotification";
const char* const NSWindowDidResignKeyNotification = "NSWindowDidResignKeyNotification";
const char* const NSApplicationDidFinishLaunchingNotification =
    "NSApplicationDidFinishLaunchingNotification";
const char* const NSApplicationWillTerminateNotification = "NSApplicationWillTerminateNotification";

NSNotificationCenter& NSNotificationCenter::defaultCenter() {
    static NSNotificationCenter center;
    return center;
}

void NSNotificationCenter::addObserver(NSObject* observer, SEL selector, const std::string& name,
                                       NSObject* object) {
    mObservations.push_back({observer, selector, name, object});
}

void NSNotificationCenter::removeObserver(NSObject* observer) {
    std::erase_if(mObservations, [&](const Observation& o) { return o.observer == observer; });
}

void NSNotificationCenter::postNotificationName(const std::string& name, NSObject* object) {
    NSNotification notification(name, object);
    // An observer may register or leave while being told.
    const std::vector<Observation> now = mObservations;
    for (const Observation& o : now) {
        if (o.name != name || (o.object && o.object != object)) continue;
        const bool stillThere = std::any_of(
            mObservations.begin(), mObservations.end(), [&](const Observation& current) {
                return current.observer == o.observer && current.selector == o.selector;
            });
        if (stillThere) o.observer->performSelector(o.selector, &notification);
    }
}

} // namespace platform::appkit
