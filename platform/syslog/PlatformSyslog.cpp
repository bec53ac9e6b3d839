#include "platform/syslog/PlatformSyslog.h"

#include <syslog.h>

namespace platform::syslog {

void SystemLogWrite(const char* identity, bool echoToStandardError, int level, const char* text) {
    ::openlog(identity, echoToStandardError ? LOG_PERROR : 0, LOG_USER);
    ::syslog(level, "%s\n", text);
    ::closelog();
}

void SyslogWrite(int level, const char* prefix, const char* text) {
    ::syslog(level, "%s:%s\n", prefix, text);
}

} // namespace platform::syslog
