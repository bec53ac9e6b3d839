#include "component/CoreDebugBundleLogFileName.h"

#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"
#include "platform/bundles/PlatformMainBundle.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>

char CoreDebugBundleLogFileName::sPathName[kCapacity] = "VistrelXXX.log";
char CoreDebugBundleLogFileName::sComponentName[kNameCapacity] = "VistrelXXX";

const char* g_CoreMachDebug_LogPrefix = CoreDebugBundleLogFileName::sComponentName;
char* g_CoreMachDebug_LogFileName = CoreDebugBundleLogFileName::sPathName;

CoreDebugBundleLogFileName::CoreDebugBundleLogFileName() {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    // Both components carry this code: the shared object it was loaded from names the one this is.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&CoreDebugBundleLogFileName::NameForHost), &info))
        NameForComponent(info.dli_fname);
    NameForHost(platform::bundles::MainBundle::Get().Identifier().c_str());
}

void CoreDebugBundleLogFileName::NameForComponent(const char* objectPath) {
    if (!objectPath) return;
    const char* base = std::strrchr(objectPath, '/');
    base = base ? base + 1 : objectPath;
    const size_t length = std::strcspn(base, ".");
    // Only a shared object is a component: a program that carries these objects keeps the name.
    if (length == 0 || length >= kNameCapacity || std::strcmp(base + length, ".so") != 0) return;
    std::memcpy(sComponentName, base, length);
    sComponentName[length] = '\0';
}

void CoreDebugBundleLogFileName::NameForHost(const char* identifier) {
    // A file name never holds a slash; such an identifier would name another folder.
    if (!identifier || !*identifier || std::strchr(identifier, '/')) return;
    char name[kCapacity];
    const int length = std::snprintf(name, sizeof name, "%s.%s.log", sComponentName, identifier);
    if (length > 0 && size_t(length) < sizeof name)
        std::memcpy(sPathName, name, size_t(length) + 1);
}
