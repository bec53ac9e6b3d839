// The frei0r source as people use it: ffmpeg loads it from FREI0R_PATH, and the frames come from
// a broadcast that vistrel-channel published in another process, or from the filter's card.
#include "tests/support/ComponentBinding.h"
#include "tests/support/PlugInHost.h"

#include <csignal>
#include <filesystem>
#include <set>

using namespace plugintest;
using testsupport::ProcessResult;

namespace {

class Frei0rSource : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TOOL(FFMPEG, "ffmpeg");
        binding::RemoveChannel();
        LinkPlugIn();
        binding::LinkComponent();
    }

    // Frames of frei0r_src at a size, as A, R, G, B bytes. ffmpeg 5 wants filter_params present
    // even when a source has none.
    ProcessResult Frame(const std::string& size, std::string& argb, int frames = 1) {
        const std::string raw = folder / "frame.raw";
        std::vector<std::string> env = {"FREI0R_PATH=" + testsupport::StagePath("lib/frei0r-1")};
#ifdef VISTREL_PRELOAD_ASAN
        env.push_back("LD_PRELOAD=" VISTREL_PRELOAD_ASAN);
        env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
        const ProcessResult run = testsupport::RunProcess(
            {FFMPEG, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
             "frei0r_src=size=" + size + ":framerate=30:filter_name=cilookpaneinput:filter_params=",
             "-frames:v", std::to_string(frames), "-f", "rawvideo", "-pix_fmt", "argb", raw},
            env);
        argb = testsupport::Exists(raw) ? testsupport::ReadFile(raw) : std::string();
        return run;
    }

    static std::string Bytes(const std::vector<uint8_t>& frame) {
        return std::string(frame.begin(), frame.end());
    }

    testsupport::TempFolder folder;
};

// With connections refused the card shows, never the broadcast; else the broadcast's last frame,
// scaled to fill another size.
TEST_F(Frei0rSource, TheCardWhileConnectionsAreRefusedElseTheFrameScaledToFillTheSize) {
    Publish({"--frames", "3", "--fps", "100", "--no-install", "--deny-connections"});
    std::string argb;
    ProcessResult run = Frame("640x480", argb);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(argb == Bytes(PlaceholderARGB())) << "the broadcast shows, connections refused";

    Publish({"--frames", "6", "--fps", "100", "--no-install"});
    run = Frame("1280x960", argb);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(argb.size(), 1280u * 960 * 4);
    auto pixel = [&](int x, int y) {
        return reinterpret_cast<const uint8_t*>(argb.data()) + (size_t(y) * 1280 + x) * 4;
    };
    // The counter's 32 blocks span the whole width and twice their height: it reads 5.
    uint32_t counter = 0;
    for (int bit = 0; bit < 32; ++bit)
        counter = counter << 1 | (pixel(bit * 40 + 20, 16)[1] >= 0x80 ? 1 : 0);
    EXPECT_EQ(counter, 5u);
    // The bottom row is the pattern's last row: green is (479 + 2 x 5) mod 256.
    EXPECT_NEAR(pixel(640, 959)[2], (479 + 10) % 256, 1);
}

// ffmpeg asks for frames as fast as it can while the writer replaces them quickly: each frame is
// exactly one published frame, every pixel of it.
TEST_F(Frei0rSource, UnderAFastWriterNoFrameIsTorn) {
    testsupport::Child writer([] {
        return testsupport::Exec(
            broadcast::PublishCommand({"--fps", "500", "--seconds", "30", "--no-install"}));
    });
    constexpr int kFrames = 60;
    constexpr size_t kBytes = SharedCamera::kFrameSizeBytes;
    std::string argb;
    const ProcessResult run = Frame("640x480", argb, kFrames);
    writer.Kill(SIGTERM);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(argb.size(), kFrames * kBytes);
    std::set<uint32_t> counters;
    for (size_t f = 0; f < kFrames; ++f) {
        const uint32_t counter =
            broadcast::Counter(reinterpret_cast<const uint8_t*>(argb.data()) + f * kBytes);
        counters.insert(counter);
        EXPECT_TRUE(argb.compare(f * kBytes, kBytes, Bytes(Pattern(counter))) == 0)
            << "frame " << f << " is torn";
    }
    EXPECT_GT(counters.size(), 1u) << "the frames did not change";
}

// A size whose rows the host pads, and a missing filter: no frames, and the source says why.
TEST_F(Frei0rSource, WhatItCannotDoItSays) {
    std::string argb;
    ProcessResult run = Frame("641x479", argb);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("cilookpaneinput: cannot make frames of 641x479: the width must be a "
                           "multiple of 16 and the height a multiple of 8"),
              std::string::npos)
        << run.err;
    std::filesystem::remove(UserFolder("image-units/CILookpaneInput.plugin"));
    run = Frame("640x480", argb);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("cilookpaneinput: the CILookpaneInput image filter is not installed"),
              std::string::npos)
        << run.err;
}

} // namespace
