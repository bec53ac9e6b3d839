#pragma once

// The Vistrel video digitizer driven as a capture application drives it: found and opened through
// the component manager, compression on in the device's own format, taking frames as a preview
// does on a schedule of ours at 30 frames a second that follows the writer's: the frame is asked
// for when the writer makes it current (the digitizer's object wakes the camera then), never
// sooner than about a period after the last one. Each frame is copied out of the shared buffer
// while the digitizer holds its lock and given back at once, so nothing the host does with its
// copy (pause, sync to a clock, keep it) holds back the broadcast or other clients. Every host of
// the camera reads it through this class; a frame is vistrel_digitizer::kFrameSizeBytes of the
// digitizer's format.
#include "component/VistrelDigitizer.h"
#include "platform/quicktime/QuickTime.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class VistrelCamera {
public:
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

    enum class Next { kFrame, kRepeat, kCancelled, kFailed };

    // Opens the digitizer and starts a capture; the camera is owned by the caller until Stop.
    static OpenResult Open();

    using Clock = std::chrono::steady_clock;

    // Given a frame's kFrameSizeBytes while the digitizer holds the buffer they are in: one copy or
    // conversion out, and nothing that waits.
    using Take = std::function<void(const uint8_t* frame)>;

    // Waits for the writer's next frame and gives it to `take`. `cancelled` is asked before
    // each wait and whenever WakeUp ends one (a wait lasts at most kLongestWait otherwise).
    // `late`: how long after its moment in the schedule the frame came. kRepeat, with `take` not
    // called: no new frame came by half a period past its moment (the writer stalled, or a
    // paused process holds the current buffer), so the host shows the last frame again and keeps
    // the broadcast's rate.
    Next NextFrame(const std::function<bool()>& cancelled, const Take& take, Clock::duration& late,
                   std::string& detail);
    // The same, the frame copied into `into`.
    Next NextFrame(const std::function<bool()>& cancelled, uint8_t* into, Clock::duration& late,
                   std::string& detail);

    // Ends NextFrame's wait at once, from any thread, so that it asks `cancelled` again.
    void WakeUp();

    // Ends the capture, closes the digitizer and deletes the camera.
    void Stop();

private:
    explicit VistrelCamera(platform::quicktime::ComponentInstance instance);
    ~VistrelCamera() = default;

    bool StartCapture(OpenResult& result);
    // Asks the digitizer once; kFrame with the frame copied, kRepeat when none was ready.
    Next AskForFrame(const Take& take, std::string& detail);
    // How a frame came to a camera that waited for it from its moment on: it woke the camera,
    // or was there already; else the host came late, or it is a repeat.
    enum class Came { kWoken, kWaiting, kLate };
    // The frame's moment in the schedule, and how late it came.
    Clock::duration Schedule(bool repeat, Came came);
    // Until `until`, WakeUp, or with `watch` the writer's next frame (at once when a frame other
    // than `shown` is current; `shown` null: the next frame made current).
    SharedCameraWaitOutcome Await(const void* shown, bool watch, Clock::time_point until,
                                  uint32_t seen);

    platform::quicktime::ComponentInstance mInstance;
    platform::quicktime::TimeBase mTimeBase = nullptr;
    Clock::time_point mNextDue{};
    Clock::time_point mNextAsk{};
    Clock::duration mRetry;
    bool mDelivered = false;      // a frame to repeat
    const void* mShown = nullptr; // the buffer of the last frame
    SharedCameraAwaitPublishFn mAwait = nullptr;
    SharedCameraInterruptWaitFn mInterruptWait = nullptr;
    uint32_t mInterrupt = 0; // the word WakeUp moves on
};
