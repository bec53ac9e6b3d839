// The vistrel-channel tool as people run it: the staged binary, its exit codes, what it prints
// and the pictures it saves.
#include "tests/support/TestSupport.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <glob.h>
#include <png.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::Exists;
using testsupport::ProcessResult;
namespace fs = std::filesystem;

namespace {

const std::string kTool = testsupport::StagePath("bin/vistrel-channel");

ProcessResult Tool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kTool);
    return testsupport::RunProcess(arguments);
}

std::string UserComponents() {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/components";
}

std::string UserLink() {
    return UserComponents() + "/VistrelX64.component";
}

void LinkComponentByHand() {
    fs::create_directories(UserComponents());
    fs::create_symlink(testsupport::StagePath("share/vistrel/VistrelX64.component"), UserLink());
}

bool RegionExists() {
    glob_t found{};
    const bool any =
        ::glob("/tmp/com-tarnwick-*-Vstrl-1.705-640x480-ARGB.tmp", 0, nullptr, &found) == 0;
    ::globfree(&found);
    return any;
}

std::vector<uint8_t> PatternFrame(uint32_t counter) {
    std::vector<uint8_t> frame(640 * 480 * 4);
    TestPattern::Draw(frame.data(), 640, 480, 2560, counter);
    return frame;
}

// Starts the tool without waiting for it; its output goes nowhere.
pid_t Start(const std::vector<std::string>& arguments) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(kTool.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <typename Condition> bool Within(double seconds, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Each test starts with no component linked and no channel.
class VistrelChannel : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::RemoveTree(std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel");
        glob_t found{};
        if (::glob("/tmp/com-tarnwick-*-Vstrl-1.705-*.tmp", 0, nullptr, &found) == 0)
            for (size_t i = 0; i < found.gl_pathc; ++i)
                ::unlink(found.gl_pathv[i]);
        ::globfree(&found);
        ::unlink("/dev/shm/sem.VistrelXXX_0");
        ::unlink("/dev/shm/sem.VistrelXXX_1");
    }
};

TEST_F(VistrelChannel, PublishedFrameIsReadBackAndSavedAsPng) {
    const ProcessResult publish = Tool({"publish", "--frames", "5", "--fps", "50"});
    ASSERT_EQ(publish.exitCode, 0) << publish.err;
    EXPECT_EQ(publish.out.rfind("published 5 frames of 640x480 ARGB", 0), 0u) << publish.out;
    EXPECT_FALSE(Exists(UserLink())) << "publish must take its link away at the end";

    LinkComponentByHand();
    testsupport::TempFolder folder;
    const std::string png = folder / "f.png";
    const ProcessResult read = Tool({"read", "--png", png});
    ASSERT_EQ(read.exitCode, 0) << read.err;

    // Frames 0 to 4 alternate between the buffers, so frame 4 is in buffer 0.
    const std::vector<uint8_t> frame = PatternFrame(4);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "tag=0x11111111 frame=4 checksum=0x%016" PRIx64
                  " size=640x480 format=0x72617720\nwrote %s\n",
                  TestPattern::Checksum(frame.data(), 480, 2560), png.c_str());
    EXPECT_EQ(read.out, expected);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str())) << image.message;
    ASSERT_EQ(image.width, 640u);
    ASSERT_EQ(image.height, 480u);
    EXPECT_EQ(image.format, uint32_t(PNG_FORMAT_RGBA)) << "the file should carry alpha";
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) << image.message;
    ASSERT_EQ(rgba.size(), frame.size());
    size_t wrong = 0;
    for (size_t i = 0; i < frame.size(); i += 4) {
        const uint8_t argb[4] = {frame[i], frame[i + 1], frame[i + 2], frame[i + 3]};
        if (rgba[i] != argb[1] || rgba[i + 1] != argb[2] || rgba[i + 2] != argb[3] ||
            rgba[i + 3] != argb[0])
            ++wrong;
    }
    EXPECT_EQ(wrong, 0u) << "pixels that differ from the pattern";
    EXPECT_FALSE(Exists(png + ".partial"));
}

TEST_F(VistrelChannel, PublishLinksTheComponentOnlyWhileItRuns) {
    const pid_t publisher = Start({"publish", "--fps", "20", "--seconds", "120"});
    ASSERT_GT(publisher, 0);
    const bool linked = Within(10, [] { return fs::is_symlink(UserLink()); });
    // Meanwhile a reader finds the component through that link and gets a frame.
    const ProcessResult read = Tool({"read", "--wait", "10"});
    ::kill(publisher, SIGTERM);
    EXPECT_EQ(WaitExit(publisher), 0) << "a stop request ends publishing normally";
    EXPECT_TRUE(linked);
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
    EXPECT_EQ(read.out.rfind("tag=0x", 0), 0u) << read.out;
    EXPECT_FALSE(Exists(UserLink()));
}

TEST_F(VistrelChannel, NoFrameWithoutComponentOrWithoutPublisher) {
    ProcessResult read = Tool({"read"});
    EXPECT_EQ(read.exitCode, 3);
    EXPECT_NE(read.out.find("no frame"), std::string::npos) << read.out;

    LinkComponentByHand();
    read = Tool({"read"});
    EXPECT_EQ(read.exitCode, 3);
    EXPECT_NE(read.out.find("no frame (nothing has been published)"), std::string::npos)
        << read.out;
    EXPECT_FALSE(RegionExists()) << "a reader must never create the channel";
}

TEST_F(VistrelChannel, PublishWithoutReachableComponentFails) {
    const ProcessResult publish = Tool({"publish", "--no-install", "--frames", "1"});
    EXPECT_EQ(publish.exitCode, 2);
    EXPECT_NE(publish.err.find("cannot reach the camera component VistrelX64.component"),
              std::string::npos)
        << publish.err;
    EXPECT_FALSE(RegionExists());
}

TEST_F(VistrelChannel, BadOptionsExit64WithUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"publish", "--bogus"},
        {"publish", "--fps"},
        {"publish", "--frames", "-3"},
        {"publish", "--seconds", "soon"},
        {"read", "--png"},
        {"read", "--wait", "x"},
        {"read", "extra"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        const ProcessResult result = Tool(arguments);
        std::string shown;
        for (const std::string& argument : arguments)
            shown += argument + " ";
        EXPECT_EQ(result.exitCode, 64) << shown;
        EXPECT_NE(result.err.find("usage: vistrel-channel publish"), std::string::npos)
            << shown << result.err;
    }
    const ProcessResult fps = Tool({"publish", "--fps", "0"});
    EXPECT_EQ(fps.exitCode, 64);
    EXPECT_NE(fps.err.find("--fps must be above 0"), std::string::npos) << fps.err;
    // None of them did anything.
    EXPECT_FALSE(RegionExists());
    EXPECT_FALSE(Exists(UserComponents()));
}

} // namespace
