// The log path is resolved once per process, so every case that logs runs in a child of its own.
#include "core/CoreMachDebugLog.h"
#include "tests/support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Runs body in a child with the given Logs folder; the child fails when body recorded a failure.
ProcessResult InChild(const std::string& logs, const std::function<void()>& body) {
    Child child([&] {
        ::setenv("XDG_STATE_HOME", logs.c_str(), 1);
        body();
        return ::testing::Test::HasFailure() ? 1 : 0;
    });
    EXPECT_TRUE(child.Wait());
    EXPECT_EQ(child.exitCode, 0) << child.out << child.err;
    return child;
}

// Each output writes texts unchanged. (The reports of VERIFY and VERIFY_ERR, which go through the
// same outputs, are checked below and by every test that reads a report.)
TEST(CoreLogTest, OutputsWriteTextsUnchanged) {
    TempFolder logs;
    const std::string file = logs / g_CoreMachDebug_LogFileName;
    WriteFile(file, "earlier\n");
    const ProcessResult child = InChild(logs.Path(), [&] {
        EXPECT_EQ(CoreMachDebugLogGetUseLogger(), kCoreLogToFile);
        CoreMachDebugLogString("100%s done %d%%\n");
        CoreMachDebugLog("%d-%s\n", 7, "x");
        CoreMachDebugLogSetUseLogger(kCoreLogToASL);
        CoreMachDebugLogString("system 100%s");
    });
    EXPECT_EQ(ReadFile(file), "earlier\n100%s done %d%%\n7-x\n");
    const std::string prefix = g_CoreMachDebug_LogPrefix;
    EXPECT_NE(child.err.find(prefix + ": system 100%s\n"), std::string::npos) << child.err;
}

// An empty file name means CoreConsole.log; texts longer than a line are cut.
TEST(CoreLogTest, MissingLogsFolderIsReportedPerTextNeverCreatedAndRetried) {
    TempFolder temp;
    const std::string missing = temp / "missing", exact(1023, 'a'), over(5000, 'b');
    const ProcessResult child = InChild(missing, [&] {
        static char empty[] = "";
        g_CoreMachDebug_LogFileName = empty;
        CoreMachDebugLogString("dropped\n");
        CoreMachDebugLog("dropped %d\n", 2);
        EXPECT_FALSE(Exists(missing));
        std::fputs("--\n", stderr);
        ASSERT_EQ(::mkdir(missing.c_str(), 0700), 0);
        CoreMachDebugLog("%s", exact.c_str());
        CoreMachDebugLog("%s%s", over.c_str(), "tail");
    });
    EXPECT_EQ(ReadFile(missing + "/CoreConsole.log"), exact + over.substr(0, 1023));
    // The report goes to standard error directly: logging it would recurse.
    const std::string report = "VERIFY_ERR FAILED: OSErr:-43  code : FSFindFolder(*) in "
                               "*/CoreMachDebugLog.cpp:* (CoreMachDebugLogClassInitialize)\n";
    EXPECT_TRUE(MatchesLines(child.err, report + report + "--\n")) << child.err;
}

} // namespace
