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

    // Frames of frei0r_src at a size, as R, G, B, A bytes. ffmpeg 5 wants filter_params
    // present even when a source has none.
    ProcessResult Frame(const std::string& size, std::string& rgba, int frames = 1) {
        const std::string raw = folder / "frame.raw";
        std::vector<std::string> env = {"FREI0R_PATH=" + testsupport::StagePath("lib/frei0r-1")};
#ifdef VISTREL_PRELOAD_ASAN
        env.push_back("LD_PRELOAD=" VISTREL_PRELOAD_ASAN);
        env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
        const ProcessResult run = testsupport::RunProcess(
            {FFMPEG, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
             "frei0r_src=size=" + size + ":framerate=30:filter_name=cilookpaneinput:filter_params=",
             "-frames:v", std::to_string(frames), "-f", "rawvideo", "-pix_fmt", "rgba", raw},
            env);
        rgba = testsupport::Exists(raw) ? testsupport::ReadFile(raw) : std::string();
        return run;
    }

    static std::string ARGBtoRGBA(std::vector<uint8_t> argb) {
        for (size_t i = 0; i < argb.size(); i += 4)
            std::rotate(&argb[i], &argb[i + 1], &argb[i + 4]);
        return std::string(argb.begin(), argb.end());
    }

    testsupport::TempFolder folder;
};

TEST_F(Frei0rSource, TheNoCameraCardUntilAFrameIsPublishedThenThatFrameExactly) {
    std::string rgba;
    ProcessResult run = Frame("640x480", rgba);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(rgba == ARGBtoRGBA(PlaceholderARGB()));
    // Connections refused: still the card, never the broadcast.
    Publish({"--frames", "3", "--fps", "100", "--no-install", "--deny-connections"});
    run = Frame("640x480", rgba);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(rgba == ARGBtoRGBA(PlaceholderARGB()))
        << "the broadcast shows, connections refused";
    Publish({"--frames", "3", "--fps", "100", "--no-install"});
    run = Frame("640x480", rgba);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(rgba == ARGBtoRGBA(Pattern(2))) << "not the last published frame";
}

// ffmpeg asks for frames as fast as it can while the writer replaces them quickly: each frame is
// exactly one published frame, every pixel of it.
TEST_F(Frei0rSource, UnderAFastWriterNoFrameIsTorn) {
    testsupport::Child writer([] {
        return testsupport::Exec(
            broadcast::PublishCommand({"--fps", "500", "--seconds", "30", "--no-install"}));
    });
    constexpr int kFrames = 60;
    std::string rgba;
    const ProcessResult run = Frame("640x480", rgba, kFrames);
    writer.Kill(SIGTERM);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(rgba.size(), size_t(kFrames) * SharedCamera::kFrameSizeBytes);
    std::set<uint32_t> counters;
    for (int f = 0; f < kFrames; ++f) {
        const std::string frame =
            rgba.substr(f * SharedCamera::kFrameSizeBytes, SharedCamera::kFrameSizeBytes);
        // The counter rows read the same in R, G and B: the RGBA frame reads as ARGB shifted.
        const uint32_t counter =
            broadcast::Counter(reinterpret_cast<const uint8_t*>(frame.data()) + 1);
        counters.insert(counter);
        EXPECT_TRUE(frame == ARGBtoRGBA(Pattern(counter))) << "frame " << f << " is torn";
    }
    EXPECT_GT(counters.size(), 1u) << "the frames did not change";
}

TEST_F(Frei0rSource, AtAnotherSizeTheFrameIsScaledToFillIt) {
    Publish({"--frames", "6", "--fps", "100", "--no-install"});
    std::string rgba;
    const ProcessResult run = Frame("1280x960", rgba);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(rgba.size(), 1280u * 960 * 4);
    auto pixel = [&](int x, int y) {
        return reinterpret_cast<const uint8_t*>(rgba.data()) + (size_t(y) * 1280 + x) * 4;
    };
    // The counter's 32 blocks span the whole width and twice their height: it reads 5.
    uint32_t counter = 0;
    for (int bit = 0; bit < 32; ++bit)
        counter = counter << 1 | (pixel(bit * 40 + 20, 16)[0] >= 0x80 ? 1 : 0);
    EXPECT_EQ(counter, 5u);
    // The bottom row is the pattern's last row: green is (479 + 2 x 5) mod 256.
    EXPECT_NEAR(pixel(640, 959)[1], (479 + 10) % 256, 1);
}

// A size whose rows the host pads, and a missing filter: no frames, and the source says why.
TEST_F(Frei0rSource, WhatItCannotDoItSays) {
    std::string rgba;
    ProcessResult run = Frame("641x479", rgba);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("cilookpaneinput: cannot make frames of 641x479: the width must be a "
                           "multiple of 16 and the height a multiple of 8"),
              std::string::npos)
        << run.err;
    std::filesystem::remove(UserFolder("image-units/CILookpaneInput.plugin"));
    run = Frame("640x480", rgba);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("cilookpaneinput: the CILookpaneInput image filter is not installed"),
              std::string::npos)
        << run.err;
}

} // namespace
