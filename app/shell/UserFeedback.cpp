#include "app/shell/UserFeedback.h"
#include "core/CoreMachDebugLog.h"
#include "platform/appkit/NSUserNotificationCenter.h"
#include "platform/appkit/NSWorkspace.h"

using namespace platform::appkit;

void TellUser(const std::string& title, const std::string& text, const std::string& folder) {
    CoreMachDebugLog("Vistrel: %s: %s\n", title.c_str(), text.c_str());
    NSUserNotification notification{title, text, "", nullptr};
    if (!folder.empty()) {
        notification.actionButtonTitle = "Open Folder";
        notification.actionBlock = [folder] { NSWorkspace::sharedWorkspace().openFile(folder); };
    }
    NSUserNotificationCenter::defaultUserNotificationCenter().deliverNotification(notification);
}
