#include "app/broadcast/NSUICamBroadcastControlFast.h"

#include "core/CoreVerify.h"

using namespace platform::coregraphics;

namespace {
constexpr std::nullptr_t nil = nullptr;
} // namespace

NSUICamBroadcastControlFast::~NSUICamBroadcastControlFast() {
    for (CGContextRef& context : _CGContext) {
        CGContextRelease(context);
        context = nullptr;
    }
}

void NSUICamBroadcastControlFast::startBroadcasting() {
    NSUICamBroadcastControl::startBroadcasting();
    // Only a wanted broadcast loads the component: a request for a buffer would load one found
    // in a component folder and broadcast with the box off.
    if (!isBroadcastEnabled()) return;
    createContexts(kNSUICamBroadcastControlFast_Buffer0);
    createContexts(kNSUICamBroadcastControlFast_Buffer1);
}

void NSUICamBroadcastControlFast::stopBroadcasting() {
    NSUICamBroadcastControl::stopBroadcasting();
    destroyContexts();
}

void NSUICamBroadcastControlFast::createContexts(int slot) {
    // A start without a stop between (the box turned on after a launch) makes them afresh.
    _CIContext[slot].reset();
    CGContextRelease(_CGContext[slot]);
    _CGContext[slot] = createBroadcastGraphicsContext_buffer_number(&_camera_buffer[slot], slot);
    if (!_CGContext[slot]) return;
    eraseContext(slot);
    _CIContext[slot] = CIContext::contextWithCGContext(_CGContext[slot]);
}

void NSUICamBroadcastControlFast::destroyContexts() {
    // clang-format off
    if (VERIFY(_CIContext[kNSUICamBroadcastControlFast_Buffer0]!=nil))
        _CIContext[kNSUICamBroadcastControlFast_Buffer0].reset();
    if (VERIFY(_CGContext[kNSUICamBroadcastControlFast_Buffer0]!=0)) {
        CGContextRelease(_CGContext[kNSUICamBroadcastControlFast_Buffer0]);
        _CGContext[kNSUICamBroadcastControlFast_Buffer0] = nullptr;
    }
    if (VERIFY(_CIContext[kNSUICamBroadcastControlFast_Buffer1]!=nil))
        _CIContext[kNSUICamBroadcastControlFast_Buffer1].reset();
    if (VERIFY(_CGContext[kNSUICamBroadcastControlFast_Buffer1]!=0)) {
        CGContextRelease(_CGContext[kNSUICamBroadcastControlFast_Buffer1]);
        _CGContext[kNSUICamBroadcastControlFast_Buffer1] = nullptr;
    }
    // clang-format on
    mLockedSlot = -1;
}

CGContextRef NSUICamBroadcastControlFast::currentCGContext() const {
    return _CGContext[currentSlot()];
}

NSUICamBroadcastControlFast::CIContext* NSUICamBroadcastControlFast::currentCIContext() const {
    return _CIContext[currentSlot()].get();
}

NSRect NSUICamBroadcastControlFast::extent() const {
    return NSMakeRect(0, 0, NSUICamBroadcastControl_CameraWidth,
                      NSUICamBroadcastControl_CameraHeight);
}

void NSUICamBroadcastControlFast::eraseContext(int slot) {
    if (!_CGContext[slot]) return;
    CGContextClearRect(_CGContext[slot], CGRectMake(0, 0, NSUICamBroadcastControl_CameraWidth,
                                                    NSUICamBroadcastControl_CameraHeight));
}

NSUICamBroadcastControlFast::CIContext*
NSUICamBroadcastControlFast::beginSwitchContextsClear(bool clear) {
    const int slot = lockWriteBuffer(_CGContext[0] ? &_camera_buffer[0] : nullptr,
                                     _CGContext[1] ? &_camera_buffer[1] : nullptr);
    if (slot < 0) return nil;
    mLockedSlot = slot;
    if (clear) eraseContext(slot);
    return currentCIContext();
}

NSUICamBroadcastControlFast::CIContext* NSUICamBroadcastControlFast::beginSwitchContexts() {
    return beginSwitchContextsClear(false);
}

void NSUICamBroadcastControlFast::endSwitchContexts() {
    if (mLockedSlot < 0) return;
    const int slot = mLockedSlot;
    mLockedSlot = -1;
    // A frame that did not go out leaves the index: the next one is written there again.
    if (!unlock_SHARED_CAMERA_BUFFER(&_camera_buffer[slot]) || !use_SHARED_CAMERA_BUFFER(slot))
        return;
    _SharedCameraBufferNumber = slot ^ 1;
}

NSUICamBroadcastControlFast::CIContext* NSUICamBroadcastControlFast::lockCurrentCIContext() {
    const int slot = _SharedCameraBufferNumber;
    return lock_SHARED_CAMERA_BUFFER(&_camera_buffer[slot]) ? currentCIContext() : nil;
}

bool NSUICamBroadcastControlFast::unlockCurrentCIContext() {
    return unlock_SHARED_CAMERA_BUFFER(&_camera_buffer[_SharedCameraBufferNumber]);
}

void NSUICamBroadcastControlFast::useContextZero() {
    _SharedCameraBufferNumber = 0;
    use_SHARED_CAMERA_BUFFER(0);
}
