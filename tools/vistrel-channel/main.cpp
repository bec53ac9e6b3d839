// vistrel-channel: publishes a moving test pattern on the shared camera channel, or reads the
// current frame from it, through the same client binding the application and the plug-in use.
#include "channel/SharedCameraBundle.h"
#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"
#include "tools/vistrel-channel/ChannelPublisher.h"
#include "tools/vistrel-channel/ChannelReader.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

CORE_DEFINE_LOG_IDENTITY("vistrel-channel", "vistrel-channel.log");

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::ApplicationComponent());

namespace {

std::atomic<bool> sStop{false};

void RequestStop(int) {
    sStop = true;
}

int Usage() {
    std::fprintf(stderr, "usage: vistrel-channel publish [--fps N] [--seconds S] [--frames N]\n"
                         "                               [--deny-connections] [--no-install]\n"
                         "       vistrel-channel read [--png FILE] [--wait S] [--hold S]\n");
    return 64;
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
            std::fprintf(stderr, "vistrel-channel: unknown or incomplete option %s\n", arg.c_str());
            return Usage();
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
            std::fprintf(stderr, "vistrel-channel: unknown or incomplete option %s\n", arg.c_str());
            return Usage();
        }
    }
    return ReadCurrentFrame(options);
}

} // namespace

int main(int argc, char** argv) {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "publish") == 0) return Publish(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "read") == 0) return Read(argc - 2, argv + 2);
    return Usage();
}
