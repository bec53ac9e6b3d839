#pragma once

#include <cstddef>

// The camera components' log identity: lines start with the component's name (VistrelXXX or
// VistrelX64, whichever this process loaded) and the file is "<component>.<host bundle
// identifier>.log", so that every host's component logs apart; "VistrelXXX.log" when the host has
// no identifier.
struct CoreDebugBundleLogFileName {
    static constexpr size_t kCapacity = 1024;
    static constexpr size_t kNameCapacity = 64;
    static char sPathName[kCapacity];
    static char sComponentName[kNameCapacity];

    // Selects the system log and names the file after the host.
    CoreDebugBundleLogFileName();
    // Rewrites sPathName for a host identifier; an empty or unusable one keeps the default.
    static void NameForHost(const char* identifier);
    // Takes the component's name from the path of the shared object ("<name>.so") it runs from;
    // anything else keeps the name.
    static void NameForComponent(const char* objectPath);
};
