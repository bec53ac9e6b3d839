#include "channel/CoreUserFileName.h"

#include "core/CoreVerify.h"
#include "platform/session/PlatformSession.h"

#include <cstring>
#include <optional>
#include <pwd.h>
#include <string>
#include <unistd.h>

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

// The console user when this process runs as that user. A process of another user (a second
// login) could never use the console user's files, which must be its own: it gets its own name.
std::optional<std::string> UserName() {
    std::optional<std::string> name = platform::session::ConsoleUserName();
    struct passwd entry, *found = nullptr;
    char buffer[4096];
    if (name && ::getpwnam_r(name->c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_uid == ::geteuid())
        return name;
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return std::nullopt;
    return std::string(found->pw_name);
}

} // namespace

void CoreUserFileName::CreateFileName(const char* format, const char* argument) {
    const std::optional<std::string> currentUser = UserName();
    if (!VERIFY(currentUser)) return;
    const std::optional<std::string> pathname = FormatUserPath(format, *currentUser, argument);
    if (!VERIFY(pathname)) return;
    const bool success = pathname->size() < sizeof mPath;
    if (VERIFY(success)) std::memcpy(mPath, pathname->c_str(), pathname->size() + 1);
}
