#include "app/capture/GrabCaptureSource.h"

#include "core/CoreSystem.h"

GrabCaptureKinds GrabCaptureKindsForVersion(uint32_t systemVersion) {
    const auto from = [&](uint32_t first) {
        return systemVersion >= first ? GrabCaptureKind::kDisplayImage : GrabCaptureKind::kReadBack;
    };
    return {from(0x1060), from(0x1070)};
}

const GrabCaptureSource& CaptureSourceOfKind(GrabCaptureKind kind) {
    return kind == GrabCaptureKind::kDisplayImage ? DisplayImageCaptureSource()
                                                  : ReadBackCaptureSource();
}

const GrabCaptureSource& BroadcastCaptureSource() {
    static const GrabCaptureSource& source =
        CaptureSourceOfKind(GrabCaptureKindsForVersion(CoreSystem::GetVersion()).broadcast);
    return source;
}

const GrabCaptureSource& UserGrabCaptureSource() {
    static const GrabCaptureSource& source =
        CaptureSourceOfKind(GrabCaptureKindsForVersion(CoreSystem::GetVersion()).grab);
    return source;
}
