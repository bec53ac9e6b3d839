#include "tools/vistrel-channel/ChannelPublisher.h"

#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraFormat.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

bool PublishFrame(SharedCameraBundle& camera, int n, uint32_t counter) {
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    if (!camera.GetWriteableFrameBuffer_N(n, &record)) return false;
    if (!camera.LockFrameBuffer(record.frameBufferPtr)) return false;
    TestPattern::Draw(static_cast<uint8_t*>(record.frameBufferPtr), record.frameWidth,
                      record.frameHeight, record.frameBufferRowBytes, counter);
    camera.UnLockFrameBuffer(record.frameBufferPtr);
    return camera.SetCurrentReadBuffer(record.frameBufferPtr);
}

} // namespace

int PublishTestPattern(const PublishOptions& options, const std::atomic<bool>& stop) {
    SharedCameraBundle& camera = SharedCameraBundle::sComponent;
    // A link that was there before (a running broadcast's) is not ours to remove afterwards.
    const bool installed = options.install && !camera.AlreadyInstalledSomewhere() &&
                           camera.InstallLocation(true, CFBaseDLL::kUserQuickTime);
    tagSHARED_CAMERA_CONTROL control{sizeof control, int16_t(options.allowConnections ? 1 : 0), 0};
    if (!camera.SetCameraControl(&control)) {
        std::fprintf(stderr,
                     "vistrel-channel: cannot reach the camera component %s in the component "
                     "folders (user, system, local)\n",
                     camera.FileName().c_str());
        if (installed) camera.InstallLocation(false, CFBaseDLL::kUserQuickTime);
        return 2;
    }

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(1.0 / options.framesPerSecond);
    const auto start = Clock::now();
    uint64_t published = 0;
    int n = 0;
    int result = 0;
    while (!stop.load()) {
        if (options.frames && published >= options.frames) break;
        if (options.seconds > 0 &&
            Clock::now() - start >= std::chrono::duration<double>(options.seconds))
            break;
        if (!PublishFrame(camera, n, uint32_t(published))) {
            std::fprintf(stderr, "vistrel-channel: frame %llu could not be published\n",
                         (unsigned long long)published);
            result = 1;
            break;
        }
        ++published;
        n ^= 1;
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<Clock::duration>(period * double(published)));
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("published %llu frames of 640x480 ARGB in %.2f s (%s, connections %s)\n",
                (unsigned long long)published, elapsed, camera.FileName().c_str(),
                options.allowConnections ? "allowed" : "refused");
    if (installed) camera.InstallLocation(false, CFBaseDLL::kUserQuickTime);
    return result;
}
