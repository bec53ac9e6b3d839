#pragma once

// The base object: actions named by their selector text (colons kept), looked up and run by
// that text, and performs deferred to a later pass of the main event loop.
#include <functional>
#include <map>
#include <string>

namespace platform::appkit {

class NSMenuItem;

// A selector is its interned name: equal names give the same pointer; null is no selector.
class SEL {
public:
    SEL() = default;
    explicit operator bool() const { return mName != nullptr; }
    bool operator==(const SEL&) const = default;
    // The selector's text, or null.
    const char* name() const { return mName ? mName->c_str() : nullptr; }

private:
    friend SEL NSSelectorFromString(const char*);
    explicit SEL(const std::string* name) : mName(name) {}
    const std::string* mName = nullptr;
};
// Null or empty text gives no selector.
SEL NSSelectorFromString(const char* name);
// Null for no selector.
const char* NSStringFromSelector(SEL selector);

class NSObject {
public:
    using Action = std::function<void(NSObject* sender)>;

    NSObject() = default;
    virtual ~NSObject();
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    bool respondsToSelector(SEL selector) const;
    // Runs the action now; false when the object has none by that name.
    bool performSelector(SEL selector, NSObject* argument);
    // Queues the action for a later pass of the main event loop, after the current call chain;
    // queued calls run in request order. A receiver destroyed before its turn is skipped.
    void performSelectorOnMainThread_withObject_waitUntilDone(SEL selector, NSObject* argument,
                                                              bool wait);
    // Whether a menu item aimed at this object is enabled now.
    virtual bool validateMenuItem(NSMenuItem* item);

protected:
    // Makes a member function reachable by its selector text, as "selectGrabberConstrain16x9:".
    void addAction(const char* selectorName, Action action);
    template <typename T> void addAction(const char* selectorName, void (T::*member)(NSObject*)) {
        T* self = static_cast<T*>(this);
        addAction(selectorName, [self, member](NSObject* sender) { (self->*member)(sender); });
    }

private:
    std::map<const char*, Action> mActions; // keyed by the interned name
};

// The main thread's queue of deferred calls. The application wakes its event loop through the
// waker whenever a call is queued; without one the calls wait for RunDeferredCalls.
namespace deferred {
void Enqueue(std::function<void()> call);
void SetWaker(std::function<void()> wake);
// Runs the calls queued so far (not the ones they queue); returns how many ran.
int RunDeferredCalls();
} // namespace deferred

} // namespace platform::appkit
