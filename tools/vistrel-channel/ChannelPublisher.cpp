#include "tools/vistrel-channel/ChannelPublisher.h"

#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraFrameWriter.h"
#include "tools/vistrel-channel/StopRequest.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <chrono>
#include <cstdio>

namespace {

// The component has already logged which file or lock it refused and why (on standard error):
// this only says what that means for the publisher.
void ReportRefusedChannel() {
    std::fprintf(stderr, "vistrel-channel: cannot publish: the camera component refused the "
                         "channel (the line above names the file or lock and why)\n");
}

} // namespace

int PublishTestPattern(const PublishOptions& options, const std::atomic<bool>& stop) {
    SharedCameraBundle& camera = SharedCameraBundle::sComponent;
    // A link that was there before (a running broadcast's) is not ours to remove afterwards.
    if (options.install) camera.InstallLocation(true, CFBaseDLL::kUserQuickTime);
    tagSHARED_CAMERA_CONTROL control{sizeof control, int16_t(options.allowConnections ? 1 : 0), 0};
    if (!camera.SetCameraControl(&control)) {
        if (camera.IsComponentLoaded())
            ReportRefusedChannel();
        else
            std::fprintf(stderr,
                         "vistrel-channel: cannot reach the camera component %s in the component "
                         "folders (user, system, local)\n",
                         camera.FileName().c_str());
        camera.RemoveOwnLink(CFBaseDLL::kUserQuickTime);
        return 2;
    }

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(1.0 / options.framesPerSecond);
    const auto start = Clock::now();
    uint64_t published = 0, ticks = 0;
    int result = 0;
    SharedCameraFrameWriter writer(camera);
    // A channel refused at the start fails the first frame.
    const bool open = writer.Open();
    const auto draw = [&](int, const tagSHARED_CAMERA_BUFFER& record) {
        TestPattern::Draw(static_cast<uint8_t*>(record.frameBufferPtr), record.frameWidth,
                          record.frameHeight, record.frameBufferRowBytes, uint32_t(published));
    };
    while (!stop.load()) {
        if (options.frames && published >= options.frames) break;
        if (options.seconds > 0 &&
            Clock::now() - start >= std::chrono::duration<double>(options.seconds))
            break;
        // Readers holding both buffers cost this tick's frame, never the broadcast.
        const SharedCameraFrameWriter::Result frame =
            open ? writer.Write(draw) : SharedCameraFrameWriter::Result::kFailed;
        if (frame == SharedCameraFrameWriter::Result::kFailed) {
            if (published == 0) ReportRefusedChannel();
            std::fprintf(stderr, "vistrel-channel: frame %llu could not be published\n",
                         (unsigned long long)published);
            result = 1;
            break;
        }
        published += frame == SharedCameraFrameWriter::Result::kWritten;
        ++ticks;
        stop_request::SleepUntil(
            start + std::chrono::duration_cast<Clock::duration>(period * double(ticks)), stop);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("published %llu frames of 640x480 ARGB in %.2f s (%s, connections %s, %llu "
                "skipped)\n",
                (unsigned long long)published, elapsed, camera.FileName().c_str(),
                options.allowConnections ? "allowed" : "refused",
                (unsigned long long)(ticks - published));
    writer.Close();
    camera.RemoveOwnLink(CFBaseDLL::kUserQuickTime);
    return result;
}
