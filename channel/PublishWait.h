#pragma once

#include "channel/SharedCameraWait.h"

#include <cstdint>

// Futex waits on a word of the mapped channel file (shared between processes, so never the
// private form) and on a word of this process that ends a wait early.
namespace publish_wait {

// Wakes every waiter on a word of a shared mapping.
void WakeAll(uint32_t* shared);

// Waits while *shared (null: no word) holds `expected` and *interrupt holds `seen`, at most
// `nanoseconds`.
SharedCameraWaitOutcome Wait(const uint32_t* shared, uint32_t expected, const uint32_t* interrupt,
                             uint32_t seen, int64_t nanoseconds);

// Moves *interrupt on and wakes its waiters.
void Interrupt(uint32_t* interrupt);

} // namespace publish_wait
