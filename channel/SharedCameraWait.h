#pragma once

#include <cstdint>

// The wait for the writer's next frame, exported by every camera component beside its seven entry
// points and looked up by name, so that a client built before it still loads. The writer wakes
// every waiter (in any process) when it makes a frame current; a waiter also ends on its own
// interrupt word, which another thread of its process bumps through SharedCameraInterruptWait.
enum SharedCameraWaitOutcome : int {
    kSharedCameraFrameWaiting = 0, // a frame other than `shown` was current already
    kSharedCameraFramePublished,   // the writer made a frame current during the wait
    kSharedCameraWaitTimedOut,
    kSharedCameraWaitInterrupted, // the interrupt word moved on, or a signal came
};

extern "C" {
// Waits at most `nanoseconds`. With `watch` 0 only the time and the interrupt end it. Else a frame
// other than `shown` (a buffer address of the component's records) ends it at once; with `shown`
// null the next frame made current ends it.
typedef int (*SharedCameraAwaitPublishFn)(const void* shown, int watch, int64_t nanoseconds,
                                          const uint32_t* interrupt, uint32_t seen);
// Moves the word on and ends the waits on it in this process.
typedef void (*SharedCameraInterruptWaitFn)(uint32_t* interrupt);
}

constexpr const char* kSharedCameraAwaitPublish = "SharedCameraAwaitPublish";
constexpr const char* kSharedCameraInterruptWait = "SharedCameraInterruptWait";
