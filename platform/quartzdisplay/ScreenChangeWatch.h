#pragma once

// Whether the screen over a rectangle has changed since it was last looked at, so that a picture
// taken then still holds: followed through what is drawn where the display backend can, else
// always changed. One watch a process: each look takes what was drawn since the one before.
#include "platform/quartzdisplay/DisplayBackend.h"

#include <optional>

namespace platform::coregraphics {

class ScreenChangeWatch {
public:
    // The rectangle in global display coordinates, as CGWindowListCreateImage takes it. True on
    // the first look, for another rectangle than the last one, after the displays changed, and
    // when anything was drawn over it since the last look.
    bool Changed(CGRect screenBounds);
    // The next look says changed.
    void Forget() { mArea.reset(); }
    // Whether the next look at the same rectangle may say changed, leaving what it takes: for a
    // wait until then, with the descriptor that becomes readable when something is drawn on the
    // screen (negative where the backend cannot tell, and then only a look tells).
    bool MayHaveChanged() const;
    int DrawingDescriptor() const;

private:
    std::optional<ScreenArea> mArea;
    ScreenDisplayList mDisplays;
};

} // namespace platform::coregraphics
