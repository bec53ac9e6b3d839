#pragma once

// The Vistrel video digitizer driven as a capture application drives it: found and opened through
// the component manager, compression on in the device's own format, paced by a time base of ours
// at 30 frames a second. Frames are lent in place with their shared buffer locked; a frame goes
// back to the digitizer when its last user gives it back, and the instance closes only once the
// camera was stopped and every lent frame came back, so a late give-back never meets a closed
// instance.
#include "platform/quicktime/QuickTime.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class VistrelCamera {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr long kFrameBytes = 1228800;
    static constexpr int kFramesPerSecond = 30;

    // Why no camera could be opened; each reason has its own words for the user.
    enum class Failure {
        kNone,
        kNotInstalled,
        kNotLoadable,
        kNoChannel,
        kChannelUnreadable,
        kConnectionsOff,
        kNoMoreConnections,
        kProgramRefused,
        kSetUp,
    };

    struct OpenResult {
        VistrelCamera* camera = nullptr;
        Failure failure = Failure::kNone;
        std::string message; // for the person running the program
        std::string detail;  // for the one finding out why
    };

    // A frame lent by the digitizer. Each user (a pushed buffer) gives it back once.
    struct Frame {
        VistrelCamera* camera;
        platform::quicktime::Ptr data;
        long size;
        int users;
    };

    enum class Next { kFrame, kCancelled, kFailed };

    // Opens the digitizer and starts a capture; the camera is owned by the caller until Stop.
    static OpenResult Open();

    // Waits for the next paced frame; polls `cancelled` every few milliseconds.
    Next NextFrame(const std::function<bool()>& cancelled, Frame*& frame, std::string& detail);

    // Gives one use of a frame back; safe from any thread, also after Stop.
    static void ReleaseFrame(Frame* frame);

    // Ends the capture and gives up the owner's hold; the instance closes once no frame is out.
    void Stop();

private:
    using Clock = std::chrono::steady_clock;

    explicit VistrelCamera(platform::quicktime::ComponentInstance instance);
    ~VistrelCamera() = default;

    bool StartCapture(OpenResult& result);
    bool CurrentBufferIsHeld();
    Frame* ShareNewest();
    Clock::duration UntilNextFrameIsDue() const;
    void Unref();
    void Close();

    platform::quicktime::ComponentInstance mInstance;
    platform::quicktime::TimeBase mTimeBase = nullptr;
    Clock::time_point mLastDelivery{};

    std::mutex mLock;
    int mRefs = 1; // the owner, plus one per lent frame
    Frame* mNewest = nullptr;
};
