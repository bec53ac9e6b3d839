#pragma once

// The image class's OpenGL additions and crop: bitmaps read back from the current OpenGL
// context's viewport, and a part of a bitmap.
#include "platform/appkit/AppKit.h"
#include "platform/appkit/NSBitmapImageRep.h"

#include <memory>

// The current context's viewport read from its read buffer, turned top row first; viewport
// receives (0, 0, width, height). Null without a context or on a read error. The pixels are
// opaque whatever hasAlpha says: screens have no alpha.
std::unique_ptr<platform::appkit::NSBitmapImageRep>
bitmapWithOpenGLViewportContents_hasAlpha(platform::appkit::NSRect& viewport, bool hasAlpha);

// The part of the bitmap under rect (bottom-left origin, y up); null when none lies inside.
std::unique_ptr<platform::appkit::NSBitmapImageRep>
bitmapCroppedWithRect_withRect(const platform::appkit::NSBitmapImageRep& bitmap,
                               platform::appkit::NSRect rect);
