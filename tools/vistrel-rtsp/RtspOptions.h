#pragma once

// vistrel-rtsp's command line, checked before anything is started.
#include <optional>
#include <string>

struct RtspOptions {
    std::string address = "127.0.0.1";
    bool listenGiven = false;
    unsigned port = 8554;
    std::string user;
    std::string password;
};

// The options, or the status to end with at once (0 after --help or --version), having said why.
struct ParsedRtspOptions {
    std::optional<RtspOptions> options;
    int status = 0;
};

ParsedRtspOptions ParseRtspOptions(int argc, char** argv);
