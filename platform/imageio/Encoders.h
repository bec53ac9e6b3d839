#pragma once

// The encoders behind the writers. Each writes a valid image to the descriptor, which it leaves
// open, and answers whether all of it was written.
#include "platform/imageio/ImageDescription.h"

#include <cstdio>

namespace platform::imageio {

bool EncodePNG(int fd, const ImageDescription& image);
bool EncodeTIFF(int fd, const ImageDescription& image);
bool EncodeJPEG(int fd, const ImageDescription& image, int quality);

// A stdio stream over a duplicate of the descriptor, for encoders that write to one; the caller
// closes it, checking fclose. Null on failure.
FILE* StreamOver(int fd);

} // namespace platform::imageio
