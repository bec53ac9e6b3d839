#include "component/CoreDebugBundleLogFileName.h"

#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"
#include "platform/bundles/PlatformMainBundle.h"

#include <cstdio>
#include <cstring>

char CoreDebugBundleLogFileName::sPathName[kCapacity] = "VistrelXXX.log";

const char* g_CoreMachDebug_LogPrefix = CoreLogIdentity::kComponentPrefix;
char* g_CoreMachDebug_LogFileName = CoreDebugBundleLogFileName::sPathName;

CoreDebugBundleLogFileName::CoreDebugBundleLogFileName() {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    NameForHost(platform::bundles::MainBundle::Get().Identifier().c_str());
}

void CoreDebugBundleLogFileName::NameForHost(const char* identifier) {
    // A file name never holds a slash; such an identifier would name another folder.
    if (!identifier || !*identifier || std::strchr(identifier, '/')) return;
    char name[kCapacity];
    const int length =
        std::snprintf(name, sizeof name, CoreLogIdentity::kComponentHostFileNameFormat, identifier);
    if (length > 0 && size_t(length) < sizeof name)
        std::memcpy(sPathName, name, size_t(length) + 1);
}
