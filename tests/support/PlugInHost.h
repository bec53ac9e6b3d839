#pragma once

// The filter reached as hosts reach it: the staged plug-in bundle linked into the user's
// image-unit folder, loaded through the framework layer, the filter made by name.
#include "platform/coreimage/CoreImage.h"
#include "tests/support/Broadcast.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace plugintest {

using namespace platform::coregraphics;
using namespace platform::coreimage;
using broadcast::Pattern;
using broadcast::Publish;

inline std::string UserFolder(const std::string& sub) {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/" + sub;
}

inline void LinkComponent(const std::string& bundle, const std::string& fileName) {
    std::filesystem::create_directories(UserFolder("components"));
    std::filesystem::create_directory_symlink(std::filesystem::canonical(bundle),
                                              UserFolder("components/" + fileName));
}

inline const std::string kPlugInBundle =
    testsupport::StagePath("lib/vistrel/image-units/CILookpaneInput.plugin");

inline void LinkPlugIn() {
    std::filesystem::create_directories(UserFolder("image-units"));
    std::filesystem::create_directory_symlink(kPlugInBundle,
                                              UserFolder("image-units/CILookpaneInput.plugin"));
}

// The plug-ins are loaded once per process, as a host does.
inline std::shared_ptr<CIFilter> MakeFilter() {
    static const bool loaded = (CIPlugIn::loadAllPlugIns(), true);
    (void)loaded;
    return CIFilter::filterWithName("CILookpaneInput");
}

// The image's pixels at its own size, as A, R, G, B bytes.
inline std::vector<uint8_t> RenderARGB(const CIImage& image) {
    const size_t width = size_t(image.extent().size.width);
    const size_t height = size_t(image.extent().size.height);
    std::vector<uint8_t> pixels(width * height * 4, 0);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(pixels.data(), width, height, 8, width * 4, space,
                                                 kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(space);
    CIContext::contextWithCGContext(context)->drawImage_inRect_fromRect(
        image, CGRectMake(0, 0, CGFloat(width), CGFloat(height)), image.extent());
    CGContextRelease(context);
    return pixels;
}

inline std::vector<uint8_t> PlaceholderARGB() {
    const std::string png =
        testsupport::ReadFile(kPlugInBundle + "/Contents/Resources/CILookpaneInput.png");
    auto image = CIImage::imageWithData(png.data(), png.size());
    return image ? RenderARGB(*image) : std::vector<uint8_t>();
}

} // namespace plugintest
