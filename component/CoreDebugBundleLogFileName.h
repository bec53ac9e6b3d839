#pragma once

#include <cstddef>

// The camera components' log file name: "VistrelXXX.<host bundle identifier>.log", so that every
// host's component logs apart; "VistrelXXX.log" when the host has no identifier.
struct CoreDebugBundleLogFileName {
    static constexpr size_t kCapacity = 1024;
    static char sPathName[kCapacity];

    // Selects the system log and names the file after the host.
    CoreDebugBundleLogFileName();
    // Rewrites sPathName for a host identifier; an empty or unusable one keeps the default.
    static void NameForHost(const char* identifier);
};
