// The control's older frame calls, kept for callers written against them: the drawing-context
// switch and the direct write. Nothing of ours calls them; they are halves of the frame writer's
// one protocol (both lock the write buffer, as every way in does), never a second one.
#include "app/broadcast/NSUICamBroadcastControlFast.h"

using platform::coregraphics::CGContextRef;

bool NSUICamBroadcastControl::get_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer) {
    SharedCameraFrameWriter::Result whyNot;
    const int n = frameWriter().Begin(&whyNot);
    if (n >= 0) *camera_buffer = frameWriter().Buffer(n);
    return n >= 0;
}

void NSUICamBroadcastControl::set_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER*) {
    frameWriter().End();
}

bool NSUICamBroadcastControlFast::beginSwitchContextsClear(bool clear) {
    SharedCameraFrameWriter::Result whyNot;
    const int n = frameWriter().Begin(&whyNot);
    if (n >= 0 && clear) frameWriter().Erase(n);
    return n >= 0;
}

CGContextRef NSUICamBroadcastControlFast::currentCGContext() {
    const int locked = frameWriter().Locked();
    return frameWriter().Context(locked >= 0 ? locked : frameWriter().NextBuffer());
}

void NSUICamBroadcastControlFast::endSwitchContexts() {
    frameWriter().End();
}
