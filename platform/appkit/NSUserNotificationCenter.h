#pragma once

// Desktop notifications: a title, a text and an optional action button, shown by the session's
// notification server (org.freedesktop.Notifications on the session bus). Where no session bus or
// no server is, nothing shows and nothing is reported; delivering never waits for the server, so
// a slow or hung one cannot hold up the caller.
#include <functional>
#include <string>

namespace platform::appkit {

struct NSUserNotification {
    std::string title;
    std::string informativeText;
    std::string actionButtonTitle;     // empty: no action
    std::function<void()> actionBlock; // run on the main thread when the user picks the action
};

class NSUserNotificationCenter {
public:
    static NSUserNotificationCenter& defaultUserNotificationCenter();
    void deliverNotification(const NSUserNotification& notification);
};

} // namespace platform::appkit
