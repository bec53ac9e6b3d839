#include "channel/CoreUserFileName.h"

#include "core/CoreVerify.h"
#include "platform/session/PlatformSession.h"

#include <cstring>
#include <string>

void CoreUserFileName::CreateFileName(const char* format, const char* argument) {
    const std::optional<std::string> currentUser = platform::session::UserFileOwner();
    if (!VERIFY(currentUser)) return;
    const std::optional<std::string> pathname =
        platform::session::FormatUserPath(format, *currentUser, argument);
    if (!VERIFY(pathname)) return;
    const bool success = pathname->size() < sizeof mPath;
    if (VERIFY(success)) std::memcpy(mPath, pathname->c_str(), pathname->size() + 1);
}
