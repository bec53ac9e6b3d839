#include "tools/vistrel-channel/ChannelReader.h"

#include "channel/ChannelDiagnosis.h"
#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraFormat.h"
#include "tools/vistrel-channel/PngFile.h"
#include "tools/vistrel-channel/StopRequest.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// How long a held current frame is asked for (at least): a broadcast of 1 frame a second makes
// the other buffer current within it.
constexpr double kLockPatienceSeconds = 2;

// The mapping starts on a page, so each buffer sits at a fixed offset within its page
// (1024 for buffer 0, 2048 for buffer 1): the address alone tells the tag.
uint32_t TagOfAddress(const void* address) {
    switch (reinterpret_cast<uintptr_t>(address) % 4096) {
    case 1024:
        return SharedCamera::kBufferTag0;
    case 2048:
        return SharedCamera::kBufferTag1;
    default:
        return SharedCamera::kNoBufferTag;
    }
}

bool WaitForFrame(SharedCameraBundle& camera, tagSHARED_CAMERA_BUFFER& record, double seconds,
                  const std::atomic<bool>& stop) {
    const auto deadline = stop_request::After(seconds);
    // The writer's first frame ends a wait at once; a component without the wait is asked again
    // every 20 ms.
    while (!camera.GetCurrentReadBuffer(&record)) {
        const auto now = stop_request::Clock::now();
        if (stop.load() || now >= deadline) return false;
        const auto slice =
            std::min<stop_request::Clock::duration>(deadline - now, stop_request::kStopCheck);
        if (!camera.AwaitPublish(std::chrono::duration<double>(slice).count()) &&
            !stop_request::SleepUntil(std::min(deadline, now + std::chrono::milliseconds(20)),
                                      stop))
            return false;
    }
    return true;
}

} // namespace

int ReadCurrentFrame(const ReadOptions& options, const std::atomic<bool>& stop) {
    SharedCameraBundle& camera = SharedCameraBundle::sComponent;
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    if (!WaitForFrame(camera, record, options.waitSeconds, stop)) {
        std::string reason = "no camera component in the component folders";
        if (camera.IsComponentLoaded()) reason = ChannelDiagnosis();
        if (reason.empty()) reason = "the camera component gives none";
        std::printf("no frame (%s)\n", reason.c_str());
        return 3;
    }
    // A lock fails when a newer frame became current meanwhile: that one is read instead. Each
    // lock wait is short; a frame held all along is given up.
    const auto deadline = stop_request::After(std::max(options.waitSeconds, kLockPatienceSeconds));
    while (!camera.LockFrameBuffer(record.frameBufferPtr)) {
        if (stop.load() || stop_request::Clock::now() >= deadline ||
            !camera.GetCurrentReadBuffer(&record)) {
            std::fprintf(stderr, "vistrel-channel: cannot lock the current frame: another "
                                 "process holds it\n");
            return 1;
        }
    }
    const auto* frame = static_cast<const uint8_t*>(record.frameBufferPtr);
    const uint32_t counter =
        TestPattern::ReadCounter(frame, record.frameWidth, record.frameBufferRowBytes);
    const uint64_t checksum =
        TestPattern::Checksum(frame, record.frameHeight, record.frameBufferRowBytes);
    std::vector<uint8_t> copy;
    if (!options.pngPath.empty()) copy.assign(frame, frame + record.frameBufferSizeBytes);
    stop_request::SleepUntil(stop_request::After(options.holdSeconds), stop);
    camera.UnLockFrameBuffer(record.frameBufferPtr);

    std::printf("tag=0x%08" PRIx32 " frame=%" PRIu32 " checksum=0x%016" PRIx64
                " size=%dx%d format=0x%08" PRIx32 "\n",
                TagOfAddress(record.frameBufferPtr), counter, checksum, record.frameWidth,
                record.frameHeight, record.framePixelFormat);
    if (!copy.empty()) {
        std::string error;
        if (!WriteArgbPng(options.pngPath, copy.data(), record.frameWidth, record.frameHeight,
                          record.frameBufferRowBytes, error)) {
            std::fprintf(stderr, "vistrel-channel: %s\n", error.c_str());
            return 1;
        }
        std::printf("wrote %s\n", options.pngPath.c_str());
    }
    return 0;
}
