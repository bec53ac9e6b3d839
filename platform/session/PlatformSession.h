#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::session {

// The short name of the user at the console: the active user of logind's seat0 when logind
// runs, else the user this process runs as. None when that user has no account entry.
std::optional<std::string> ConsoleUserName();

// The system version word ('sysv'): a modern value unless VISTREL_SYSTEM_VERSION (hex, such as
// 0x1050) selects an older one.
uint32_t SystemVersionWord();

constexpr uint32_t kModernSystemVersion = 0x1095;

} // namespace platform::session
