#include "core/CoreMachDebugLog.h"

#include "core/CoreVerify.h"
#include "platform/files/PlatformFiles.h"
#include "platform/syslog/PlatformSyslog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace {

std::atomic<uint32_t> sLogOutput{kCoreLogToFile};
platform::files::FSRef sUserLogsFolder;
char sUserLogsPath[1024];
char sCoreDebugLogFileName[1024];
// The resolution is serialised; a report made while it runs goes to standard error instead of
// re-entering it.
std::recursive_mutex sResolveLock;
thread_local bool tResolving = false;

bool IsExistingFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool bool_FSRef_IsValid(const platform::files::FSRef& fileRef) {
    return IsExistingFolder(fileRef.path);
}

// Copies the folder's path, terminator included, into a 1024-byte buffer.
bool bool_FSRef_GetUnixPath(const platform::files::FSRef& fileRef, char* path) {
    if (!VERIFY(bool_FSRef_IsValid(fileRef))) return false;
    if (fileRef.path.size() + 1 > sizeof sUserLogsPath) return false;
    std::memcpy(path, fileRef.path.c_str(), fileRef.path.size() + 1);
    return true;
}

void AppendToLogFile(const char* text) {
    static bool fClassInitialized = false;
    {
        std::lock_guard<std::recursive_mutex> hold(sResolveLock);
        if (!fClassInitialized) fClassInitialized = CoreMachDebugLogClassInitialize();
        if (!fClassInitialized) return;
    }
    FILE* file = std::fopen(sCoreDebugLogFileName, "a");
    if (!file) return;
    std::fseek(file, 0, SEEK_END);
    std::fputs(text, file);
    std::fclose(file);
}

} // namespace

void CoreMachDebugLogSetUseLogger(kCoreLogOutput output) {
    sLogOutput = output;
}

kCoreLogOutput CoreMachDebugLogGetUseLogger() {
    return kCoreLogOutput(sLogOutput.load());
}

void CoreMachDebugLog(const char* format, ...) {
    char text[kCoreLogTextCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    CoreMachDebugLogString(text);
}

void CoreMachDebugLogString(const char* text) {
    if (!text) return;
    if (tResolving) {
        std::fputs(text, stderr);
        return;
    }
    switch (sLogOutput.load()) {
    case kCoreLogToASL:
        platform::syslog::SystemLogWrite(g_CoreMachDebug_LogPrefix, true,
                                         platform::syslog::kLevelDebug, text);
        return;
    case kCoreLogToSyslog:
        platform::syslog::SyslogWrite(platform::syslog::kLevelDebug, g_CoreMachDebug_LogPrefix,
                                      text);
        return;
    case kCoreLogToStdoutAndFile:
        std::printf("%s:%s", g_CoreMachDebug_LogPrefix, text);
        std::fflush(stdout);
        [[fallthrough]];
    default:
        AppendToLogFile(text);
    }
}

bool CoreMachDebugLogClassInitialize() {
    std::lock_guard<std::recursive_mutex> hold(sResolveLock);
    if (IsExistingFolder(sUserLogsFolder.path)) return true;
    struct Resolving {
        Resolving() { tResolving = true; }
        ~Resolving() { tResolving = false; }
    } resolving;

    using namespace platform::files;
    const int16_t domain = kUserDomain;
    // clang-format off
    if (VERIFY_ERR(FSFindFolder(domain, kLogsFolderType, kDontCreateFolder, &sUserLogsFolder)) != platform::kNoErr) {
        // clang-format on
        sUserLogsFolder.path.clear();
        return false;
    }
    std::memset(sUserLogsPath, 0, sizeof sUserLogsPath);
    bool fOk = false;
    // clang-format off
    VERIFY(fOk=bool_FSRef_GetUnixPath(sUserLogsFolder, sUserLogsPath));
    // clang-format on
    if (!fOk) {
        sUserLogsFolder.path.clear();
        return false;
    }
    const char* name = g_CoreMachDebug_LogFileName && g_CoreMachDebug_LogFileName[0]
                           ? g_CoreMachDebug_LogFileName
                           : "CoreConsole.log";
    const int length = std::snprintf(sCoreDebugLogFileName, sizeof sCoreDebugLogFileName, "%s/%s",
                                     sUserLogsPath, name);
    if (length < 0 || size_t(length) >= sizeof sCoreDebugLogFileName) {
        sCoreDebugLogFileName[0] = '\0';
        sUserLogsFolder.path.clear();
        return false;
    }
    return true;
}
