// The 32-bit and the 64-bit halves of the universal component share one channel: frames written by
// one build are read, byte for byte, by the other, and each build takes only its own record size.
#include "tests/channel/binding_component.h"
#include "tests/support/TestSupport.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

using namespace binding;
using testsupport::ProcessResult;
using testsupport::RunProcess;
namespace fs = std::filesystem;

namespace {

const std::string kTool64 = testsupport::StagePath("bin/vistrel-channel");
const std::string kTool32 = VISTREL_ARCH32_TOOL;
const std::string kProbe32 = VISTREL_ARCH32_PROBE;

// What `vistrel-channel read` prints for the test pattern numbered counter in the buffer of tag.
std::string ReadLine(uint32_t tag, uint32_t counter) {
    std::vector<uint8_t> frame(SharedCamera::kFrameSizeBytes);
    TestPattern::Draw(frame.data(), 640, 480, 2560, counter);
    char line[160];
    std::snprintf(line, sizeof line,
                  "tag=0x%08" PRIx32 " frame=%" PRIu32 " checksum=0x%016" PRIx64
                  " size=640x480 format=0x72617720\n",
                  tag, counter, TestPattern::Checksum(frame.data(), 480, 2560));
    return line;
}

// Both tools find the component through the user's link; neither publisher installs its own, so
// that the link outlives them.
class CrossAbi : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveChannel();
        const std::string components =
            std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/components";
        testsupport::RemoveTree(components);
        fs::create_directories(components);
        fs::create_symlink(testsupport::StagePath("share/vistrel/VistrelX64.component"),
                           components + "/VistrelX64.component");
    }

    static void Publish(const std::string& tool, const char* frames) {
        const ProcessResult publish =
            RunProcess({tool, "publish", "--no-install", "--frames", frames, "--fps", "100"});
        ASSERT_EQ(publish.exitCode, 0) << publish.out << publish.err;
        EXPECT_EQ(publish.out.rfind(std::string("published ") + frames + " frames", 0), 0u)
            << publish.out;
    }

    static void ExpectBothRead(const std::string& expected) {
        for (const std::string& tool : {kTool32, kTool64}) {
            const ProcessResult read = RunProcess({tool, "read"});
            EXPECT_EQ(read.exitCode, 0) << tool << "\n" << read.err;
            EXPECT_EQ(read.out, expected) << tool;
        }
    }
};

TEST_F(CrossAbi, FramesOfThe64BitWriterReachThe32BitReader) {
    Publish(kTool64, "5"); // frames 0..4: the last one in buffer 0
    ExpectBothRead(ReadLine(SharedCamera::kBufferTag0, 4));
}

TEST_F(CrossAbi, FramesOfThe32BitWriterReachThe64BitReader) {
    Publish(kTool32, "6"); // frames 0..5: the last one in buffer 1
    ExpectBothRead(ReadLine(SharedCamera::kBufferTag1, 5));
}

struct ProbeCall {
    std::string name;
    unsigned size = 0;
    int result = -1;
    std::string bytes;
};

std::vector<ProbeCall> RunProbe() {
    const ProcessResult probe = RunProcess({kProbe32, BundleObject("VistrelX64", "i386")}, {});
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    std::vector<ProbeCall> calls;
    std::istringstream lines(probe.out);
    for (ProbeCall call; lines >> call.name >> call.size >> call.result >> call.bytes;)
        calls.push_back(call);
    return calls;
}

std::string Untouched(const char* sizeBytes) {
    std::string bytes = sizeBytes;
    while (bytes.size() < 64)
        bytes += "a5";
    return bytes;
}

TEST_F(CrossAbi, The32BitBuildTakesOnlyItsOwnRecordSize) {
    Publish(kTool64, "1"); // a current frame in buffer 0, so that the reader's call can succeed
    const std::vector<ProbeCall> calls = RunProbe();
    ASSERT_EQ(calls.size(), 4u);

    for (const ProbeCall& refused : {calls[0], calls[2]}) {
        SCOPED_TRACE(refused.name);
        EXPECT_EQ(refused.size, 32u);
        EXPECT_EQ(refused.result, 0);
        EXPECT_EQ(refused.bytes, Untouched("20000000"));
    }

    // The 24-byte layout: size, 4-byte pointer, row bytes, frame bytes, width, height, format;
    // the 8 bytes beyond it stay as they were.
    const ProbeCall& written = calls[1];
    ASSERT_EQ(written.size, 24u);
    EXPECT_EQ(written.result, 1);
    const std::string pointer = written.bytes.substr(8, 8);
    EXPECT_NE(pointer, "00000000");
    EXPECT_EQ(written.bytes, "18000000" + pointer + "000a0000" + "00c01200" + "8002" + "e001" +
                                 "20776172" + "a5a5a5a5a5a5a5a5");
    EXPECT_EQ(calls[3].size, 24u);
    EXPECT_EQ(calls[3].result, 1);
    EXPECT_EQ(calls[3].bytes, written.bytes) << "buffer 0 is current: the reader gets the same";
}

} // namespace
