#pragma once

// Which row code the pixel library runs. Every conversion family keeps a plain form beside its
// vectorised ones; the plain form is chosen for the whole process when VISTREL_PIXELS_REFERENCE
// is set to anything but "" or "0", so that a suspected vector fault can be ruled out in place.
namespace PixelPaths {

bool ReferenceRequested();
bool HasSSSE3();
bool HasAVX2();

} // namespace PixelPaths
