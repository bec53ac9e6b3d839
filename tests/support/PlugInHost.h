#pragma once

// The filter reached as hosts reach it: the staged plug-in bundle linked into the user's
// image-unit folder, loaded through the framework layer, the filter made by name.
#include "platform/coreimage/CoreImage.h"
#include "tests/support/Broadcast.h"
#include "tests/support/RenderImage.h"

namespace plugintest {

using namespace platform::coregraphics;
using namespace platform::coreimage;
using broadcast::Pattern;
using broadcast::Publish;
using testsupport::RenderARGB;

inline std::string UserFolder(const std::string& sub) {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/" + sub;
}

// Links a bundle into the user's folders under a path ("components/X.component").
inline void LinkInto(const std::string& path, const std::string& bundle) {
    std::filesystem::create_directories(std::filesystem::path(UserFolder(path)).parent_path());
    std::filesystem::create_directory_symlink(std::filesystem::canonical(bundle), UserFolder(path));
}

inline const std::string kPlugInBundle =
    testsupport::StageLibPath("vistrel/image-units/CILookpaneInput.plugin");

inline void LinkPlugIn() {
    LinkInto("image-units/CILookpaneInput.plugin", kPlugInBundle);
}

// The filter, VistrelX64 and a test component that forwards to it (which the plug-in prefers)
// installed for this user, over no channel.
inline void InstallForwardingComponent(const std::string& bundle) {
    binding::RemoveChannel();
    LinkPlugIn();
    LinkInto("components/LookpaneXXX.component", bundle);
    binding::LinkComponent();
    ::setenv("LOOKPANE_TEST_FORWARD", binding::BundleObject("VistrelX64").c_str(), 1);
}

// The plug-ins are loaded once per process, as a host does.
inline std::shared_ptr<CIFilter> MakeFilter() {
    static const bool loaded = (CIPlugIn::loadAllPlugIns(), true);
    (void)loaded;
    return CIFilter::filterWithName("CILookpaneInput");
}

inline std::vector<uint8_t> PlaceholderARGB() {
    const std::string png =
        testsupport::ReadFile(kPlugInBundle + "/Contents/Resources/CILookpaneInput.png");
    auto image = CIImage::imageWithData(png.data(), png.size());
    return image ? RenderARGB(*image) : std::vector<uint8_t>();
}

} // namespace plugintest
