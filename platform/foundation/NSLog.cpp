#include "platform/foundation/NSLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <unistd.h>

extern char* program_invocation_short_name;

namespace platform::foundation {

void NSLog(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::string line =
        std::string(program_invocation_short_name) + "[" + std::to_string(::getpid()) + "] " + text;
    if (line.back() != '\n') line += '\n';
    // One write, so lines of several threads do not interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace platform::foundation
