#pragma once

// Private X servers for tests, and the few client requests tests need to set up a screen.
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

class Child;

struct ScreenSize {
    int width, height;
};

// A server of its own for a test: started on construction, on a display number it picks
// itself; killed and reaped on destruction. It never resets, so short-lived helper connections
// do not wipe what a test set up.
class XServer {
public:
    // Xvfb with one screen, listening on local sockets only unless the extra arguments say
    // otherwise ("-listen", "tcp").
    static std::unique_ptr<XServer> Xvfb(ScreenSize screen, int depth = 24,
                                         const std::vector<std::string>& extra = {});
    // Any server program (argv[0] its path), shown on the display of another when one is given.
    static std::unique_ptr<XServer> Start(std::vector<std::string> argv,
                                          const std::string& hostDisplay = "");
    // The program's path on $PATH, or empty.
    static std::string ProgramPath(const std::string& program);
    static bool Installed(const std::string& program) { return !ProgramPath(program).empty(); }

    // Starts a window manager on this server (an EWMH one such as openbox, where stacking, focus
    // and levels matter) and waits until it manages the screen. It ends before the server does.
    bool StartWindowManager(const std::string& program = "openbox");

    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return !mDisplay.empty(); }
    // ":N", or empty when it did not start (its log then says why, a missing program too).
    const std::string& Display() const { return mDisplay; }
    // What the server has written to its standard error so far.
    std::string Log() const;
    // The server's process, for what it costs.
    pid_t Pid() const;

private:
    XServer() = default;
    std::unique_ptr<Child> mServer, mWindowManager;
    std::string mDisplay;
};

// Distinct-looking 0x00RRGGBB pixels, row by row, that differ with the seed.
std::vector<uint32_t> TestPattern(int width, int height, uint32_t seed);

// Puts 0x00RRGGBB pixels (rows of width) on the root window of a 24/32-bit TrueColor screen at
// (x, y), in bands that respect the server's request limit, and waits until the server has them.
bool PutRootPixels(const std::string& display, int x, int y, int width, int height,
                   const std::vector<uint32_t>& pixels);

// Defines a RandR 1.5 monitor of the screen (servers of this age refuse a name already in
// use). claimOutputs gives it every output of the screen, replacing the monitors the server
// made for them.
bool SetMonitor(const std::string& display, const std::string& name, int x, int y, int width,
                int height, bool primary, bool claimOutputs);

} // namespace testsupport
