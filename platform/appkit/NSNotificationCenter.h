#pragma once

// The default notification centre: observers register a selector for a notification name,
// optionally from one object only, and are called with the notification as argument.
#include "platform/appkit/NSObject.h"

#include <string>
#include <vector>

namespace platform::appkit {

extern const char* const NSWindowDidBecomeKeyNotification;
extern const char* const NSWindowDidResignKeyNotification;
// The window manager asked to close the window (which then orders out).
extern const char* const NSWindowWillCloseNotification;
extern const char* const NSApplicationDidFinishLaunchingNotification;
extern const char* const NSApplicationWillTerminateNotification;

class NSNotification : public NSObject {
public:
    NSNotification(std::string name, NSObject* object) : mName(std::move(name)), mObject(object) {}
    const std::string& name() const { return mName; }
    NSObject* object() const { return mObject; }

private:
    std::string mName;
    NSObject* mObject;
};

class NSNotificationCenter {
public:
    static NSNotificationCenter& defaultCenter();
    // A null object observes the name from every sender.
    void addObserver(NSObject* observer, SEL selector, const std::string& name, NSObject* object);
    void removeObserver(NSObject* observer);
    void postNotificationName(const std::string& name, NSObject* object);

private:
    struct Observation {
        NSObject* observer;
        SEL selector;
        std::string name;
        NSObject* object;
    };
    std::vector<Observation> mObservations;
};

} // namespace platform::appkit
