// The 32-bit and the 64-bit halves of the universal component share one channel: frames written by
// one build are read, byte for byte, by the other, and each build takes only its own record size.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <tuple>
#include <vector>

using namespace binding;
using testsupport::Exists;
using testsupport::ProcessResult;
using testsupport::RunProcess;

namespace {

const std::string kTool64 = testsupport::StagePath("bin/vistrel-channel");
const std::string kTool32 = VISTREL_ARCH32_TOOL;

// Both tools find the component through the user's link; publishers leave it in place.
class CrossAbi : public ::testing::Test {
protected:
    void SetUp() override {
        // Decided by trying: a kernel without 32-bit emulation refuses the program itself
        // (ENOEXEC), while a missing or broken 32-bit build is a failure, not a skip.
        static const bool runs =
            RunProcess({VISTREL_ARCH32_PROBE}).err.find(std::strerror(ENOEXEC)) ==
            std::string::npos;
        if (!runs)
            GTEST_SKIP() << "this machine's kernel runs no 32-bit programs (ia32 emulation off)";
        RemoveChannel();
        LinkComponent();
    }
    static int Publish(const std::string& tool, const std::string& frames) {
        return RunProcess({tool, "publish", "--no-install", "--frames", frames, "--fps", "100"})
            .exitCode;
    }
};

// Also when another user holds a documented name (a lock's, then the file's): both builds move
// file and locks to the private folder alike.
TEST_F(CrossAbi, EachBuildReadsTheFramesOfTheOther) {
    // n frames alternate between the buffers: the last one, n - 1, is in buffer (n - 1) % 2.
    for (const auto& [writer, frames, taken] :
         {std::tuple{kTool64, 5u, -1}, std::tuple{kTool32, 6u, -1}, std::tuple{kTool32, 7u, 2},
          std::tuple{kTool64, 8u, 0}}) {
        SCOPED_TRACE(writer + " " + std::to_string(taken));
        for (const std::string& name : ChannelNames())
            if (taken >= 0) ::unlink(name.c_str());
        if (taken >= 0) testsupport::WriteFile(ChannelNames()[taken], "theirs");
        ASSERT_TRUE(taken < 0 || ::lchown(ChannelNames()[taken].c_str(), 65534, 65534) == 0);
        ASSERT_EQ(Publish(writer, std::to_string(frames)), 0);
        for (const std::string& name : ChannelNames(true))
            EXPECT_EQ(Exists(name), taken >= 0) << name;
        const std::vector<uint8_t> frame = broadcast::Pattern(frames - 1);
        char expected[160];
        std::snprintf(expected, sizeof expected,
                      "tag=0x%08x frame=%u checksum=0x%016" PRIx64
                      " size=640x480 format=0x72617720\n",
                      frames % 2 ? 0x11111111u : 0x22222222u, frames - 1,
                      TestPattern::Checksum(frame.data(), 480, 2560));
        for (const std::string& reader : {kTool32, kTool64}) {
            const ProcessResult read = RunProcess({reader, "read"});
            EXPECT_EQ(read.exitCode, 0) << reader << "\n" << read.err;
            EXPECT_EQ(read.out, expected) << reader;
        }
    }
}

TEST_F(CrossAbi, The32BitBuildTakesOnlyItsOwnRecordSize) {
    // A current frame in buffer 0, so that the reader's call can succeed.
    ASSERT_EQ(Publish(kTool64, "1"), 0);
    const ProcessResult probe =
        RunProcess({VISTREL_ARCH32_PROBE, BundleObject("VistrelX64", "i386")});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    // Per call (the writer's, the writer's, the reader's, the reader's) the result, then the 32
    // record bytes, filled with 0xA5 before the call. A record of the 64-bit size stays untouched.
    std::string untouched = "0:20000000";
    while (untouched.size() < 66)
        untouched += "a5";
    // The 24-byte layout: size, 4-byte pointer, row bytes, frame bytes, width, height, format;
    // the 8 bytes beyond it stay as they were. Buffer 0 is current: the reader gets the same.
    const std::string pointer = probe.out.substr(untouched.size() + 11, 8);
    EXPECT_NE(pointer, "00000000");
    const std::string own =
        "1:18000000" + pointer + "000a000000c012008002e00120776172a5a5a5a5a5a5a5a5";
    EXPECT_EQ(probe.out, untouched + "\n" + own + "\n" + untouched + "\n" + own + "\n");
}

} // namespace
