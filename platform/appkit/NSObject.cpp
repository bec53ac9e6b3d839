#include "platform/appkit/NSObject.h"

#include <deque>
#include <memory>
#include <set>
#include <unordered_set>

namespace platform::appkit {

namespace {

std::set<std::string>& Selectors() {
    static std::set<std::string> names;
    return names;
}

// Objects alive now, so that a deferred call never reaches a destroyed receiver.
std::unordered_set<const NSObject*>& Living() {
    static std::unordered_set<const NSObject*> objects;
    return objects;
}

struct Queue {
    std::deque<std::function<void()>> calls;
    std::function<void()> wake;
};
Queue& TheQueue() {
    static Queue queue;
    return queue;
}

} // namespace

SEL NSSelectorFromString(const char* name) {
    if (!name || !*name) return SEL();
    return SEL(&*Selectors().insert(name).first);
}

const char* NSStringFromSelector(SEL selector) {
    return selector.name();
}

NSObject::~NSObject() {
    Living().erase(this);
}

void NSObject::addAction(const char* selectorName, Action action) {
    Living().insert(this);
    mActions[NSSelectorFromString(selectorName).name()] = std::move(action);
}

bool NSObject::validateMenuItem(NSMenuItem*) {
    return true;
}

bool NSObject::respondsToSelector(SEL selector) const {
    return selector && mActions.count(selector.name()) != 0;
}

bool NSObject::performSelector(SEL selector, NSObject* argument) {
    if (!selector) return false;
    const auto found = mActions.find(selector.name());
    if (found == mActions.end()) return false;
    const Action action = found->second; // the action may replace its own entry
    action(argument);
    return true;
}

void NSObject::performSelectorOnMainThread_withObject_waitUntilDone(SEL selector,
                                                                    NSObject* argument, bool wait) {
    if (wait) {
        performSelector(selector, argument);
        return;
    }
    Living().insert(this);
    deferred::Enqueue([this, selector, argument] {
        if (Living().count(this)) performSelector(selector, argument);
    });
}

namespace deferred {

void Enqueue(std::function<void()> call) {
    Queue& queue = TheQueue();
    queue.calls.push_back(std::move(call));
    if (queue.wake) queue.wake();
}

void SetWaker(std::function<void()> wake) {
    TheQueue().wake = std::move(wake);
}

int RunDeferredCalls() {
    Queue& queue = TheQueue();
    size_t count = queue.calls.size();
    int ran = 0;
    while (count-- > 0 && !queue.calls.empty()) {
        std::function<void()> call = std::move(queue.calls.front());
        queue.calls.pop_front();
        call();
        ++ran;
    }
    return ran;
}

} // namespace deferred

} // namespace platform::appkit
