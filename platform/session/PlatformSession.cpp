#include "platform/session/PlatformSession.h"

#include "platform/bundles/PlatformMainBundle.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace platform::session {
namespace {

// logind keeps the seat's state in this file; ACTIVE_UID names the user of the active session.
std::optional<uid_t> ActiveSeatUser() {
    std::ifstream seat("/run/systemd/seats/seat0");
    std::string line;
    while (std::getline(seat, line)) {
        constexpr std::string_view kKey = "ACTIVE_UID=";
        if (line.compare(0, kKey.size(), kKey) != 0) continue;
        char* end = nullptr;
        const unsigned long uid = std::strtoul(line.c_str() + kKey.size(), &end, 10);
        if (end && *end == '\0' && end != line.c_str() + kKey.size()) return uid_t(uid);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> ConsoleUserName() {
    const uid_t uid = ActiveSeatUser().value_or(::geteuid());
    struct passwd pw, *result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &pw, buffer, sizeof buffer, &result) != 0 || !result) return std::nullopt;
    return std::string(pw.pw_name);
}

uint32_t SystemVersionWord() {
    const char* text = std::getenv("VISTREL_SYSTEM_VERSION");
    if (!text || !*text) return kModernSystemVersion;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (*end != '\0' || value > 0xFFFF) return kModernSystemVersion;
    return uint32_t(value);
}

} // namespace platform::session

namespace platform::session {

struct SecCode {
    std::string identifier;
};

OSStatus SecCodeCopySelf(SecCSFlags, SecCodeRef* self) {
    if (!self) return errSecCSInvalidObjectRef;
    *self = new SecCode{platform::bundles::MainBundle::Get().Identifier()};
    return errSecSuccess;
}

OSStatus SecCodeCopySigningInformation(SecCodeRef code, SecCSFlags,
                                       SecCodeSigningInformation** information) {
    if (!code || !information) return errSecCSInvalidObjectRef;
    *information = new SecCodeSigningInformation;
    if (!code->identifier.empty()) (*information)->identifier = code->identifier;
    return errSecSuccess;
}

void SecCodeRelease(SecCodeRef code) {
    delete code;
}

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

std::optional<std::string> UserFileOwner() {
    std::optional<std::string> name = ConsoleUserName();
    struct passwd entry, *found = nullptr;
    char buffer[4096];
    if (name && ::getpwnam_r(name->c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_uid == ::geteuid())
        return name;
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return std::nullopt;
    return std::string(found->pw_name);
}

} // namespace platform::session
