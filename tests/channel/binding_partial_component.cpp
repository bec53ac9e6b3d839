// A stand-in camera component that exports only the reader's entry point, so that a client can
// be shown a bundle that loads but lacks what it asks for.
#include "channel/SharedCameraRecords.h"

extern "C" __attribute__((visibility("default"))) bool
__public_fn2(tagSHARED_CAMERA_BUFFER* record) {
    static unsigned char sFrame[16];
    record->frameBufferPtr = sFrame;
    record->frameWidth = 1;
    record->frameHeight = 1;
    return true;
}
