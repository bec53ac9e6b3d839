#pragma once

// The filter reached as hosts reach it: the staged plug-in bundle linked into the user's
// image-unit folder, loaded through the framework layer, the filter made by name.
#include "channel/SharedCameraFormat.h"
#include "platform/coreimage/CoreImage.h"
#include "tests/support/TestSupport.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace plugintest {

using namespace platform::coregraphics;
using namespace platform::coreimage;

inline std::string UserFolder(const std::string& sub) {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/" + sub;
}

inline void Link(const std::string& target, const std::string& link) {
    std::filesystem::create_directories(std::filesystem::path(link).parent_path());
    std::filesystem::create_directory_symlink(std::filesystem::canonical(target), link);
}

inline const std::string kPlugInBundle =
    testsupport::StagePath("lib/vistrel/image-units/CILookpaneInput.plugin");

inline void LinkPlugIn() {
    Link(kPlugInBundle, UserFolder("image-units/CILookpaneInput.plugin"));
}

inline void LinkComponent(const std::string& bundle, const std::string& fileName) {
    Link(bundle, UserFolder("components/" + fileName));
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

inline std::vector<uint8_t> Pattern(uint32_t counter) {
    std::vector<uint8_t> frame(SharedCamera::kFrameSizeBytes);
    TestPattern::Draw(frame.data(), SharedCamera::kFrameWidth, SharedCamera::kFrameHeight,
                      SharedCamera::kFrameRowBytes, counter);
    return frame;
}

inline void Publish(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {testsupport::StagePath("bin/vistrel-channel"), "publish"};
    argv.insert(argv.end(), options.begin(), options.end());
    const testsupport::ProcessResult run = testsupport::RunProcess(argv);
    if (run.exitCode != 0) ADD_FAILURE() << run.out << run.err;
}

} // namespace plugintest
