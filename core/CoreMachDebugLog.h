#pragma once

#include <cstdint>

// Where log texts go. Any value not listed behaves as kCoreLogToFile.
enum kCoreLogOutput : uint32_t {
    kCoreLogToFile = 0,
    kCoreLogToASL = 1,
    kCoreLogToSyslog = 2,
    kCoreLogToStdoutAndFile = 4,
};

// Each deliverable (and each test program) defines its identity: the system-log identity and
// line prefix, and the log file's name inside the user's Logs folder (empty: "CoreConsole.log").
extern const char* g_CoreMachDebug_LogPrefix;
extern char* g_CoreMachDebug_LogFileName;

constexpr int kCoreLogTextCapacity = 1024;

void CoreMachDebugLogSetUseLogger(kCoreLogOutput output);
kCoreLogOutput CoreMachDebugLogGetUseLogger();

// printf-style; a text longer than 1023 characters is cut.
void CoreMachDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes a finished text to the current output; the text is data, never a format.
void CoreMachDebugLogString(const char* text);
// Resolves the log file's path in the user's Logs folder; true when it is usable.
bool CoreMachDebugLogClassInitialize();
