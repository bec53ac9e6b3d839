#pragma once

// Whether a broadcast is on, as the Vistrel digitizer shows it to any host. The channel outlives
// the broadcast (its writer never removes it), so a digitizer that opens only says that one was on
// once; a live writer is one that turns the current frame over from one buffer to the other.

// Opens the digitizer, watches its current buffer for up to `windowSeconds` and closes it again:
// true when the buffer turned over meanwhile.
bool BroadcastIsLive(double windowSeconds);
