#pragma once

// A headless sway desktop (software rendering, no input devices) with XWayland, under
// dbus-run-session with a runtime folder of its own. sway refuses to run as root: it runs as nobody
// in a user namespace where the caller's user is nobody, so that what it starts (a key binding's
// command) still reaches the caller's files.
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class SwayDesktop {
public:
    // Asked to quit, sway ends its XWayland and its session bus with it; killing what was started
    // would leave them running.
    ~SwayDesktop() {
        if (!sway || socket.empty()) return;
        Sway({"exit"}); // which may end before its answer
        sway->Wait(10);
    }

    // Why no desktop can run here (no user namespace can be made); empty when one can.
    static std::string Unavailable() {
        std::vector<std::string> probe = AsNobody();
        probe.push_back(XServer::ProgramPath("true"));
        const ProcessResult as = RunProcess(probe);
        return as.exitCode == 0 ? "" : "no user namespace can be made here: " + as.err;
    }

    // False when XWayland's display has not come up within the time (Errors() says why).
    bool Start(double seconds = 10) {
        std::filesystem::create_directories(run);
        // X11 windows float where they ask to be.
        WriteFile(desktop / "config", "xwayland enable\ndefault_border none\n"
                                      "for_window [shell=xwayland] floating enable\n"
                                      "exec sh -c 'echo $DISPLAY >" +
                                          run + "/display'\n");
        sway = std::make_unique<Child>([this] {
            std::vector<std::string> argv = AsNobody();
            argv.insert(argv.end(),
                        {XServer::ProgramPath("env"), "-i", "PATH=/usr/bin:/bin", "HOME=" + run,
                         "XDG_RUNTIME_DIR=" + run, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                         "WLR_LIBINPUT_NO_DEVICES=1", XServer::ProgramPath("dbus-run-session"),
                         XServer::ProgramPath("sway"), "-c", desktop / "config"});
            return Exec(argv);
        });
        for (int tenths = 0; ReadFile(run + "/display").size() < 2; ++tenths) {
            if (tenths > seconds * 10) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        display = ReadFile(run + "/display");
        display.pop_back();
        for (const auto& entry : std::filesystem::directory_iterator(run))
            if (entry.path().filename().string().starts_with("sway-ipc.")) socket = entry.path();
        return true;
    }

    // The compositor's socket, for its clients: the caller keeps its own runtime folder.
    std::vector<std::string> Wayland() const { return {"WAYLAND_DISPLAY=" + run + "/wayland-1"}; }
    bool Sway(const std::vector<std::string>& command) const {
        std::vector<std::string> argv = {XServer::ProgramPath("swaymsg"), "-s", socket};
        argv.insert(argv.end(), command.begin(), command.end());
        return RunProcess(argv).exitCode == 0;
    }
    // XWayland's display.
    const std::string& Display() const { return display; }
    std::string Errors() const { return sway ? sway->ErrSoFar() : ""; }
    // The first of the desktop's processes (sway and XWayland are among its descendants).
    pid_t Pid() const { return sway ? sway->Pid() : -1; }
    // A folder of the caller's, kept with the desktop.
    const TempFolder& Folder() const { return desktop; }

private:
    static std::vector<std::string> AsNobody() {
        return {XServer::ProgramPath("unshare"), "--user", "--map-user=65534", "--map-group=65534"};
    }

    TempFolder desktop;
    const std::string run = desktop / "run";
    std::string display, socket;
    std::unique_ptr<Child> sway;
};

} // namespace testsupport
