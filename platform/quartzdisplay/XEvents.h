#pragma once

// The events of the process's connection. Whoever follows one kind reads all that have arrived,
// without waiting, and the others' are kept for them: RandR's changes for the display list,
// DAMAGE's drawing for the screen's change watch.
#include "platform/quartzdisplay/DisplayBackend.h"
#include "platform/quartzdisplay/XConnection.h"

namespace platform::coregraphics::x11 {

// True when RandR announced a change since the last call.
bool TakeDisplayChange(const Connection& x);

// Whether anything was drawn over the area (root pixels) since the last call, which takes all
// that was drawn: true the first time, which starts following, and always on a server without
// DAMAGE.
bool TakeDrawingOver(const Connection& x, const ScreenArea& area);

// Whether TakeDrawingOver would say so now, reading what has arrived and keeping it for the take.
// Nothing is subtracted: drawing again where it drew before sends no events until the take, so
// that a picture changing elsewhere on the screen wakes a wait once, not at its every frame.
bool DrawingOverSinceTake(const Connection& x, const ScreenArea& area);

// The connection's descriptor while DAMAGE reports the drawing, else -1.
int DrawingDescriptor(const Connection& x);

} // namespace platform::coregraphics::x11
