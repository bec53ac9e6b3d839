#include "channel/CoreUserFileName.h"

#include "core/CoreVerify.h"
#include "platform/session/PlatformSession.h"

#include <cstring>
#include <optional>
#include <string>

namespace {

// Only the directives a per-user file name uses; anything else is a malformed format.
std::optional<std::string> FormatUserPath(const char* format, const std::string& user,
                                          const char* argument) {
    std::string path;
    for (const char* c = format; *c; ++c) {
        if (*c != '%') {
            path += *c;
            continue;
        }
        switch (*++c) {
        case '@':
            path += user;
            break;
        case 's':
            path += argument ? argument : "(null)";
            break;
        case '%':
            path += '%';
            break;
        default:
            return std::nullopt;
        }
    }
    return path;
}

} // namespace

void CoreUserFileName::CreateFileName(const char* format, const char* argument) {
    const std::optional<std::string> currentUser = platform::session::ConsoleUserName();
    if (!VERIFY(currentUser)) return;
    const std::optional<std::string> pathname = FormatUserPath(format, *currentUser, argument);
    if (!VERIFY(pathname)) return;
    const bool success = pathname->size() < sizeof mPath;
    if (VERIFY(success)) std::memcpy(mPath, pathname->c_str(), pathname->size() + 1);
}
