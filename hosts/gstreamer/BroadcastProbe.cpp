#include "hosts/gstreamer/BroadcastProbe.h"

#include "component/VistrelDigitizer.h"

#include <chrono>
#include <thread>

using namespace vistrel_digitizer;

namespace {

// A third of a frame period at 30 frames a second: no turn of the buffers goes unseen.
constexpr auto kSampleInterval = std::chrono::milliseconds(10);

// The first digitizer that opens; a refused or unloadable one is no broadcast to offer.
ComponentInstance OpenDigitizer() {
    ComponentDescription looking{videoDigitizerComponentType, kSubType, kManufacturer, 0, 0};
    for (Component component = FindNextComponent(nullptr, &looking); component;
         component = FindNextComponent(component, &looking)) {
        ComponentInstance instance = nullptr;
        if (OpenAComponent(component, &instance) == noErr) return instance;
    }
    return nullptr;
}

// The buffer the digitizer hands out now; null when it has none.
const void* CurrentBuffer(ComponentInstance instance) {
    UInt8 queued = 0;
    Ptr data = nullptr;
    long size = 0;
    if (VDCompressOneFrameAsync(instance) != noErr ||
        VDCompressDone(instance, &queued, &data, &size, nullptr, nullptr) != noErr || !queued ||
        !data)
        return nullptr;
    VDReleaseCompressBuffer(instance, data);
    return data;
}

} // namespace

bool BroadcastIsLive(double windowSeconds) {
    ComponentInstance instance = OpenDigitizer();
    if (!instance) return false;
    bool turned = false;
    // Preview capture: the current frame at each ask, unpaced.
    if (VDSetCompressionOnOff(instance, 1) == noErr &&
        VDCaptureStateChanging(instance, vdFlagCaptureStarting | vdFlagCaptureIsForPreview) ==
            noErr) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(windowSeconds);
        for (const void* first = nullptr;;) {
            const void* buffer = CurrentBuffer(instance);
            if (!first) first = buffer;
            turned = buffer && buffer != first;
            if (turned || std::chrono::steady_clock::now() >= until) break;
            std::this_thread::sleep_for(kSampleInterval);
        }
        VDCaptureStateChanging(instance, vdFlagCaptureStopping);
        VDSetCompressionOnOff(instance, 0);
    }
    CloseComponent(instance);
    return turned;
}
