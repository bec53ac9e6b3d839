// A camera component of the other maker's name, built only for tests: it exports the channel's
// entry points and either forwards them to VistrelX64 (timing every lock) or serves frames of
// its own, as the mode asks.
#include "channel/SharedCameraRecords.h"
#include "tests/plugin/LookpaneTestFrames.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

using namespace lookpane_test;

#define LOOKPANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

uint8_t s2vuy[kWidth * kHeight * 2];
uint8_t sARGB[kWidth * kHeight * 4];
std::atomic<uint64_t> sLocks{0}, sUnlocks{0}, sHeld{0};
std::atomic<int64_t> sLockedAt{0};

int64_t Now() {
    return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

template <typename Function> Function Forwarded(const char* name) {
    static void* handle = [] {
        const char* path = std::getenv("LOOKPANE_TEST_FORWARD");
        return path ? ::dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    }();
    return handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
}

bool Fill(tagSHARED_CAMERA_BUFFER* record, void* frame, int rowBytes, int size, uint32_t format) {
    record->frameBufferPtr = frame;
    record->frameBufferRowBytes = rowBytes;
    record->frameBufferSizeBytes = size;
    record->frameWidth = kWidth;
    record->frameHeight = kHeight;
    record->framePixelFormat = format;
    return frame != nullptr;
}

} // namespace

// A reader's component: the writer's entry points answer false.
// clang-format off
LOOKPANE_EXPORT bool __public_fn_(tagSHARED_CAMERA_CONTROL*) { return false; }
LOOKPANE_EXPORT bool __public_fn0(int, tagSHARED_CAMERA_BUFFER*) { return false; }
LOOKPANE_EXPORT bool __public_fn1(void*) { return false; }
LOOKPANE_EXPORT bool __public_fn3(void*) { return false; }
// clang-format on

// How the component answers, from LOOKPANE_TEST_MODE at each call: unset, VistrelX64 at
// LOOKPANE_TEST_FORWARD does the work (locks are timed); "2vuy", a 2vuy frame of its own;
// "argb-other", an ARGB frame announced in a format no pixel buffer takes; "oversize", rows that
// run past the frame's memory; "null", success with a null frame pointer; else no frame.
LOOKPANE_EXPORT bool __public_fn2(tagSHARED_CAMERA_BUFFER* record) {
    if (!record || record->sizeofSHARED_CAMERA_BUFFER != sizeof *record) return false;
    const char* set = std::getenv("LOOKPANE_TEST_MODE");
    const std::string mode = set ? set : "";
    if (mode.empty()) {
        auto forward = Forwarded<SharedCameraRecordFn>("__public_fn2");
        return forward && forward(record);
    }
    if (mode == "2vuy")
        return Fill(record, s2vuy, kWidth * 2, sizeof s2vuy, Q_2vuy_format::kPixelFormat_2vuy);
    if (mode == "argb-other") return Fill(record, sARGB, kWidth * 4, sizeof sARGB, kFormatBGRA);
    if (mode == "oversize") return Fill(record, sARGB, kWidth * 4 + 4, sizeof sARGB, 0x72617720);
    if (mode == "null") return !Fill(record, nullptr, kWidth * 4, sizeof sARGB, 0x72617720);
    record->frameBufferPtr = nullptr;
    return false;
}

LOOKPANE_EXPORT bool __public_fn4(void* address) {
    ++sLocks;
    auto forward = Forwarded<SharedCameraAddressFn>("__public_fn4");
    const bool locked = address == sARGB || address == s2vuy || (forward && forward(address));
    sLockedAt = Now();
    return locked;
}

LOOKPANE_EXPORT bool __public_fn5(void* address) {
    sHeld += uint64_t(Now() - sLockedAt);
    ++sUnlocks;
    auto forward = Forwarded<SharedCameraAddressFn>("__public_fn5");
    return address == sARGB || address == s2vuy || (forward && forward(address));
}

LOOKPANE_EXPORT LockStats LookpaneTest_LockStats() {
    return LockStats{sLocks, sUnlocks, sHeld};
}

// The component's own frames, filled at load; the ARGB one may be changed by the test.
LOOKPANE_EXPORT uint8_t* LookpaneTest_ARGBFrame() {
    return sARGB;
}

__attribute__((constructor)) static void DrawFrames() {
    Draw2vuy(s2vuy);
    DrawARGB(sARGB, 0);
}
