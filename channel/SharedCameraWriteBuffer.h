#pragma once

// Every writer's choice of the buffer for its next frame: buffer n, else the other one, whichever
// no reader holds, without waiting; with readers on both, the wait of the lock's bound for n.
// Readers take the newest frame, the other buffer, again and again, so n is the one they let go:
// a wait on the newest one would lose to them. A writer's thread never waits longer than about
// a frame.
#include <initializer_list>

namespace SharedCamera {

// The number of the buffer locked, -1 for none.
template <class TryLock, class Lock>
int LockWriteBuffer(int n, const TryLock& tryLock, const Lock& lock) {
    for (const int b : {n, n ^ 1})
        if (tryLock(b)) return b;
    return lock(n) ? n : -1;
}

} // namespace SharedCamera
