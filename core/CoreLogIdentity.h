#pragma once

// Each deliverable logs under its own identity: the system-log identity and line prefix, and the
// log file's name in the user's Logs folder. Log readers and filters rely on these names.
namespace CoreLogIdentity {

constexpr const char* kApplicationPrefix = "com.tarnwick.Vistrel";
constexpr const char* kPlugInPrefix = "CILookpaneInput";

} // namespace CoreLogIdentity

// Defines a program's identity globals (see CoreMachDebugLog.h) in one translation unit.
#define CORE_DEFINE_LOG_IDENTITY(prefix, fileName)                                                 \
    const char* g_CoreMachDebug_LogPrefix = prefix;                                                \
    static char sCoreLogIdentityFileName[] = fileName;                                             \
    char* g_CoreMachDebug_LogFileName = sCoreLogIdentityFileName
