// The host adapters as people use them: gst-launch-1.0 and gst-inspect-1.0 load vistrelsrc, and
// ffmpeg the frei0r source (from FREI0R_PATH), from the build tree. The frames come from a
// broadcast that vistrel-channel publishes in another process, or from the filter's card.
#include "tests/support/ComponentBinding.h"
#include "tests/support/PlugInHost.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/socket.h>

using namespace plugintest;
using namespace std::string_literals;
using namespace broadcast;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// A tmpfs over a folder in this test program's own mount namespace, until the end of the scope.
struct Covered {
    explicit Covered(const std::string& folder) : path(folder) {
        EXPECT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", 0, nullptr), 0)
            << folder << ": " << std::strerror(errno);
    }
    ~Covered() { ::umount2(path.c_str(), MNT_DETACH); }
    std::string path;
};

// A program running with the plug-ins from the build tree (and the further assignments, which
// win) until the end of the scope.
std::unique_ptr<Child> Started(const std::vector<std::string>& argv,
                               const std::vector<std::string>& more = {}) {
    std::vector<std::string> environment = ClientEnvironment();
    environment.insert(environment.end(), more.begin(), more.end());
    return Start(argv, environment);
}

// An RTSP client that starts the stream over its connection and never reads it: its receive
// buffer is as small as the system allows, so the server's side of it fills within a second.
// The connection (-1 when the server refused), open until the end of the scope.
struct StalledRtspClient {
    explicit StalledRtspClient(int port) : fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        const int smallest = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest);
        sockaddr_in server{AF_INET, htons(uint16_t(port)), {htonl(INADDR_LOOPBACK)}, {}};
        const std::string url = "rtsp://127.0.0.1:" + std::to_string(port) + "/vistrel";
        std::string answer;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 ||
            !Ask("DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 1\r\n", "a=control:stream=", answer) ||
            !Ask("SETUP " + url + "/stream=" + answer.substr(0, answer.find_first_of("\r\n")) +
                     " RTSP/1.0\r\nCSeq: 2\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n",
                 "Session: ", answer) ||
            !Ask("PLAY " + url + " RTSP/1.0\r\nCSeq: 3\r\nSession: " +
                     answer.substr(0, answer.find_first_of(";\r\n")) + "\r\n",
                 "RTSP/1.0 200 OK", answer))
            ::close(fd), fd = -1;
    }
    ~StalledRtspClient() { ::close(fd); }

    // Sends a request and reads the answer until it holds a word; what follows it, in `after`.
    bool Ask(const std::string& request, const std::string& word, std::string& after) const {
        const std::string whole = request + "\r\n";
        if (::write(fd, whole.data(), whole.size()) != ssize_t(whole.size())) return false;
        std::string answer;
        char chunk[512];
        for (ssize_t n; answer.find(word) == std::string::npos || !answer.ends_with("\n");) {
            if ((n = ::read(fd, chunk, sizeof chunk)) <= 0) return false;
            answer.append(chunk, size_t(n));
        }
        after = answer.substr(answer.find(word) + word.size());
        return true;
    }

    int fd;
};

// A program and its arguments in words without spaces of their own (this program's paths).
std::vector<std::string> Words(const std::string& program, const std::string& arguments) {
    std::vector<std::string> argv = {program};
    std::istringstream words(arguments);
    for (std::string word; words >> word;)
        argv.push_back(word);
    return argv;
}

// ffmpeg taking frames of the frei0r source at a size, as A, R, G, B bytes. ffmpeg 5 wants
// filter_params present even when a source has none.
std::vector<std::string> Frei0rSource(const std::string& size, int frames,
                                      const std::string& options, const std::string& file) {
    return Words(FFMPEG, "-loglevel error -y " + options + " -f lavfi -i frei0r_src=size=" + size +
                             ":framerate=30:filter_name=cilookpaneinput:filter_params= -frames:v " +
                             std::to_string(frames) + " -f rawvideo -pix_fmt argb " + file);
}

ProcessResult Launch(const std::string& pipeline) {
    return RunProcess(Words(GST_LAUNCH, "-q " + pipeline), ClientEnvironment());
}

std::string Bytes(const std::vector<uint8_t>& frame) {
    return std::string(frame.begin(), frame.end());
}

constexpr int kRows = TestPattern::kCounterRows;

// A vistrelsrc client that keeps the counter rows of its frames in a file; its sink syncs to the
// clock, or takes each frame as it comes.
std::unique_ptr<Child> CounterClient(int frames, const std::string& file, bool sync) {
    return Started(Words(GST_LAUNCH, "vistrelsrc num-buffers=" + std::to_string(frames) +
                                         " ! videocrop bottom=" + std::to_string(480 - kRows) +
                                         " ! filesink sync=" + (sync ? "true" : "false") +
                                         " location=" + file));
}

// The frame counters a CounterClient saved, in order, which should be `frames`.
std::vector<uint32_t> Counters(const std::string& file, int frames) {
    const std::string rows = ReadFile(file);
    EXPECT_EQ(rows.size(), size_t(frames) * kRows * 2560) << file;
    return broadcast::Counters(rows, kRows * 2560);
}

// Every test starts with the filter and VistrelX64 installed for this user, nothing else.
class Hosts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TOOL(GST_LAUNCH, "gst-launch-1.0");
        ASSERT_TOOL(GST_INSPECT, "gst-inspect-1.0");
        ASSERT_TOOL(FFMPEG, "ffmpeg");
        binding::RemoveChannel();
        LinkPlugIn();
        binding::LinkComponent();
    }

    // Frames of frei0r_src at a size.
    ProcessResult Frei0r(const std::string& size, std::string& argb, int frames = 1) {
        const std::string raw = folder / "frame.raw";
        const ProcessResult run =
            RunProcess(Frei0rSource(size, frames, "-hide_banner", raw), ClientEnvironment());
        argb = Exists(raw) ? ReadFile(raw) : std::string();
        return run;
    }

    TempFolder folder;
};

// Clients at once (sinks that sync to the clock) slow neither the broadcast nor each other, and
// once it ended its last frame is shown again rather than waited for; gst-inspect-1.0 shows a
// video source.
TEST_F(Hosts, VistrelSrcClientsAtOnceKeepTheRateAndTheLastFrameStays) {
    binding::LinkComponent("VistrelXXX");
    // Stopped once the clients are done: clients slow to start still see it running.
    const auto publisher = Publishing({"--fps", "60", "--seconds", "60"});
    constexpr int kClients = 4, kFrames = 90;
    std::vector<std::unique_ptr<Child>> clients;
    for (int i = 0; i < kClients; ++i)
        clients.push_back(CounterClient(kFrames, folder / std::to_string(i), true));
    for (int i = 0; i < kClients; ++i) {
        SCOPED_TRACE("client " + std::to_string(i));
        ASSERT_TRUE(clients[i]->Wait(20)) << "froze";
        // Among the warnings the latency warning of a source whose latency leaves sinks no room.
        EXPECT_TRUE(clients[i]->exitCode == 0 &&
                    clients[i]->out.find("WARNING") == std::string::npos)
            << clients[i]->out << clients[i]->err;
        const std::vector<uint32_t> counters = Counters(folder / std::to_string(i), kFrames);
        // The writer ticks twice per client tick, so that they never tick in step (where any
        // jitter repeats a frame): 79 to 90 distinct on a quiet machine, 56 at the least beside
        // four busy loops; a client held back by the others gets half or fewer.
        EXPECT_GE(std::set<uint32_t>(counters.begin(), counters.end()).size(), kFrames * 2 / 3u);
    }
    ASSERT_TRUE(publisher->Stop());
    double published = 0, seconds = 1;
    ASSERT_EQ(std::sscanf(publisher->out.c_str(), "published %lf frames of 640x480 ARGB in %lf",
                          &published, &seconds),
              2)
        << publisher->out;
    // Clients that held the writer back would cost it most of its ticks; a loaded machine costs a
    // few (46 a second in a sanitizer build beside other tests).
    EXPECT_GE(published / seconds, 40) << "the broadcast slowed down";

    // (The pad's caps are the template's, fixed, which the device monitor shows: what a converter
    // downstream is told.)
    const std::string raw = folder / "frames.raw";
    const ProcessResult run = Launch("vistrelsrc num-buffers=2 ! filesink location=" + raw);
    EXPECT_TRUE(run.exitCode == 0 && run.err.empty())
        << "notes with the debug categories off? " << run.err;
    const std::string last = Bytes(Pattern(uint32_t(published) - 1));
    EXPECT_TRUE(ReadFile(raw) == last + last) << "not the last frame published";
    const ProcessResult inspected = RunProcess({GST_INSPECT, "vistrelsrc"}, ClientEnvironment());
    EXPECT_NE(inspected.out.find("Source/Video"), std::string::npos)
        << inspected.out << inspected.err;
}

// After a stall of its own (stopped for two seconds) or of the writer (two readers hold both
// buffers for two seconds, the last frame being shown again meanwhile), a client is back at the
// broadcast's rate at once: the second of broadcast after it has most of its frames.
TEST_F(Hosts, VistrelSrcCatchesUpAfterAStallOfItsOwnOrOfTheWriter) {
    binding::LinkComponent("VistrelXXX");
    const std::string tool = StagePath("bin/vistrel-channel");
    for (const bool clientStalls : {true, false}) {
        SCOPED_TRACE(clientStalls ? "the client stalls" : "the writer stalls");
        // Stopped once the client is done: a client slow to start still sees it running.
        const auto publisher = Publishing({"--seconds", "30"});
        constexpr int kFrames = 150;
        // A file of its own: the last row's would pass for a client that delivers.
        const std::string file = folder / (clientStalls ? "client" : "writer");
        const std::unique_ptr<Child> client = CounterClient(kFrames, file, false);
        Eventually([&] { return !ReadFile(file).empty(); }); // until it delivers
        if (clientStalls) {
            client->Kill(SIGSTOP);
            std::this_thread::sleep_for(std::chrono::seconds(2));
            client->Kill(SIGCONT);
        } else {
            const auto hold = [&] { return Exec({tool, "read", "--hold", "2"}); };
            Child first(hold);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            Child second(hold);
            ASSERT_TRUE(first.Wait(10) && second.Wait(10));
        }
        uint32_t resumed = 0;
        const ProcessResult read = RunProcess({tool, "read"});
        ASSERT_EQ(std::sscanf(read.out.c_str(), "tag=%*x frame=%u", &resumed), 1) << read.out;
        ASSERT_TRUE(client->Wait(20) && client->exitCode == 0) << client->err;
        const std::vector<uint32_t> counters = Counters(file, kFrames);
        std::set<uint32_t> second;
        // Copies of one frame shown again while the writer stood still; not those of the last
        // frame, shown again once the broadcast ended.
        long most = 0;
        for (const uint32_t counter : counters) {
            if (counter >= resumed + 3 && counter < resumed + 33) second.insert(counter);
            if (counter <= resumed)
                most = std::max(most, long(std::count(counters.begin(), counters.end(), counter)));
        }
        // A client that never catches up shows one frame in two seconds; a loaded machine may
        // drop a few at the moment of the read.
        EXPECT_GE(second.size(), 22u) << "after frame " << resumed;
        ASSERT_TRUE(publisher->Stop());
        if (clientStalls) continue; // the writer stood still in the other row only
        const size_t at = publisher->out.find("allowed, "); // then the ticks the stall cost
        ASSERT_NE(at, std::string::npos) << publisher->out;
        const long skipped = std::atol(publisher->out.c_str() + at + 9);
        EXPECT_GE(most, skipped * 3 / 4) << skipped << " skipped";
    }
}

// The pipeline does not start, and the element says why in the user's words.
TEST_F(Hosts, VistrelSrcSaysWhyACameraCannotStart) {
    const std::string channel = "The Vistrel camera channel file " + binding::RegionPath();
    const struct {
        bool linked;
        const char* publish; // an option of a one-frame broadcast; no broadcast when null
        size_t planted;      // bytes of a channel file put there instead
        std::string words;
        bool lockPlanted = false; // a folder of ours where a frame lock's record goes
    } cases[] = {
        {false, "", 0, "No Vistrel camera is installed"},
        {true, nullptr, 0, "No Vistrel broadcast has created the camera yet"},
        {true, "--deny-connections", 0, "Camera connections are switched off in Vistrel"},
        {true, nullptr, 4096, channel + " cannot be used: it is shorter than"},
        {true, nullptr, SharedCamera::kRegionSizeBytes,
         channel + " cannot be used: its header is damaged"},
        {true, "", 0, "The Vistrel camera's frame locks cannot be used", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        binding::RemoveChannel();
        if (c.linked) binding::LinkComponent("VistrelXXX");
        std::vector<std::string> options = {"--frames", "1"};
        if (c.publish && *c.publish) options.push_back(c.publish);
        if (c.publish) Publish(options);
        if (c.planted) WriteFile(binding::RegionPath(), std::string(c.planted, '\0'));
        if (c.lockPlanted) {
            ::unlink(binding::ChannelNames()[1].c_str());
            ::mkdir(binding::ChannelNames()[1].c_str(), 0700);
        }
        const ProcessResult run = Launch("vistrelsrc num-buffers=1 ! fakesink");
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find("vistrelsrc0: " + c.words), std::string::npos) << run.err;
        ::rmdir(binding::ChannelNames()[1].c_str());
#ifdef VISTREL_PRELOAD_ASAN
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
#endif
    }
}

// A component bundle in the user's folder whose object cannot be loaded leaves the way to the
// copy in the local folder, for the writer and for vistrelsrc alike. (That every staged object
// finds the project's libraries relative to itself, wherever the tree is put, the install test's
// run-path check shows.)
TEST_F(Hosts, VistrelSrcFindsTheComponentPastAnUnloadableBundle) {
    binding::RemoveChannel(); // the user's folder gets bundles of its own
    const std::string lib = StageLibPath("").substr(StagePath("").size());
    const std::string local = "/usr/local/" + lib + "vistrel/components/";
    const Covered hidden("/usr/local/lib");
    fs::create_directories(local);
    for (const std::string name : {"VistrelXXX", "VistrelX64"}) {
        fs::create_directory_symlink(binding::StagedBundle(name), local + name + ".component");
        fs::create_directories(binding::UserLink(name));
        fs::copy(binding::StagedBundle(name), binding::UserLink(name), fs::copy_options::recursive);
        WriteFile(binding::UserLink(name) + "/Contents/Linux/x86_64/" + name + ".so",
                  "not an object");
    }
    Publish({"--frames", "1", "--no-install"});
    const std::string raw = folder / "frame.raw";
    const ProcessResult run = Launch("vistrelsrc num-buffers=1 ! filesink location=" + raw);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(ReadFile(raw) == Bytes(Pattern(0)));
}

// A size whose rows the host pads gives no frames, and the source says why. The broadcast's last
// frame is scaled to fill another size, and under a fast writer no frame is torn. Without the
// filter, no frames again. (What the filter gives with connections refused, its tests show.)
TEST_F(Hosts, Frei0rShowsUntornFramesScaledToTheSizeElseSaysWhy) {
    std::string argb;
    ProcessResult run = Frei0r("641x479", argb);
    EXPECT_NE(run.exitCode, 0);
    const std::string why = "cilookpaneinput: cannot make frames of 641x479: the width must be a "
                            "multiple of 16 and the height a multiple of 8";
    EXPECT_TRUE(run.err.find(why) != std::string::npos && run.err.find(why) == run.err.rfind(why))
        << "not said once: " << run.err;
    Publish({"--frames", "6", "--fps", "100", "--no-install"});
    run = Frei0r("1280x960", argb);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "") << "notes on ffmpeg's standard error at -loglevel error";
    ASSERT_EQ(argb.size(), 1280u * 960 * 4);
    const auto* frame = reinterpret_cast<const uint8_t*>(argb.data());
    // The counter's 32 blocks span the whole width and twice their height: it reads 5.
    EXPECT_EQ(TestPattern::ReadCounter(frame, 1280, 1280 * 4), 5u);
    // The bottom row is the pattern's last row: green is (479 + 2 x 5) mod 256.
    EXPECT_NEAR(frame[(959 * 1280 + 640) * 4 + 2], (479 + 10) % 256, 1);

    // ffmpeg asks for frames as fast as it can while the writer replaces them quickly: each frame
    // is exactly one published frame, every pixel of it.
    auto writer = Publishing({"--fps", "240", "--seconds", "30", "--no-install"});
    constexpr int kFrames = 60;
    constexpr size_t kBytes = SharedCamera::kFrameSizeBytes;
    run = Frei0r("640x480", argb, kFrames);
    writer.reset();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(argb.size(), kFrames * kBytes);
    std::set<uint32_t> counters;
    for (size_t f = 0; f < kFrames; ++f) {
        const uint32_t counter =
            Counter(reinterpret_cast<const uint8_t*>(argb.data()) + f * kBytes);
        counters.insert(counter);
        EXPECT_TRUE(argb.compare(f * kBytes, kBytes, Bytes(Pattern(counter))) == 0)
            << "frame " << f;
    }
    EXPECT_GT(counters.size(), 1u) << "the frames did not change";

    std::filesystem::remove(UserFolder("image-units/CILookpaneInput.plugin"));
    run = Frei0r("640x480", argb);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("cilookpaneinput: the CILookpaneInput image filter is not installed"),
              std::string::npos)
        << run.err;
}

// The channel changes under a running writer and running clients of both kinds: it is cut to
// nothing (the writer says so once and recreates it), or removed with its locks and published
// anew by another writer. Nobody dies of it, and the clients go on to show new frames.
TEST_F(Hosts, RunningClientsFollowAChannelCutShortOrRecreated) {
    constexpr int kFrames = 120;
    const std::vector<std::string> writer = {"--fps", "30", "--seconds", "60", "--no-install"};
    binding::LinkComponent("VistrelXXX");
    for (bool recreate : {false, true}) {
        const std::string row = recreate ? "recreated" : "cut-short";
        SCOPED_TRACE(row);
        auto publisher = Publishing(writer);
        const std::string gst = folder / (row + ".gst"), frei0r = folder / (row + ".frei0r");
        const std::pair<std::string, std::unique_ptr<Child>> clients[] = {
            {gst, CounterClient(kFrames, gst, true)},
            {frei0r,
             Started(Frei0rSource("640x480", kFrames, "-re", "-vf crop=640:16:0:0 " + frei0r))}};
        // The change comes once both show frames.
        for (int i = 0; i < 1000 && (ReadFile(gst).size() < 15 * kRows * 2560 ||
                                     ReadFile(frei0r).size() < 15 * kRows * 2560);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (recreate) {
            EXPECT_TRUE(publisher->Stop());
            for (const std::string& name : binding::ChannelNames())
                ::unlink(name.c_str());
            publisher = Publishing(writer);
        } else {
            ASSERT_EQ(::truncate(binding::RegionPath().c_str(), 0), 0);
        }
        for (const auto& [file, run] : clients) {
            ASSERT_TRUE(run->Wait(30)) << file;
            EXPECT_EQ(run->exitCode, 0) << file << run->err;
            // Its last half second shows a running writer.
            const std::vector<uint32_t> all = Counters(file, kFrames);
            const std::set<uint32_t> last(all.end() - std::min<size_t>(15, all.size()), all.end());
            EXPECT_GT(last.size(), 1u) << file << ": no new frames";
        }
        // (What the writer says of a channel cut short, the application's broadcast test shows.)
        EXPECT_TRUE(publisher->Stop()) << publisher->err;
    }
}

// gst-device-monitor-1.0 lists the camera, as a vistrelsrc with its pad's caps, while a broadcast
// is on: not before one, and not once it ended (its channel stays). One that follows the devices
// sees it come and go.
TEST_F(Hosts, DeviceMonitorListsTheCameraWhileABroadcastIsOn) {
    ASSERT_TOOL(GST_DEVICE_MONITOR, "gst-device-monitor-1.0");
    binding::LinkComponent("VistrelXXX");
    const auto following = Started({GST_DEVICE_MONITOR, "--follow", "Video/Source"});
    // True once the following monitor said it, within ten seconds.
    const auto followed = [&](const char* text) {
        return Eventually([&] { return following->OutSoFar().find(text) != std::string::npos; });
    };
    std::unique_ptr<Child> publisher;
    for (const char* phase : {"before", "during", "after"}) {
        SCOPED_TRACE(phase);
        const bool on = phase == std::string("during");
        if (on) {
            publisher = Publishing({"--seconds", "60"});
        } else if (publisher) {
            EXPECT_TRUE(publisher->Stop());
        }
        const ProcessResult listed =
            RunProcess({GST_DEVICE_MONITOR, "Video/Source"}, ClientEnvironment());
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        for (const char* text : {"name  : Vistrel", "class : Video/Source",
                                 "video/x-raw, format=ARGB, width=640, height=480, framerate=30/1",
                                 "gst-launch-1.0 vistrelsrc"})
            EXPECT_EQ(listed.out.find(text) != std::string::npos, on) << text << "\n" << listed.out;
        EXPECT_TRUE(!publisher || followed(on ? "Device found:" : "Device removed:"));
    }
    EXPECT_EQ(following->OutSoFar().find("Device removed:"), following->OutSoFar().rfind("Device"))
        << following->OutSoFar();
}

// vistrel-rtsp serves the broadcast at its one path, to its user only when it has one, and will
// not listen beyond loopback without one. ffmpeg is the client.
TEST_F(Hosts, RtspServesTheBroadcastAtItsPathToItsUser) {
    const std::string server = StagePath("bin/vistrel-rtsp");
    const std::string password = folder / "password";
    WriteFile(password, "secret\n");
    ProcessResult run = RunProcess({server, "--listen", "127.0.0.1"});
    EXPECT_EQ(run.exitCode, 64);
    EXPECT_NE(run.err.find("it needs --user NAME and --password-file FILE"), std::string::npos)
        << run.err;

    binding::LinkComponent("VistrelXXX");
    std::unique_ptr<Child> publisher;
    constexpr int kFrames = 30; // a second of them
    const struct {
        bool withUser;
        const char* credentials; // of the client, before the host in its URL
        const char* path;
        const char* refusal;              // in ffmpeg's words; frames when null
        const char* why = nullptr;        // the server's words, when no broadcast is on yet
        bool besideStalledClient = false; // another client stopped while the stream flows
    } cases[] = {
        {false, "", "/vistrel", "503 Service Unavailable", "stream failed: No Vistrel broadcast"},
        {false, "", "/vistrel", nullptr, nullptr, true},
        {false, "", "/other", "404 Not Found"},
        {true, "", "/vistrel", "401 Unauthorized"},
        {true, "viewer:wrong@", "/vistrel", "401 Unauthorized"},
        {true, "viewer:secret@", "/vistrel", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.credentials) + c.path + (c.withUser ? " with a user" : "") +
                     (c.besideStalledClient ? " beside a stalled client" : ""));
        if (!c.why && !publisher) publisher = Publishing({"--seconds", "120"});
        std::vector<std::string> argv = {server, "--port", "0"};
        if (c.withUser)
            argv.insert(argv.end(),
                        {"--listen", "127.0.0.1", "--user", "viewer", "--password-file", password});
        const auto serving = Started(argv, {"GST_PLUGIN_PATH="}); // its own plug-in, beside it
        int port = 0;
        for (int i = 0; i < 1000 && !port; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::sscanf(serving->OutSoFar().c_str(), "vistrel-rtsp: serving rtsp://127.0.0.1:%d",
                        &port);
        }
        ASSERT_NE(port, 0) << serving->ErrSoFar();
        std::unique_ptr<StalledRtspClient> stalled;
        if (c.besideStalledClient) {
            stalled = std::make_unique<StalledRtspClient>(port);
            ASSERT_NE(stalled->fd, -1) << "the server refused the stalled client";
        }
        const std::string frames = folder / "frames.gray";
        run = RunProcess(
            Words(FFMPEG, "-v error -y -timeout 10000000 -rtsp_transport tcp -i rtsp://"s +
                              c.credentials + "127.0.0.1:" + std::to_string(port) + c.path +
                              " -frames:v " + std::to_string(kFrames) +
                              " -f rawvideo -pix_fmt gray " + frames));
        stalled.reset();
        EXPECT_TRUE(serving->Stop()) << serving->err;
        if (c.refusal) {
            EXPECT_NE(run.exitCode, 0);
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
            EXPECT_TRUE(!c.why || serving->err.find(c.why) != std::string::npos) << serving->err;
            continue;
        }
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string gray = ReadFile(frames);
        ASSERT_EQ(gray.size(), size_t(kFrames) * 640 * 480);
        EXPECT_NE(gray.compare(0, 640 * 480, gray, gray.size() - 640 * 480, 640 * 480), 0)
            << "the moving pattern stood still";
    }
    EXPECT_TRUE(publisher->Stop());
}

} // namespace
