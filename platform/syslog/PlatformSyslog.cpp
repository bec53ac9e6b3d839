#include "platform/syslog/PlatformSyslog.h"

#include <cstdio>
#include <syslog.h>

namespace platform::syslog {

void SystemLogWrite(const char* identity, bool echoToStandardError, int level, const char* text) {
    // The echo is ours: closelog() keeps openlog()'s options, so LOG_PERROR would stay on for
    // every later syslog call of the process.
    ::openlog(identity, 0, LOG_USER);
    ::syslog(level, "%s\n", text);
    ::closelog();
    if (echoToStandardError) std::fprintf(stderr, "%s: %s\n", identity, text);
}

void SyslogWrite(int level, const char* prefix, const char* text) {
    ::syslog(level, "%s:%s\n", prefix, text);
}

} // namespace platform::syslog
