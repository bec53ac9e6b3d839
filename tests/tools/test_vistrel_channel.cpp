// The vistrel-channel tool as people run it: the staged binary, its exit codes, what it prints
// and the pictures it saves.
#include "tests/support/Broadcast.h"

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <functional>
#include <png.h>
#include <sys/stat.h>

using namespace binding;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const std::string kTool = StagePath("bin/vistrel-channel");

std::vector<std::string> Command(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kTool);
    return arguments;
}

ProcessResult Tool(const std::vector<std::string>& arguments) {
    return RunProcess(Command(arguments));
}

// The tool running until the end of the scope.
std::unique_ptr<Child> Running(const std::vector<std::string>& arguments) {
    return Start(Command(arguments));
}

// True once the holder word of a buffer's lock names a reader that holds (`read --hold`).
bool WaitUntilAReaderHolds() {
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        for (unsigned n : {0, 1}) {
            const std::string record =
                ReadFile("/dev/shm/sem." + SharedCamera::SemaphoreName(n, ::geteuid()));
            uint32_t pid = 0;
            if (record.size() >= 20) std::memcpy(&pid, record.data() + 16, 4);
            const std::string command = "/proc/" + std::to_string(pid) + "/cmdline";
            if (pid && ReadFile(command).find("--hold") != std::string::npos) return true;
        }
    }
    return false;
}

class VistrelChannel : public ::testing::Test {
protected:
    void SetUp() override { RemoveChannel(); }
};

// A publisher links the component for the user while it runs, and takes that link away when it
// ends (on SIGTERM too), never one it did not make. What it published is read back and saved as
// a PNG.
TEST_F(VistrelChannel, PublishLinksTheComponentOnlyWhileItRunsAndAFrameIsSavedAsPng) {
    auto publisher = broadcast::Publishing({"--fps", "20", "--seconds", "120"});
    EXPECT_TRUE(fs::is_symlink(UserLink()));
    publisher->Kill(SIGTERM);
    ASSERT_TRUE(publisher->Wait());
    EXPECT_FALSE(Exists(UserLink()));

    LinkComponent();
    const ProcessResult publish = Tool({"publish", "--frames", "5", "--fps", "50"});
    ASSERT_EQ(publish.exitCode, 0) << publish.err;
    EXPECT_EQ(publish.out.rfind("published 5 frames of 640x480 ARGB", 0), 0u) << publish.out;
    EXPECT_TRUE(fs::is_symlink(UserLink()));
    TempFolder folder;
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
    EXPECT_EQ(image.format, uint32_t(PNG_FORMAT_RGBA)) << "the file should carry alpha";
    image.format = PNG_FORMAT_ARGB; // the frame's own byte order
    std::vector<uint8_t> argb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, argb.data(), 0, nullptr)) << image.message;
    EXPECT_TRUE(argb == frame) << "the pixels differ from the pattern";
    EXPECT_FALSE(Exists(png + ".partial"));
}

// A slow broadcast: a read that fetched the frame a reader holds does not wait for that reader,
// it reads the next frame once that is current.
TEST_F(VistrelChannel, AReadOfAHeldFrameReadsTheNextOne) {
    const auto publisher = broadcast::Publishing({"--fps", "2", "--seconds", "30"});
    const auto holder = Running({"read", "--hold", "30"});
    ASSERT_TRUE(WaitUntilAReaderHolds());
    const auto read = Running({"read"});
    ASSERT_TRUE(read->Wait(5)) << "the read waited for the holder";
    EXPECT_EQ(read->exitCode, 0) << read->err;
}

// What is planted at the channel's names: refused once, in the component's own name, naming the
// entry and why, and left as it was; another user's entry moves the channel instead. (Each
// refusal of the region file and its words: the channel's tests.)
TEST_F(VistrelChannel, PlantedEntriesAreNamedOnceWithTheReasonOrMovedAway) {
    const std::string path = RegionPath(), elsewhere = path + ".elsewhere";
    const std::string lock0 = ChannelNames()[1], runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string otherVersion(SharedCamera::kRegionSizeBytes, '\0');
    const uint32_t header[2] = {SharedCamera::kApplicationSignature, 0x322E3030}; // '2.00'
    std::memcpy(otherVersion.data(), header, sizeof header);
    WriteFile(elsewhere, "precious");
    const struct {
        std::function<void()> plant;
        int exitCode;
        std::string line;
    } cases[] = {
        {[&] { WriteFile(path, otherVersion); }, 1,
         "SharedGWorldMemory: refused " + path + ": not a channel of this version"},
        {[&] { ::mkdir(lock0.c_str(), 0700); }, 2,
         "CoreUnixSemaphore: refused the frame lock " + lock0 + ": not a regular file"},
        {[&] {
             ::symlink(elsewhere.c_str(), path.c_str());
             ::lchown(path.c_str(), 65534, 65534);
         },
         0,
         "SharedGWorldMemory: " + path +
             " belongs to another user (uid 65534): this user's camera channel is in " + runtime +
             " instead"},
    };
    for (const auto& c : cases) {
        RemoveChannel();
        ::rmdir(lock0.c_str());
        c.plant();
        const std::string before = ReadFile(path);
        const ProcessResult publish = Tool({"publish", "--frames", "2"});
        EXPECT_EQ(publish.exitCode, c.exitCode) << publish.err;
        const std::string line = "VistrelX64: " + c.line + "\n";
        const size_t at = publish.err.find(line);
        EXPECT_TRUE(at != std::string::npos && publish.err.find(line, at + 1) == std::string::npos)
            << "not once: " << line << publish.err;
        EXPECT_EQ(publish.err.find(" the channel file"), std::string::npos) << publish.err;
        EXPECT_TRUE(before.empty() || ReadFile(path) == before);
    }
}

TEST_F(VistrelChannel, ExitCodes) {
    // 2: no component to publish through, or an option the tool does not have; 3: no frame to
    // read; 64: a bad command line, said in one line when it is an option's value (rates from 1
    // to 240 a second, waits within a day). (--help and --version: the install test, for every
    // program.)
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"publish", "--no-install", "--frames", "1"}, 2},
        {{}, 64},
        {{"publish", "--frames", "-3"}, 64},
        {{"publish", "--fps", "1e-300"}, 64},
        {{"publish", "--fps", "241"}, 64},
        {{"publish", "--seconds", "nan"}, 64},
        {{"read", "--wait", "86401"}, 64},
        {{"read", "--png"}, 64},
        {{"read", "x"}, 64},
        {{"read", "--fps", "3"}, 2}};
    for (const auto& [arguments, code] : cases) {
        const ProcessResult run = Tool(arguments);
        EXPECT_EQ(run.exitCode, code) << testing::PrintToString(arguments);
        EXPECT_TRUE(code != 64 || arguments.empty() ||
                    std::count(run.err.begin(), run.err.end(), '\n') == 1)
            << run.err;
    }
    EXPECT_EQ(Tool({"--frames"}).err, "vistrel-channel: unknown option --frames (see --help)\n");
    // A read without a frame says why (the reasons, which the plug-in words alike, its tests).
    LinkComponent();
    const ProcessResult read = Tool({"read"});
    EXPECT_EQ(read.exitCode, 3);
    const std::string reason = "no frame (no broadcast has created the camera channel ";
    EXPECT_EQ(read.out.find(reason + RegionPath()), 0u) << read.out;
}

// Every wait of the tool has a bound and ends on SIGTERM or SIGINT (one handler for both): between
// a publisher's ticks, while holding a frame, and for a frame a stopped process holds (that one
// ends by itself).
TEST_F(VistrelChannel, EveryWaitEndsOnSigtermOrByItself) {
    const struct {
        std::vector<std::string> arguments;
        bool held;
        int exitCode, signal = SIGTERM;
    } cases[] = {{{"publish", "--fps", "1", "--seconds", "60"}, false, 0},
                 {{"publish", "--fps", "1", "--seconds", "60"}, false, 0, SIGINT},
                 {{"read", "--hold", "86400"}, false, 0},
                 {{"read"}, true, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " signal " + std::to_string(c.signal));
        LinkComponent();
        ASSERT_EQ(Tool({"publish", "--frames", "2"}).exitCode, 0); // buffer 1 is current
        std::unique_ptr<Child> holder;
        if (c.held) {
            holder = Running({"read", "--hold", "60"});
            ASSERT_TRUE(WaitUntilAReaderHolds());
            holder->Kill(SIGSTOP);
        }
        const bool publish = c.arguments[0] == "publish";
        const auto tool = publish
                              ? broadcast::Publishing({c.arguments.begin() + 1, c.arguments.end()})
                              : Running(c.arguments);
        if (!c.held) {
            ASSERT_TRUE(publish || WaitUntilAReaderHolds());
            tool->Kill(c.signal);
        }
        // The publisher's bound lies well inside its one-second tick.
        ASSERT_TRUE(tool->Wait(c.held ? 10 : 0.8)) << "still waiting";
        EXPECT_EQ(tool->exitCode, c.exitCode) << tool->err;
        RemoveChannel();
    }
}

} // namespace
