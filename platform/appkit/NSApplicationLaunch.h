#pragma once

// How a program of the desktop starts: its command line (--help, --version, its own options),
// the X11 session it needs, and one running copy per user and X display. A later launch hands
// its requests to the running copy over a local socket and ends with that copy's answer.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::appkit {

struct NSCommandLineOption {
    const char* name;        // without the dashes, as "grab-save"
    const char* valueName;   // null for a switch
    const char* description; // one line for --help
};

// One request of a launch: an option of the command line with its value, or "show" for a launch
// without one.
struct NSLaunchRequest {
    std::string name;
    std::string value;
};

struct NSApplicationLaunch {
    const char* program;
    const char* version;
    const char* description;
    std::vector<NSCommandLineOption> options;
    // Checks a value before anything starts: empty when good, else the one-line reason.
    std::function<std::string(const NSLaunchRequest&)> check;
    // Carries out a request in the running copy, on its main thread: empty when done, else why
    // not, in one line.
    std::function<std::string(const NSLaunchRequest&)> perform;
};

// The program's requests, or the exit status when the command line says to stop here: 0 after
// --help or --version (on standard output), 2 after a bad option (one line on standard error).
struct NSParsedCommandLine {
    std::optional<int> exitStatus;
    std::vector<NSLaunchRequest> requests;
};
NSParsedCommandLine NSParseCommandLine(int argc, char** argv, const NSApplicationLaunch& launch);

// Asks the toolkit for the X11 platform unless QT_QPA_PLATFORM is set; empty when the session can
// run the program, else the one-line reason it cannot (no X display, another platform forced).
std::string NSCheckX11Session();

// The one running copy. Claim() makes this process the running copy when none runs (true), or
// hands the requests to the one that does, starting a copy first when there is none and the
// requests are more than a plain launch (false, with the status to exit with).
class NSLaunchChannel {
public:
    explicit NSLaunchChannel(const std::string& identifier);
    ~NSLaunchChannel();
    NSLaunchChannel(const NSLaunchChannel&) = delete;
    NSLaunchChannel& operator=(const NSLaunchChannel&) = delete;
    bool Claim(const std::vector<NSLaunchRequest>& requests, int& exitStatus);
    // The running copy takes requests from later launches from the event loop on.
    void Listen(const std::function<std::string(const NSLaunchRequest&)>& perform);

private:
    struct Parts;
    std::unique_ptr<Parts> mParts;
};

} // namespace platform::appkit
