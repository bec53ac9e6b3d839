#pragma once

// Real decoders for image files written by the code under test.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct DecodedImage {
    bool ok = false;
    int width = 0, height = 0;
    int channels = 0;                       // samples a pixel: 3 (RGB) or 4 (RGBA)
    bool interlaced = false;                // PNG: Adam7
    std::vector<uint8_t> samples;           // packed rows, top first
    std::vector<uint16_t> lumaQuantization; // JPEG: the first table, natural order
};

DecodedImage DecodePNG(const std::string& path);
DecodedImage DecodeTIFF(const std::string& path);
DecodedImage DecodeJPEG(const std::string& path);

} // namespace testsupport
