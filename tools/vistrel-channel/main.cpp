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
#include <string>
#include <vector>

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

// An option's value: a number within its bounds, checked before anything is done.
struct NumberOption {
    const char* name;
    double least, most;
    double* value;
};

constexpr double kDay = 86400;

// Reads "--name value" at argv[i] when it is one of the options; false with exit code 64 set
// when the name is known but the value is not a number within its bounds.
bool ParseNumberOption(int argc, char** argv, int& i, const std::vector<NumberOption>& options,
                       int& result) {
    for (const NumberOption& option : options) {
        if (argv[i] != std::string(option.name)) continue;
        char* end = nullptr;
        const char* text = i + 1 < argc ? argv[i + 1] : "";
        const double value = std::strtod(text, &end);
        if (end == text || *end != '\0' || !(value >= option.least && value <= option.most)) {
            std::fprintf(stderr, "vistrel-channel: %s takes a number from %g to %g, not '%s'\n",
                         option.name, option.least, option.most, text);
            result = 64;
            return false;
        }
        *option.value = value;
        ++i;
        return true;
    }
    return false;
}

// An option the tool does not know: one line, the command-line convention's status; any other
// word is a bad command line.
int UnknownOption(const char* option) {
    if (option[0] != '-') {
        std::fprintf(stderr, "vistrel-channel: unexpected argument %s (see --help)\n", option);
        return 64;
    }
    std::fprintf(stderr, "vistrel-channel: unknown option %s (see --help)\n", option);
    return 2;
}

// SIGINT and SIGTERM end every wait of the tool within a few milliseconds.
void StopOnSignals() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int Publish(int argc, char** argv) {
    PublishOptions options;
    double frames = 0;
    const std::vector<NumberOption> numbers = {
        {"--fps", 1, 240, &options.framesPerSecond},
        {"--seconds", 0, kDay, &options.seconds},
        {"--frames", 0, 1e9, &frames},
    };
    for (int i = 0, result = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--deny-connections")
            options.allowConnections = false;
        else if (arg == "--no-install")
            options.install = false;
        else if (!ParseNumberOption(argc, argv, i, numbers, result))
            return result ? result : UnknownOption(argv[i]);
    }
    options.frames = uint64_t(frames);
    StopOnSignals();
    return PublishTestPattern(options, sStop);
}

int Read(int argc, char** argv) {
    ReadOptions options;
    const std::vector<NumberOption> numbers = {
        {"--wait", 0, kDay, &options.waitSeconds},
        {"--hold", 0, kDay, &options.holdSeconds},
    };
    for (int i = 0, result = 0; i < argc; ++i) {
        if (argv[i] == std::string("--png")) {
            if (i + 1 == argc) {
                std::fprintf(stderr, "vistrel-channel: --png takes a file name\n");
                return 64;
            }
            options.pngPath = argv[++i];
        } else if (!ParseNumberOption(argc, argv, i, numbers, result)) {
            return result ? result : UnknownOption(argv[i]);
        }
    }
    StopOnSignals();
    return ReadCurrentFrame(options, sStop);
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
    if (first.starts_with("-")) return UnknownOption(argv[1]);
    if (std::strcmp(argv[1], "publish") == 0) return Publish(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "read") == 0) return Read(argc - 2, argv + 2);
    return Usage();
}
