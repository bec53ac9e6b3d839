#pragma once

#include "platform/coreimage/CoreImage.h"

#include <cstdint>
#include <memory>

// One frei0r instance: the CILookpaneInput filter rendered into the host's frames.
class CameraSource {
public:
    static constexpr const char* kFilterName = "CILookpaneInput";

    // Frame sizes: frei0r's multiples of 8, and rows of a multiple of 64 bytes.
    static constexpr unsigned kWidthMultiple = 16;
    static constexpr unsigned kHeightMultiple = 8;

    // Null when the filter is not installed or the size is refused; says why on standard error.
    static std::unique_ptr<CameraSource> Create(unsigned width, unsigned height);

    // The filter's output at time seconds, scaled to the frame: R, G, B, A bytes with straight
    // alpha, as frei0r's RGBA8888 has it. With no output at all the frame is transparent black.
    void Render(double time, uint32_t* frame);

private:
    CameraSource(std::shared_ptr<platform::coreimage::CIFilter> filter, unsigned width,
                 unsigned height)
        : mFilter(std::move(filter)), mWidth(width), mHeight(height) {}

    std::shared_ptr<platform::coreimage::CIFilter> mFilter;
    unsigned mWidth;
    unsigned mHeight;
};

// Premultiplied R, G, B, A pixels to straight alpha, in place.
void UnpremultiplyRGBA(uint8_t* pixels, size_t count);
