// vistrel-channel: publishes a moving test pattern on the shared camera channel, or reads the
// current frame from it, through the same client binding the application and the plug-in use.
#include "app/shell/Product.h"
#include "channel/SharedCameraBundle.h"
#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"
#include "tools/vistrel-channel/ChannelPublisher.h"
#include "tools/vistrel-channel/ChannelReader.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

CORE_DEFINE_LOG_IDENTITY("vistrel-channel", "vistrel-channel.log");

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::ApplicationComponent());

namespace {

std::atomic<bool> sStop{false};

void RequestStop(int) {
    sStop = true;
}

constexpr const char* kUsage =
    "usage: vistrel-channel publish [--fps N] [--seconds S] [--frames N]\n"
    "                               [--deny-connections] [--no-install]\n"
    "       vistrel-channel read [--png FILE] [--wait S] [--hold S]\n"
    "       vistrel-channel --help | --version\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 64;
}

// An option the tool does not know: one line, the command-line convention's status.
int Unknown(const char* option) {
    std::fprintf(stderr, "vistrel-channel: unknown option %s (see --help)\n", option);
    return 2;
}

// An argument the command cannot use: an option it does not have, or one of its options with a
// missing or bad value.
int Refuse(const std::string& arg, std::initializer_list<const char*> valued) {
    if (arg.starts_with("-") && std::find(valued.begin(), valued.end(), arg) == valued.end())
        return Unknown(arg.c_str());
    std::fprintf(stderr, "vistrel-channel: unknown or incomplete option %s\n", arg.c_str());
    return Usage();
}

bool ParseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= 0;
}

int Publish(int argc, char** argv) {
    PublishOptions options;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        double value = 0;
        if (arg == "--deny-connections")
            options.allowConnections = false;
        else if (arg == "--no-install")
            options.install = false;
        else if (i + 1 < argc && ParseNumber(argv[i + 1], value) &&
                 (arg == "--fps" || arg == "--seconds" || arg == "--frames")) {
            ++i;
            if (arg == "--fps")
                options.framesPerSecond = value;
            else if (arg == "--seconds")
                options.seconds = value;
            else
                options.frames = uint64_t(value);
        } else {
            return Refuse(arg, {"--fps", "--seconds", "--frames"});
        }
    }
    if (options.framesPerSecond <= 0 || options.framesPerSecond > 1000) {
        std::fprintf(stderr, "vistrel-channel: --fps must be above 0 and at most 1000\n");
        return 64;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    return PublishTestPattern(options, sStop);
}

int Read(int argc, char** argv) {
    ReadOptions options;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        double value = 0;
        if (arg == "--png" && i + 1 < argc)
            options.pngPath = argv[++i];
        else if ((arg == "--wait" || arg == "--hold") && i + 1 < argc &&
                 ParseNumber(argv[i + 1], value)) {
            ++i;
            (arg == "--wait" ? options.waitSeconds : options.holdSeconds) = value;
        } else {
            return Refuse(arg, {"--png", "--wait", "--hold"});
        }
    }
    return ReadCurrentFrame(options);
}

} // namespace

int main(int argc, char** argv) {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    if (argc < 2) return Usage();
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        std::fputs(kUsage, stdout);
        std::fputs("\npublish writes a moving test pattern on the camera channel; read prints the "
                   "current frame's tag, counter and checksum.\n",
                   stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("vistrel-channel %s\n", kProductVersion);
        return 0;
    }
    if (first.starts_with("-")) return Unknown(argv[1]);
    if (std::strcmp(argv[1], "publish") == 0) return Publish(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "read") == 0) return Read(argc - 2, argv + 2);
    return Usage();
}
