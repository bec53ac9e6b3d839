// The log-file path is resolved once per process and then kept, so every case that logs runs in
// a forked child with its own XDG_STATE_HOME; this process itself never logs.
#include "core/CoreMachDebugLog.h"
#include "core/CoreVerify.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

struct ChildResult {
    int exitCode = -1;
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs body in a forked child with stdout and stderr captured; the child fails (exit 1) when the
// body recorded a test failure, and its captured output then explains why.
ChildResult RunInChild(const std::function<void()>& body) {
    TempFolder capture;
    const std::string outPath = capture / "out", errPath = capture / "err";
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        body();
        std::fflush(nullptr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    ChildResult result;
    int status = 0;
    while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

#define EXPECT_CHILD_OK(result)                                                                    \
    EXPECT_TRUE((result).exitCode == 0 && (result).signal == 0)                                    \
        << "exit " << (result).exitCode << " signal " << (result).signal << "\nstdout:\n"          \
        << (result).out << "\nstderr:\n"                                                           \
        << (result).err

class CoreLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::mkdir(mLogs.c_str(), 0700), 0); }

    // The child's user Logs folder; call first thing in a child.
    void UseLogsFolder(const std::string& folder) const {
        ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }
    std::string LogFile() const { return mLogs + "/" + g_CoreMachDebug_LogFileName; }

    TempFolder mTemp;
    const std::string mLogs = mTemp / "state";
};

TEST_F(CoreLogTest, FileOutputAppendsTextsUnchangedToTheUserLogFile) {
    WriteFile(LogFile(), "earlier\n");
    const ChildResult child = RunInChild([&] {
        UseLogsFolder(mLogs);
        EXPECT_EQ(CoreMachDebugLogGetUseLogger(), kCoreLogToFile);
        CoreMachDebugLogString("100%s done %d%%\n");
        CoreMachDebugLog("%d-%s\n", 7, "x");
        EXPECT_EQ(std::string(CoreMachDebugLogFilePath()), LogFile());
        // 3 is not an output of its own: it behaves as the file.
        CoreMachDebugLogSetUseLogger(kCoreLogOutput(3));
        CoreMachDebugLogString("three\n");
    });
    EXPECT_CHILD_OK(child);
    EXPECT_EQ(ReadFile(LogFile()), "earlier\n100%s done %d%%\n7-x\nthree\n");
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(child.err, "");
}

TEST_F(CoreLogTest, EmptyFileNameLogsToCoreConsoleLog) {
    const ChildResult child = RunInChild([&] {
        UseLogsFolder(mLogs);
        static char empty[] = "";
        g_CoreMachDebug_LogFileName = empty;
        CoreMachDebugLogString("default name\n");
    });
    EXPECT_CHILD_OK(child);
    EXPECT_EQ(ReadFile(mLogs + "/CoreConsole.log"), "default name\n");
    EXPECT_FALSE(Exists(LogFile()));
}

TEST_F(CoreLogTest, StdoutOutputPrintsPrefixedTextWithoutNewlineAndAppendsToFile) {
    const ChildResult child = RunInChild([&] {
        UseLogsFolder(mLogs);
        CoreMachDebugLogSetUseLogger(kCoreLogToStdoutAndFile);
        EXPECT_EQ(CoreMachDebugLogGetUseLogger(), kCoreLogToStdoutAndFile);
        CoreMachDebugLogString("hello");
        CoreMachDebugLogString("50% world\n");
    });
    EXPECT_CHILD_OK(child);
    const std::string prefix = g_CoreMachDebug_LogPrefix;
    EXPECT_EQ(child.out, prefix + ":hello" + prefix + ":50% world\n");
    EXPECT_EQ(ReadFile(LogFile()), "hello50% world\n");
}

TEST_F(CoreLogTest, SystemLogOutputsEchoToStandardErrorAndLeaveTheFileAlone) {
    const ChildResult child = RunInChild([&] {
        UseLogsFolder(mLogs);
        CoreMachDebugLogSetUseLogger(kCoreLogToASL);
        CoreMachDebugLogString("to the system log 100%s");
        CoreMachDebugLogSetUseLogger(kCoreLogToSyslog);
        CoreMachDebugLogString("to syslog");
    });
    EXPECT_CHILD_OK(child);
    // The system log echoes under the prefix as its identity.
    const std::string echo = std::string(g_CoreMachDebug_LogPrefix) + ": to the system log 100%s\n";
    EXPECT_NE(child.err.find(echo), std::string::npos) << child.err;
    EXPECT_EQ(child.out, "");
    EXPECT_FALSE(Exists(LogFile()));
}

TEST_F(CoreLogTest, MissingLogsFolderIsReportedNotCreatedAndResolvedAgainLater) {
    const std::string missing = mTemp / "missing";
    const ChildResult child = RunInChild([&] {
        UseLogsFolder(missing);
        CoreMachDebugLogString("dropped\n");
        CoreMachDebugLog("dropped %d\n", 2);
        EXPECT_FALSE(Exists(missing));
        std::fputs("--\n", stderr);
        ASSERT_EQ(::mkdir(missing.c_str(), 0700), 0);
        CoreMachDebugLogString("kept\n");
    });
    EXPECT_CHILD_OK(child);
    EXPECT_EQ(ReadFile(missing + "/" + g_CoreMachDebug_LogFileName), "kept\n");

    // Each failed resolution reports itself once on standard error, in the verification format.
    const std::string report =
        "VERIFY_ERR FAILED: OSErr:-43  code : FSFindFolder(domain, kLogsFolderType, "
        "kDontCreateFolder, &sUserLogsFolder) in ";
    const size_t separator = child.err.find("--\n");
    ASSERT_NE(separator, std::string::npos) << child.err;
    EXPECT_EQ(child.err.substr(separator), "--\n");
    const std::string reports = child.err.substr(0, separator);
    size_t lineStart = 0;
    int lines = 0;
    while (lineStart < reports.size()) {
        const size_t lineEnd = reports.find('\n', lineStart);
        ASSERT_NE(lineEnd, std::string::npos) << reports;
        const std::string line = reports.substr(lineStart, lineEnd - lineStart);
        EXPECT_EQ(line.rfind(report, 0), 0u) << line;
        EXPECT_NE(line.find("CoreMachDebugLog.cpp:"), std::string::npos) << line;
        const std::string function = " (CoreMachDebugLogClassInitialize)";
        EXPECT_EQ(line.substr(line.size() - std::min(line.size(), function.size())), function);
        lineStart = lineEnd + 1;
        ++lines;
    }
    EXPECT_EQ(lines, 2) << reports;
}

int sVerifyLine = 0;
bool sWentOn = false;

bool FailingCheck(int x) {
    sVerifyLine = __LINE__ + 1;
    const bool result = VERIFY(x == 2);
    sWentOn = true;
    return result;
}

bool PercentCheck(int x) {
    sVerifyLine = __LINE__ + 1;
    return VERIFY(x % 2 == 0);
}

long FailingErr(long code) {
    sVerifyLine = __LINE__ + 1;
    return VERIFY_ERR(code);
}

std::string At(const char* function) {
    return std::string(" in ") + __FILE__ + ":" + std::to_string(sVerifyLine) + " (" + function +
           ")\n";
}

TEST_F(CoreLogTest, VerifyReportsOneLineAndTheCodeGoesOn) {
    const ChildResult child = RunInChild([&] {
        UseLogsFolder(mLogs);
        EXPECT_FALSE(FailingCheck(3));
        EXPECT_TRUE(sWentOn);
        std::string expected = "VERIFY FAILED:  code : x == 2" + At("FailingCheck");
        EXPECT_TRUE(FailingCheck(2));
        EXPECT_FALSE(PercentCheck(5));
        expected += "VERIFY FAILED:  code : x % 2 == 0" + At("PercentCheck");
        EXPECT_TRUE(PercentCheck(4));
        EXPECT_EQ(FailingErr(-50), -50);
        expected += "VERIFY_ERR FAILED: OSErr:-50  code : code" + At("FailingErr");
        EXPECT_EQ(FailingErr(0), 0);
        std::fputs(expected.c_str(), stdout);
    });
    EXPECT_CHILD_OK(child);
    EXPECT_EQ(ReadFile(LogFile()), child.out);
    EXPECT_NE(child.out, "");
}

TEST_F(CoreLogTest, LongFormattedTextIsCutTo1023Characters) {
    const std::string exact(1023, 'a'), over(1024, 'b'), far(5000, 'c');
    const ChildResult child = RunInChild([&] {
        UseLogsFolder(mLogs);
        CoreMachDebugLog("%s", exact.c_str());
        CoreMachDebugLog("%s", over.c_str());
        CoreMachDebugLog("%s%s", far.c_str(), "tail");
    });
    EXPECT_CHILD_OK(child);
    EXPECT_EQ(ReadFile(LogFile()), exact + over.substr(0, 1023) + far.substr(0, 1023));
}

} // namespace
