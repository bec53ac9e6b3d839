#include "tools/vistrel-rtsp/RtspOptions.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

constexpr const char* kUsage =
    "usage: vistrel-rtsp [--port N] [--listen ADDR --user NAME --password-file FILE]\n"
    "       vistrel-rtsp --help | --version\n";

ParsedRtspOptions Fail(int status, const std::string& why) {
    std::fprintf(stderr, "vistrel-rtsp: %s\n", why.c_str());
    return {std::nullopt, status};
}

// The first line of the file, without its line end.
std::optional<std::string> ReadPassword(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    if (!in) return std::nullopt;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

} // namespace

ParsedRtspOptions ParseRtspOptions(int argc, char** argv) {
    RtspOptions options;
    std::string passwordFile;
    bool passwordGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs("\nServes the Vistrel broadcast as rtsp://ADDR:PORT/vistrel (H.264, or VP8 "
                       "where no H.264\nencoder is installed), on 127.0.0.1:8554 unless told "
                       "otherwise. Another address needs\na user and password (RTSP digest "
                       "authentication); --port 0 takes any free port.\n",
                       stdout);
            return {std::nullopt, 0};
        }
        if (arg == "--version") {
            std::printf("vistrel-rtsp %s\n", VISTREL_VERSION);
            return {std::nullopt, 0};
        }
        const bool takesValue =
            arg == "--listen" || arg == "--port" || arg == "--user" || arg == "--password-file";
        if (!takesValue)
            return Fail(arg.starts_with("-") ? 2 : 64,
                        (arg.starts_with("-") ? "unknown option " : "unexpected argument ") + arg +
                            " (see --help)");
        if (i + 1 == argc || !*argv[i + 1]) return Fail(64, arg + " takes a value");
        const std::string value = argv[++i];
        if (arg == "--listen") {
            options.address = value;
            options.listenGiven = true;
        } else if (arg == "--user") {
            options.user = value;
        } else if (arg == "--password-file") {
            passwordFile = value;
            passwordGiven = true;
        } else {
            char* end = nullptr;
            const unsigned long port = std::strtoul(value.c_str(), &end, 10);
            if (*end || value[0] == '-' || port > 65535)
                return Fail(64, "--port takes a number from 0 to 65535, not '" + value + "'");
            options.port = unsigned(port);
        }
    }
    if (options.user.empty() != !passwordGiven)
        return Fail(64, "--user and --password-file go together");
    if (options.listenGiven && options.user.empty())
        return Fail(64, "--listen " + options.address +
                            " serves the camera beyond this machine: it needs --user NAME and "
                            "--password-file FILE");
    if (passwordGiven) {
        const std::optional<std::string> password = ReadPassword(passwordFile);
        if (!password) return Fail(66, "cannot read the password file " + passwordFile);
        if (password->empty()) return Fail(64, "the password file " + passwordFile + " is empty");
        options.password = *password;
    }
    return {options, 0};
}
