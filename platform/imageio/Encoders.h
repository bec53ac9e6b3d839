#pragma once

// The encoders behind the writers. Each writes a valid image into the open temporary file and
// answers whether all of it was written; the writer then commits or abandons the file.
#include "platform/files/AtomicFile.h"
#include "platform/imageio/ImageDescription.h"

namespace platform::imageio {

bool EncodePNG(const files::AtomicFile& file, const ImageDescription& image);
bool EncodeTIFF(const files::AtomicFile& file, const ImageDescription& image);
bool EncodeJPEG(const files::AtomicFile& file, const ImageDescription& image, int quality);

} // namespace platform::imageio
