#include "channel/SharedCameraFrameWriter.h"

#include "channel/SharedCameraWriteBuffer.h"

#include <cstring>
#include <initializer_list>

bool SharedCameraFrameWriter::Open() {
    mOpen = true;
    mNext = 0;
    mCurrent = -1;
    mHolds[0] = mHolds[1] = false;
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
    mCurrent = -1;
    mHolds[0] = mHolds[1] = false;
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
    mHolds[n] = false; // drawn into
    void* const address = mBuffers[n].frameBufferPtr;
    if (!mComponent.UnLockFrameBuffer(address) || !mComponent.SetCurrentReadBuffer(address))
        return Result::kFailed;
    mNext = n ^ 1;
    mCurrent = n;
    mHolds[n] = true;
    mHolds[n ^ 1] = false;
    return Result::kWritten;
}

void SharedCameraFrameWriter::Abandon() {
    if (mLocked < 0) return;
    mHolds[mLocked] = false; // a draw that gave up may have written part of it
    mComponent.UnLockFrameBuffer(mBuffers[mLocked].frameBufferPtr);
    mLocked = -1;
}

SharedCameraFrameWriter::Result SharedCameraFrameWriter::Repeat() {
    if (mCurrent < 0) return Result::kSkipped;
    const int from = mCurrent;
    const bool held[2] = {mHolds[0], mHolds[1]};
    int to = -1;
    const Result result = Write([&](int n, const tagSHARED_CAMERA_BUFFER& buffer) {
        to = n;
        if (!held[n])
            std::memcpy(buffer.frameBufferPtr, mBuffers[from].frameBufferPtr,
                        size_t(buffer.frameBufferRowBytes) * size_t(buffer.frameHeight));
    });
    if (result == Result::kWritten) mHolds[to ^ 1] = held[to ^ 1];
    return result;
}
