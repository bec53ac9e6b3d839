#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::session {

// The short name of the user at the console: the active user of logind's seat0 when logind
// runs, else the user this process runs as. None when that user has no account entry.
std::optional<std::string> ConsoleUserName();

// The user name a per-user file path carries: the console user's when this process runs as that
// user, else this process's own user's (a second login could never use the console user's
// files). None when neither has an account entry.
std::optional<std::string> UserFileOwner();
// The format with "%@" as the user, "%s" as the argument and "%%" as a percent sign; none for
// any other directive.
std::optional<std::string> FormatUserPath(const char* format, const std::string& user,
                                          const char* argument);

// The system version word ('sysv'): a modern value unless VISTREL_SYSTEM_VERSION (hex, such as
// 0x1050) selects an older one.
uint32_t SystemVersionWord();

constexpr uint32_t kModernSystemVersion = 0x1095;

} // namespace platform::session

namespace platform::session {

// Code-signing services as far as a plug-in asks about its host: the code object of the running
// process and its signing information, whose "identifier" is the host's main bundle identifier.
using OSStatus = int32_t;
using SecCSFlags = uint32_t;
constexpr SecCSFlags kSecCSDefaultFlags = 0;
constexpr SecCSFlags kSecCSSigningInformation = 1 << 1;
constexpr OSStatus errSecSuccess = 0;
constexpr OSStatus errSecCSInvalidObjectRef = -67071;

struct SecCode;
using SecCodeRef = SecCode*;

struct SecCodeSigningInformation {
    // The "identifier" entry; none when the host has no identifier.
    std::optional<std::string> identifier;
};

OSStatus SecCodeCopySelf(SecCSFlags flags, SecCodeRef* self);
// A new information record the caller deletes.
OSStatus SecCodeCopySigningInformation(SecCodeRef code, SecCSFlags flags,
                                       SecCodeSigningInformation** information);
void SecCodeRelease(SecCodeRef code);

} // namespace platform::session
