// vistrel-pipewire: the broadcast as a PipeWire camera. It reads the channel through the Vistrel
// camera component, as every host does, and offers what it reads as the node "vistrel-camera".
// It keeps going through what a broadcast and a desktop session go through: no broadcast yet,
// camera connections switched off, no PipeWire daemon, a daemon restarted. Each is said once,
// and the node is offered again as soon as it can be.
#include "hosts/camera/VistrelCamera.h"
#include "hosts/pipewire/CameraNode.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

using vistrel_pipewire::CameraNode;

namespace {

std::atomic<bool> sStop{false};
pid_t sParent = 0;
// Readable once the parent has ended, a zombie included; -1 where the kernel has no process
// descriptors, and the parent is then looked for by its id.
int sParentEnd = -1;
// A byte in it once a stop is asked, so that a rest ends at once instead of polling the flag.
int sStopNote[2] = {-1, -1};
// The broadcast's rate: 30 frames a second divided by this.
int sFactor = 1;
constexpr int kMostFactor = VistrelCamera::kFramesPerSecond;

constexpr auto kRetryInterval = std::chrono::seconds(1);
constexpr auto kConsumerWait = std::chrono::milliseconds(100);

constexpr const char* kUsage = "usage: vistrel-pipewire [--parent-pid PID] [--factor N]\n"
                               "       vistrel-pipewire --help | --version\n";

void RequestStop(int) {
    sStop = true;
    const char note = 0;
    if (sStopNote[1] >= 0) (void)!::write(sStopNote[1], &note, 1);
}

bool Stopping() {
    if (sStop) return true;
    // The application that started it is gone: so is its broadcast.
    pollfd end{sParentEnd, POLLIN, 0};
    if (sParentEnd >= 0 ? ::poll(&end, 1, 0) > 0
                        : sParent && ::kill(sParent, 0) != 0 && errno == ESRCH)
        sStop = true;
    return sStop;
}

// Sleeps through the retry interval, woken by a stop or the parent's end: a loop of short sleeps
// cost the idle companion of every broadcast without a daemon a wake-up each 10 ms.
void Rest() {
    using namespace std::chrono;
    const auto until = steady_clock::now() + kRetryInterval;
    pollfd events[2] = {{sStopNote[0], POLLIN, 0}, {sParentEnd, POLLIN, 0}};
    while (!Stopping()) {
        const auto left = duration_cast<milliseconds>(until - steady_clock::now()).count() + 1;
        if (left <= 1) return;
        // Without a descriptor for it, the parent is looked for ten times a second.
        const bool parentWatched = sParentEnd >= 0 || !sParent;
        ::poll(events, sParentEnd >= 0 ? 2 : 1, int(parentWatched ? left : std::min(left, 100L)));
    }
}

// A situation is told once, until another one comes.
class Notes {
public:
    void Say(const std::string& line) {
        if (line == mLast) return;
        std::fprintf(stderr, "vistrel-pipewire: %s\n", line.c_str());
        mLast = line;
    }
    void Clear() { mLast.clear(); }

private:
    std::string mLast;
};

// Failures a later broadcast or a click in Vistrel can end are waited out.
bool Lasting(VistrelCamera::Failure failure) {
    return failure == VistrelCamera::Failure::kNotLoadable ||
           failure == VistrelCamera::Failure::kProgramRefused;
}

int Run() {
    pw_thread_loop* loop = pw_thread_loop_new("vistrel-pipewire", nullptr);
    if (!loop || pw_thread_loop_start(loop) < 0) {
        std::fprintf(stderr, "vistrel-pipewire: cannot start a PipeWire loop\n");
        return 1;
    }
    int status = 0;
    {
        CameraNode node(loop, sFactor);
        Notes notes;
        // Straight from the channel into a buffer of the node. The reader looks for a frame 30
        // times a second: between two frames of a slower broadcast it finds none, so the last
        // frame is sent again only after as many looks without one as the broadcast's factor.
        int looksWithoutFrame = 0;
        const VistrelCamera::Take take = [&](const uint8_t* frame) {
            node.Offer(frame);
            looksWithoutFrame = 0;
        };
        VistrelCamera* camera = nullptr;
        bool connected = false;
        const auto cancelled = [&] { return Stopping() || node.Lost(); };
        while (!Stopping()) {
            if (!camera) {
                VistrelCamera::OpenResult opened = VistrelCamera::Open();
                if (!opened.camera) {
                    notes.Say(opened.message + " (" + opened.detail + ")");
                    if (Lasting(opened.failure)) {
                        status = 1;
                        break;
                    }
                    node.Disconnect();
                    connected = false;
                    Rest();
                    continue;
                }
                camera = opened.camera;
            }
            if (!connected) {
                std::string why;
                connected = node.Connect(why);
                if (!connected) {
                    node.Disconnect();
                    notes.Say("no PipeWire daemon to offer the camera to (" + why +
                              "): trying again every second");
                    Rest();
                    continue;
                }
                notes.Clear();
            }
            if (node.Lost()) {
                node.Disconnect();
                connected = false;
                continue;
            }
            // Nobody watching: the channel is not read.
            if (!node.WaitForConsumer(kConsumerWait)) continue;
            VistrelCamera::Clock::duration late{};
            std::string detail;
            switch (camera->NextFrame(cancelled, take, late, detail)) {
            case VistrelCamera::Next::kRepeat:
                if (++looksWithoutFrame < sFactor) break;
                node.Repeat();
                looksWithoutFrame = 0;
                break;
            case VistrelCamera::Next::kFrame:
            case VistrelCamera::Next::kCancelled:
                break;
            case VistrelCamera::Next::kFailed:
                notes.Say("the camera stopped: " + detail);
                camera->Stop();
                camera = nullptr;
                break;
            }
        }
        if (camera) camera->Stop();
    }
    pw_thread_loop_stop(loop);
    pw_thread_loop_destroy(loop);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("vistrel-pipewire " VISTREL_VERSION);
            return 0;
        }
        if (arg == "--parent-pid" && i + 1 < argc) {
            char* end = nullptr;
            const long pid = std::strtol(argv[++i], &end, 10);
            if (*end == '\0' && pid > 1 && pid == pid_t(pid)) {
                sParent = pid_t(pid);
                continue;
            }
            std::fprintf(stderr, "vistrel-pipewire: --parent-pid takes a process id, not '%s'\n",
                         argv[i]);
            return 64;
        }
        if (arg == "--factor" && i + 1 < argc) {
            char* end = nullptr;
            const long factor = std::strtol(argv[++i], &end, 10);
            if (*end == '\0' && factor >= 1 && factor <= kMostFactor) {
                sFactor = int(factor);
                continue;
            }
            std::fprintf(stderr,
                         "vistrel-pipewire: --factor takes a whole number from 1 to %d, not '%s'\n",
                         kMostFactor, argv[i]);
            return 64;
        }
        std::fprintf(stderr, "vistrel-pipewire: unknown option %s (see --help)\n", argv[i]);
        return 2;
    }
    if (::pipe2(sStopNote, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "vistrel-pipewire: %s\n", std::strerror(errno));
        return 1;
    }
    if (sParent) sParentEnd = int(::syscall(SYS_pidfd_open, sParent, 0));
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Its own parent's end is told by a signal; another process's is seen through its descriptor.
    if (sParent && sParent == ::getppid()) ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (Stopping()) return 0;
    pw_init(&argc, &argv);
    const int status = Run();
    pw_deinit();
    return status;
}
