// This program carries a camera component's load-time objects and is the bundle
// com.example.CameraHost of the staged install tree, as a host application would be.
#include "channel/SharedGWorldMemory.h"
#include "component/CoreDebugBundleLogFileName.h"
#include "core/CoreMachDebugLog.h"
#include "platform/bundles/PlatformMainBundle.h"
#include "platform/session/PlatformSession.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>

using testsupport::ReadFile;
using testsupport::TempFolder;

namespace {

const std::string kHostLogName = "VistrelXXX.com.example.CameraHost.log";

TEST(ComponentSetupTest, LoadNamesTheLogAfterTheHostAndSelectsTheSystemLog) {
    ASSERT_EQ(platform::bundles::MainBundle::Get().Identifier(), "com.example.CameraHost");
    EXPECT_EQ(std::string(CoreDebugBundleLogFileName::sPathName), kHostLogName);
    EXPECT_EQ(g_CoreMachDebug_LogFileName, CoreDebugBundleLogFileName::sPathName);
    EXPECT_STREQ(g_CoreMachDebug_LogPrefix, "VistrelXXX");
    EXPECT_EQ(CoreMachDebugLogGetUseLogger(), kCoreLogToASL);
}

TEST(ComponentSetupTest, LoadNamesTheSharedFileForTheConsoleUser) {
    const std::optional<std::string> user = platform::session::ConsoleUserName();
    ASSERT_TRUE(user.has_value());
    EXPECT_EQ(std::string(SharedGWorldMemory::sFileMappingPath.c_str()),
              "/tmp/com-tarnwick-" + *user + "-Vstrl-1.705-640x480-ARGB.tmp");
}

TEST(ComponentSetupTest, UnusableIdentifiersKeepThePreviousName) {
    const std::string tooLong(CoreDebugBundleLogFileName::kCapacity, 'x');
    for (const char* identifier : {"", "a/b", static_cast<const char*>(nullptr), tooLong.c_str()}) {
        CoreDebugBundleLogFileName::NameForHost(identifier);
        EXPECT_EQ(std::string(CoreDebugBundleLogFileName::sPathName), kHostLogName)
            << (identifier ? identifier : "(null)");
    }
    CoreDebugBundleLogFileName::NameForHost("other.host");
    EXPECT_EQ(std::string(CoreDebugBundleLogFileName::sPathName), "VistrelXXX.other.host.log");
    CoreDebugBundleLogFileName::NameForHost("com.example.CameraHost");
    EXPECT_EQ(std::string(CoreDebugBundleLogFileName::sPathName), kHostLogName);
}

// The log-file path is resolved once per process, so the file output runs in a child.
TEST(ComponentSetupTest, FileOutputWritesToTheHostsLogFile) {
    TempFolder temp;
    const std::string logs = temp / "state";
    ASSERT_EQ(::mkdir(logs.c_str(), 0700), 0);
    EXPECT_EXIT(
        {
            ::setenv("XDG_STATE_HOME", logs.c_str(), 1);
            CoreMachDebugLogSetUseLogger(kCoreLogToFile);
            CoreMachDebugLogString("from the component 100%s\n");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(logs + "/" + kHostLogName), "from the component 100%s\n");
}

} // namespace
