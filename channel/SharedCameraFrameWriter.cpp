#include "channel/SharedCameraFrameWriter.h"

#include "channel/SharedCameraWriteBuffer.h"

#include <initializer_list>

bool SharedCameraFrameWriter::Open() {
    mOpen = true;
    mNext = 0;
    for (const int n : {0, 1}) {
        mBuffers[n] = {};
        mBuffers[n].sizeofSHARED_CAMERA_BUFFER = sizeof mBuffers[n];
        mOpen = mComponent.GetWriteableFrameBuffer_N(n, &mBuffers[n]) && mOpen;
    }
    if (!mOpen) Close();
    return mOpen;
}

void SharedCameraFrameWriter::Close() {
    Abandon();
    mOpen = false;
    mBuffers[0] = mBuffers[1] = {};
}

int SharedCameraFrameWriter::Begin(Result* whyNot) {
    // A second Begin leaves the first lock to its End.
    if (mLocked >= 0) {
        *whyNot = Result::kFailed;
        return -1;
    }
    if (mOpen)
        mLocked = SharedCamera::LockWriteBuffer(
            mNext,
            [this](int n) { return mComponent.TryLockFrameBuffer(mBuffers[n].frameBufferPtr); },
            [this](int n) { return mComponent.LockFrameBuffer(mBuffers[n].frameBufferPtr); });
    if (mLocked < 0) *whyNot = WhyNotLocked();
    return mLocked;
}

// Readers holding both buffers cost a frame; a component that no longer gives the buffer (it
// refused the channel) fails it. Only this rare path asks the component again.
SharedCameraFrameWriter::Result SharedCameraFrameWriter::WhyNotLocked() {
    if (!mOpen) return Result::kFailed;
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    return mComponent.GetWriteableFrameBuffer_N(mNext, &record) ? Result::kSkipped
                                                                : Result::kFailed;
}

SharedCameraFrameWriter::Result SharedCameraFrameWriter::End() {
    const int n = mLocked;
    if (n < 0) return Result::kFailed;
    mLocked = -1;
    void* const address = mBuffers[n].frameBufferPtr;
    if (!mComponent.UnLockFrameBuffer(address) || !mComponent.SetCurrentReadBuffer(address))
        return Result::kFailed;
    mNext = n ^ 1;
    return Result::kWritten;
}

void SharedCameraFrameWriter::Abandon() {
    if (mLocked < 0) return;
    mComponent.UnLockFrameBuffer(mBuffers[mLocked].frameBufferPtr);
    mLocked = -1;
}
