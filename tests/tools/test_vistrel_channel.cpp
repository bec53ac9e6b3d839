// The vistrel-channel tool as people run it: the staged binary, its exit codes, what it prints
// and the pictures it saves.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
#include <csignal>
#include <filesystem>
#include <png.h>
#include <thread>
#include <vector>

using namespace binding;
using testsupport::Exists;
using testsupport::ProcessResult;
namespace fs = std::filesystem;

namespace {

const std::string kTool = testsupport::StagePath("bin/vistrel-channel");

ProcessResult Tool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kTool);
    return testsupport::RunProcess(arguments);
}

// True once the holder word of a buffer's lock names a reader that holds (`read --hold`).
bool WaitUntilAReaderHolds() {
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        for (unsigned n : {0, 1}) {
            const std::string record = testsupport::ReadFile(
                "/dev/shm/sem." + SharedCamera::SemaphoreName(n, ::geteuid()));
            uint32_t pid = 0;
            if (record.size() >= 20) std::memcpy(&pid, record.data() + 16, 4);
            const std::string command = "/proc/" + std::to_string(pid) + "/cmdline";
            if (pid && testsupport::ReadFile(command).find("--hold") != std::string::npos)
                return true;
        }
    }
    return false;
}

class VistrelChannel : public ::testing::Test {
protected:
    void SetUp() override { RemoveChannel(); }
};

TEST_F(VistrelChannel, PublishedFrameIsReadBackAndSavedAsPng) {
    const ProcessResult publish = Tool({"publish", "--frames", "5", "--fps", "50"});
    ASSERT_EQ(publish.exitCode, 0) << publish.err;
    EXPECT_EQ(publish.out.rfind("published 5 frames of 640x480 ARGB", 0), 0u) << publish.out;
    EXPECT_FALSE(Exists(UserLink())) << "publish must take its own link away at the end";

    LinkComponent();
    testsupport::TempFolder folder;
    const std::string png = folder / "f.png";
    const ProcessResult read = Tool({"read", "--png", png});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    // Frames 0 to 4 alternate between the buffers, so frame 4 is in buffer 0.
    const std::vector<uint8_t> frame = broadcast::Pattern(4);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "tag=0x11111111 frame=4 checksum=0x%016" PRIx64
                  " size=640x480 format=0x72617720\nwrote %s\n",
                  TestPattern::Checksum(frame.data(), 480, 2560), png.c_str());
    EXPECT_EQ(read.out, expected);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str())) << image.message;
    ASSERT_EQ(image.width * image.height, 640u * 480u);
    EXPECT_EQ(image.format, uint32_t(PNG_FORMAT_RGBA)) << "the file should carry alpha";
    image.format = PNG_FORMAT_ARGB; // the frame's own byte order
    std::vector<uint8_t> argb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, argb.data(), 0, nullptr)) << image.message;
    EXPECT_TRUE(argb == frame) << "the pixels differ from the pattern";
    EXPECT_FALSE(Exists(png + ".partial"));
}

TEST_F(VistrelChannel, PublishLinksTheComponentOnlyWhileItRunsAndKeepsALinkItDidNotMake) {
    testsupport::Child publisher([] {
        return testsupport::Exec({kTool, "publish", "--fps", "20", "--seconds", "120"});
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::is_symlink(UserLink()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fs::is_symlink(UserLink()));
    publisher.Kill(SIGTERM);
    ASSERT_TRUE(publisher.Wait());
    EXPECT_EQ(publisher.exitCode, 0) << "a stop request ends publishing normally";
    EXPECT_FALSE(Exists(UserLink()));

    LinkComponent();
    EXPECT_EQ(Tool({"publish", "--frames", "1"}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(UserLink()));
}

// A slow broadcast: a read that fetched the frame a reader holds does not wait for that reader,
// it reads the next frame once that is current.
TEST_F(VistrelChannel, AReadOfAHeldFrameReadsTheNextOne) {
    testsupport::Child broadcast([] {
        return testsupport::Exec({kTool, "publish", "--fps", "2", "--seconds", "30"});
    });
    ASSERT_EQ(Tool({"read", "--wait", "10"}).exitCode, 0) << "no first frame";
    testsupport::Child holder([] { return testsupport::Exec({kTool, "read", "--hold", "30"}); });
    ASSERT_TRUE(WaitUntilAReaderHolds());
    testsupport::Child read([] { return testsupport::Exec({kTool, "read"}); });
    ASSERT_TRUE(read.Wait(5)) << "the read waited for the holder";
    EXPECT_EQ(read.exitCode, 0) << read.err;
}

// Planted files at the channel's path the writer may not reset: refused with the path and the
// reason, the file left as it was.
TEST_F(VistrelChannel, PlantedChannelFilesAreRefused) {
    const std::string path = RegionPath(), elsewhere = path + ".elsewhere";
    std::string otherVersion(SharedCamera::kRegionSizeBytes, '\0');
    const uint32_t header[2] = {SharedCamera::kApplicationSignature, 0x322E3030}; // '2.00'
    std::memcpy(otherVersion.data(), header, sizeof header);
    testsupport::WriteFile(elsewhere, "precious");
    for (bool hardLink : {true, false}) {
        RemoveChannel();
        if (hardLink)
            ASSERT_EQ(::link(elsewhere.c_str(), path.c_str()), 0);
        else
            testsupport::WriteFile(path, otherVersion);
        const ProcessResult publish = Tool({"publish", "--frames", "2"});
        EXPECT_EQ(publish.exitCode, hardLink ? 2 : 1) << publish.err;
        const std::string refusal =
            hardLink ? "it has more than one hard link" : "not a channel of this version";
        EXPECT_NE(publish.err.find("vistrel-channel: refused the channel file " + path + ": " +
                                   refusal + "\n"),
                  std::string::npos)
            << publish.err;
        EXPECT_TRUE(testsupport::ReadFile(path) == (hardLink ? "precious" : otherVersion));
    }
}

TEST_F(VistrelChannel, ExitCodes) {
    // 2: no component to publish through, or an option the tool does not have (one line);
    // 3: no frame to read; 64: a bad command line; 0: --help and --version on standard output.
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"publish", "--no-install", "--frames", "1"}, 2},
        {{"read"}, 3},
        {{}, 64},
        {{"publish", "--frames", "-3"}, 64},
        {{"publish", "--fps", "0"}, 64},
        {{"read", "x"}, 64},
        {{"--help"}, 0},
        {{"--version"}, 0},
        {{"read", "--fps", "3"}, 2}};
    for (const auto& [arguments, code] : cases)
        EXPECT_EQ(Tool(arguments).exitCode, code) << testing::PrintToString(arguments);
    EXPECT_TRUE(Tool({"-h"}).out.starts_with("usage: vistrel-channel publish"));
    EXPECT_EQ(Tool({"--version"}).out, "vistrel-channel 1.705\n");
    EXPECT_EQ(Tool({"--frames"}).err, "vistrel-channel: unknown option --frames (see --help)\n");
    LinkComponent();
    const ProcessResult read = Tool({"read"});
    EXPECT_EQ(read.exitCode, 3);
    EXPECT_NE(read.out.find("no frame (nothing has been published)"), std::string::npos)
        << read.out;
}

} // namespace
