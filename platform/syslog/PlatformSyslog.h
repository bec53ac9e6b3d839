#pragma once

namespace platform::syslog {

constexpr int kLevelDebug = 7;

// The system log service: a client is opened, used for one text and closed again. With
// echoToStandardError the text also goes to standard error, as the service's echo option does.
void SystemLogWrite(const char* identity, bool echoToStandardError, int level, const char* text);

// Plain syslog under the process's default identity: "<prefix>:<text>".
void SyslogWrite(int level, const char* prefix, const char* text);

} // namespace platform::syslog
