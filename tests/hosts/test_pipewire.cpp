// vistrel-pipewire in a PipeWire session of the test's own (its runtime folder, session bus,
// pipewire and wireplumber): pw-dump shows the camera node, and pipewiresrc in gst-launch-1.0
// receives what vistrel-channel publishes; a headless browser picks the camera through the desktop
// portal.
#include "tests/support/Broadcast.h"
#include "tests/support/PipeWireSession.h"
#include "tests/support/XServer.h"

#include <algorithm>
#include <csignal>
#include <functional>
#include <set>

using namespace testsupport;

namespace {

class PipeWire : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : PipeWireSession::kTools)
            ASSERT_EQ(::access(tool, X_OK), 0) << tool << ": scripts/install-deps.sh installs it";
        binding::RemoveChannel();
        binding::LinkComponent("VistrelXXX");
        session = std::make_unique<PipeWireSession>();
    }

    // A broadcast, and the node once it shows.
    void Broadcast() {
        publisher = broadcast::Publishing({"--seconds", "60"});
        camera = Start({VISTREL_PIPEWIRE});
        ASSERT_TRUE(PipeWireSession::NodeShows(10)) << camera->ErrSoFar();
    }

    // gst-launch-1.0 taking frames from the node in a format, converted to A, R, G, B bytes.
    std::unique_ptr<Child> Consumer(const std::string& format, int frames,
                                    const std::string& file) {
        return Start({GST_LAUNCH, "-q", "pipewiresrc", "target-object=vistrel-camera",
                      "num-buffers=" + std::to_string(frames), "!", "video/x-raw,format=" + format,
                      "!", "videoconvert", "!", "video/x-raw,format=ARGB", "!", "filesink",
                      "location=" + folder / file});
    }

    void WaitForFrames(const std::string& file) {
        Eventually([&] { return ReadFile(folder / file).size() >= 3 * kFrameBytes; });
    }

    static constexpr size_t kFrameBytes = SharedCamera::kFrameSizeBytes;
    TempFolder folder;
    ScopedEnv registry{"GST_REGISTRY", (folder / "registry.bin").c_str()};
    std::unique_ptr<PipeWireSession> session;
    std::unique_ptr<Child> publisher, camera;
};

// One consumer stopped for two seconds holds back neither another consumer nor the broadcast;
// while two readers then hold both frame buffers for two seconds, the writer stands still and the
// node sends its last frame again at the broadcast's rate.
TEST_F(PipeWire, NoConsumerHoldsBackTheOtherAndAStalledWriterIsCoveredByRepeats) {
    Broadcast();
    auto paused = Consumer("ARGB", 30, "paused");
    WaitForFrames("paused");
    paused->Kill(SIGSTOP);
    auto other = Consumer("ARGB", 150, "other");
    WaitForFrames("other");
    const std::vector<std::string> hold = {StagePath("bin/vistrel-channel"), "read", "--hold", "2"};
    std::this_thread::sleep_for(std::chrono::seconds(1));
    auto first = Start(hold);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto second = Start(hold);
    ASSERT_TRUE(first->Wait(10) && second->Wait(10) && other->Wait(20)) << "froze";
    paused->Kill(SIGCONT);
    ASSERT_TRUE(paused->Wait(20)) << "froze after it went on";
    const std::vector<uint32_t> counters =
        broadcast::Counters(ReadFile(folder / "other"), kFrameBytes);
    std::set<uint32_t> distinct(counters.begin(), counters.end());
    long most = 0; // copies of one frame
    for (const uint32_t counter : counters)
        most = std::max(most, long(std::count(counters.begin(), counters.end(), counter)));
    EXPECT_GE(distinct.size(), 50u) << "the broadcast was held back";
    EXPECT_GE(most, 40) << "two seconds without frames";
}

// What the node needs comes and goes: each absence is said once, and the node comes back when it
// ends (a PipeWire daemon restarted among them). Every format it offers then carries the published
// (opaque) frames: the RGB ones exactly, the subsampled ones within rounding over the picture (an
// edge may be off by much), at the rate of the broadcast, here one of factor 2. The end of the
// process named as its parent ends the program, before anyone has reaped it.
TEST_F(PipeWire, TheNodeComesBackAfterEachAbsenceSaidOnceWithTheFramesInEachFormat) {
    publisher = broadcast::Publishing({"--seconds", "60", "--deny-connections"});
    auto parent = Start({"/bin/sleep", "60"});
    camera =
        Start({VISTREL_PIPEWIRE, "--factor", "2", "--parent-pid", std::to_string(parent->Pid())});
    const struct {
        std::function<void()> start, end;
        const char* said;
    } absences[] = {
        {[] {}, [&] { publisher.reset(), publisher = broadcast::Publishing({}); },
         "vistrel-pipewire: Camera connections are switched off in Vistrel"},
        {[&] { session->StopDaemons(); }, [&] { session->StartDaemons(); },
         "vistrel-pipewire: no PipeWire daemon to offer the camera to"},
    };
    for (const auto& absence : absences) {
        SCOPED_TRACE(absence.said);
        const size_t before = camera->ErrSoFar().size();
        absence.start();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const std::string said = camera->ErrSoFar().substr(before);
        EXPECT_NE(said.find(absence.said), std::string::npos) << said;
        EXPECT_EQ(said.find(absence.said), said.rfind(absence.said)) << "said more than once";
        EXPECT_TRUE(PipeWireSession::NodeProperties().empty());
        absence.end();
        ASSERT_TRUE(PipeWireSession::NodeShows(10)) << camera->ErrSoFar();
        const std::string dump = RunProcess({PW_DUMP}).out;
        EXPECT_NE(dump.find("\"framerate\": { \"num\": 30, \"denom\": 2 }"), std::string::npos)
            << dump;
        const std::string node = PipeWireSession::NodeProperties();
        for (const char* property :
             {"\"media.class\": \"Video/Source\"", "\"media.role\": \"Camera\"",
              "\"node.description\": \"Vistrel\""})
            EXPECT_NE(node.find(property), std::string::npos) << property << "\n" << node;
        for (const auto& [format, meanOff] :
             {std::pair{"ARGB", 0}, {"BGRA", 0}, {"I420", 4}, {"YUY2", 4}}) {
            SCOPED_TRACE(format);
            auto consumer = Consumer(format, 3, format);
            ASSERT_TRUE(consumer->Wait(20) && consumer->exitCode == 0) << consumer->err;
            const std::string frames = ReadFile(folder / format);
            ASSERT_EQ(frames.size(), 3 * kFrameBytes);
            for (size_t f = 0; f < 3; ++f) {
                const auto* frame =
                    reinterpret_cast<const uint8_t*>(frames.data()) + f * kFrameBytes;
                const std::vector<uint8_t> expected = broadcast::Pattern(broadcast::Counter(frame));
                long off = 0; // the bytes' differences summed
                for (size_t i = 0; i < kFrameBytes; ++i)
                    off += std::abs(frame[i] - expected[i]);
                EXPECT_LE(meanOff ? off / long(kFrameBytes) : off, meanOff) << "frame " << f;
            }
        }
    }
    parent->Kill(SIGKILL); // left unreaped: a zombie has ended too
    ASSERT_TRUE(camera->Wait(2)) << "outlived its parent";
    EXPECT_EQ(camera->exitCode, 0) << camera->err;
}

// The page a browser opens: it asks for the camera and, once a frame of it shows, writes what it
// lists, the chosen camera's name and the frame's size to its console.
constexpr const char* kCameraPage = R"(<script>
(async () => {
  try {
    // The browser lists the portal's cameras a while after it starts.
    let stream;
    for (let tries = 1; !stream; ++tries) {
      stream = await navigator.mediaDevices.getUserMedia({video: {width: 640, height: 480}})
        .catch(e => { if (e.name != 'NotFoundError' || tries == 60) throw e; });
      if (!stream) await new Promise(later => setTimeout(later, 500));
    }
    const video = Object.assign(document.createElement('video'), {srcObject: stream, muted: true});
    await video.play();
    await new Promise(shown => video.requestVideoFrameCallback(shown));
    const devices = await navigator.mediaDevices.enumerateDevices();
    console.log('CAMERAS ' + JSON.stringify(devices.filter(d => d.kind == 'videoinput')
        .map(d => d.label)) + ' CHOSEN ' + stream.getVideoTracks()[0].label + ' SHOWN ' +
        video.videoWidth + 'x' + video.videoHeight);
  } catch (e) { console.log('FAILED ' + e.name + ' ' + e.message); }
  console.log('END');
})();
</script>)";

// A browser finds the camera by its name through the desktop portal (the user's answer already in
// the portal's permission store, its backend on an X server of the test's own) and shows its
// frames (I420, which it takes, carries the pattern: the formats check).
TEST_F(PipeWire, ABrowserListsTheCameraAndShowsItsFrames) {
    for (const char* tool : {CHROMIUM, GDBUS, DESKTOP_PORTAL})
        ASSERT_EQ(::access(tool, X_OK), 0) << tool << ": scripts/install-deps.sh installs it";
    const auto server = XServer::Xvfb({640, 480});
    ASSERT_TRUE(server->Running()) << server->Log();
    // The portal's backend is started by the session bus, which must know the screen.
    const ScopedEnv display("DISPLAY", server->Display().c_str()),
        desktop("XDG_CURRENT_DESKTOP", "GNOME");
    // A method call: destination, object, method, arguments.
    const auto gdbus = [](const std::vector<std::string>& call) {
        std::vector<std::string> argv = {GDBUS,           "call",  "--session", "--dest", call[0],
                                         "--object-path", call[1], "--method",  call[2]};
        argv.insert(argv.end(), call.begin() + 3, call.end());
        return RunProcess(argv);
    };
    for (const std::vector<std::string>& call :
         {std::vector<std::string>{"org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus.UpdateActivationEnvironment",
                                   "{'DISPLAY': '" + server->Display() +
                                       "', 'XDG_CURRENT_DESKTOP': 'GNOME'}"},
          {"org.freedesktop.impl.portal.PermissionStore",
           "/org/freedesktop/impl/portal/PermissionStore",
           "org.freedesktop.impl.portal.PermissionStore.SetPermission", "devices", "true", "camera",
           "", "['yes']"}}) {
        const ProcessResult run = gdbus(call);
        ASSERT_EQ(run.exitCode, 0) << call[2] << ": " << run.err;
    }
    Broadcast();
    auto portal = Start({DESKTOP_PORTAL});
    const ProcessResult portalUp = RunProcess(
        {GDBUS, "wait", "--session", "--timeout", "30", "org.freedesktop.portal.Desktop"});
    ASSERT_EQ(portalUp.exitCode, 0) << portal->ErrSoFar();
    // The portal hands out only the cameras it has seen by then.
    std::string present;
    for (int i = 0; i < 300 && present.find("true") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        present = gdbus({"org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                         "org.freedesktop.DBus.Properties.Get", "org.freedesktop.portal.Camera",
                         "IsCameraPresent"})
                      .out;
    }
    ASSERT_NE(present.find("true"), std::string::npos) << present << portal->ErrSoFar();
    WriteFile(folder / "camera.html", kCameraPage);
    auto browser = Start(
        {CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu",
         "--user-data-dir=" + folder / "profile", "--enable-features=WebRtcPipeWireCamera",
         "--use-fake-ui-for-media-stream", "--enable-logging=stderr",
         // What the portal answered and which cameras PipeWire showed, for a failure.
         "--vmodule=*camera_portal*=1,*pipewire_session*=1", "file://" + folder / "camera.html"});
    Eventually([&] { return browser->ErrSoFar().find("\"END\"") != std::string::npos; }, 60);
    browser->Stop();
    const std::string log = browser->ErrSoFar();
    const std::string said = R"("CAMERAS ["Vistrel"] CHOSEN Vistrel SHOWN 640x480", source:)";
    EXPECT_NE(log.find(said), std::string::npos) << log;
}

} // namespace
