#pragma once

#include "channel/SharedCameraWriteCalls.h"

#include <type_traits>

// The one way a frame goes into the channel: the buffer SharedCamera::LockWriteBuffer chooses is
// locked, drawn or copied into, unlocked and made current, and the next frame goes to the other
// one. Both buffers are asked for once, when the writer opens: the component keeps them at their
// addresses while it stays loaded (a replaced file is mapped again in place). A frame allocates
// nothing.
class SharedCameraFrameWriter {
public:
    enum class Result { kWritten, kSkipped, kFailed };

    explicit SharedCameraFrameWriter(SharedCameraWriteCalls& component) : mComponent(component) {}
    virtual ~SharedCameraFrameWriter() = default;
    SharedCameraFrameWriter(const SharedCameraFrameWriter&) = delete;
    SharedCameraFrameWriter& operator=(const SharedCameraFrameWriter&) = delete;

    // Asks for both buffers (the first request loads the component and makes the channel); the
    // next frame goes to buffer 0. False, and closed, when the component cannot give them.
    virtual bool Open();
    // Forgets the buffers; called before the component is unloaded.
    virtual void Close();
    bool IsOpen() const { return mOpen; }
    const tagSHARED_CAMERA_BUFFER& Buffer(int n) const { return mBuffers[n]; }
    // The buffer the next frame goes to unless a reader holds it.
    int NextBuffer() const { return mNext; }

    // draw(n, record) fills the locked buffer n. Skipped while readers hold both buffers; failed
    // when the writer is closed or the component refuses, and then the next buffer stays. A draw
    // that answers false filled nothing worth showing: the buffer is let go unpublished (failed).
    template <class Draw> Result Write(Draw&& draw) {
        Result whyNot;
        const int n = Begin(&whyNot);
        if (n < 0) return whyNot;
        if constexpr (std::is_same_v<decltype(draw(n, mBuffers[n])), bool>) {
            if (!draw(n, mBuffers[n])) {
                Abandon();
                return Result::kFailed;
            }
        } else {
            draw(n, mBuffers[n]);
        }
        return End();
    }

    // Write's two halves, for a caller that draws between calls of its own: Begin locks the
    // buffer (its number; -1 for none, and why), End unlocks and publishes it.
    int Begin(Result* whyNot);
    Result End();
    // Unlocks the buffer without publishing it; the next frame goes to it again.
    void Abandon();
    // The buffer between Begin and End, -1 outside.
    int Locked() const { return mLocked; }

    // Publishes the current frame again while there is nothing new, so that readers that watch
    // the buffers turn over see a live writer: copied only into a buffer that does not hold it
    // already. Skipped before the first frame.
    Result Repeat();

private:
    Result WhyNotLocked();

    SharedCameraWriteCalls& mComponent;
    tagSHARED_CAMERA_BUFFER mBuffers[2]{};
    bool mOpen = false;
    int mNext = 0;
    int mLocked = -1;
    // The buffer last published, and which buffers hold its frame.
    int mCurrent = -1;
    bool mHolds[2]{};
};
