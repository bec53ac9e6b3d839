// This program carries a camera component's load-time objects and is the bundle
// com.example.CaptureHost of the staged install tree, as a host application would be.
#include "channel/SharedGWorldMemory.h"
#include "component/CoreDebugBundleLogFileName.h"
#include "core/CoreMachDebugLog.h"
#include "platform/session/PlatformSession.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const std::string kHostLogName = "VistrelXXX.com.example.CaptureHost.log";

TEST(ComponentSetupTest, LoadNamesTheLogAfterAUsableHostAndTheFileAfterTheConsoleUser) {
    EXPECT_EQ(std::string(CoreDebugBundleLogFileName::sPathName), kHostLogName);
    EXPECT_EQ(CoreMachDebugLogGetUseLogger(), kCoreLogToASL);
    EXPECT_EQ(std::string(SharedGWorldMemory::sFileMappingPath.c_str()),
              "/tmp/com-tarnwick-" + platform::session::ConsoleUserName().value_or("?") +
                  "-Vstrl-1.705-640x480-ARGB.tmp");
    // Unusable host identifiers keep the previous name.
    const std::string tooLong(CoreDebugBundleLogFileName::kCapacity, 'x');
    for (const char* identifier : {"", "a/b", static_cast<const char*>(nullptr), tooLong.c_str()}) {
        CoreDebugBundleLogFileName::NameForHost(identifier);
        EXPECT_EQ(std::string(CoreDebugBundleLogFileName::sPathName), kHostLogName)
            << (identifier ? identifier : "(null)");
    }
    CoreDebugBundleLogFileName::NameForHost("other.host");
    EXPECT_EQ(std::string(CoreDebugBundleLogFileName::sPathName), "VistrelXXX.other.host.log");
    CoreDebugBundleLogFileName::NameForHost("com.example.CaptureHost");
}

} // namespace
