#include "plugin/CILookpaneInput.h"

#include "platform/bundles/PlatformBundle.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

using namespace platform::coregraphics;
using namespace platform::coreimage;

namespace {

std::shared_ptr<CIKernel> sKernel;

// The whole file, or nothing.
std::optional<std::string> FileContents(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return contents;
}

std::shared_ptr<CIImage> PlaceholderImage() {
    const platform::bundles::Bundle* bundle =
        CIPlugIn::bundleWithIdentifier(CILookpaneInput::kBundleIdentifier);
    if (!bundle) return nullptr;
    const auto data =
        FileContents(bundle->ResourcePath(CILookpaneInput::kPlaceholderResource, "png"));
    return data ? CIImage::imageWithData(data->data(), data->size()) : nullptr;
}

} // namespace

CILookpaneInput::CILookpaneInput() {
    static std::once_flag sInitialized;
    std::call_once(sInitialized, initialize);
    _noCameraImage = PlaceholderImage();
    _cameraBuffer = std::make_unique<CILookpaneInput_VSharedCameraBuffer>();
}

CILookpaneInput::~CILookpaneInput() = default;

void CILookpaneInput::initialize() {
    if (sKernel) return;
    // The bundle that holds this class's code.
    const platform::bundles::Bundle* bundle =
        CIPlugIn::bundleForAddress(reinterpret_cast<const void*>(&CILookpaneInput::initialize));
    if (!bundle) return;
    const auto text = FileContents(bundle->ResourcePath(kKernelResource, kKernelResourceType));
    if (!text) return;
    const auto kernels = CIKernel::kernelsWithString(*text);
    if (!kernels.empty()) sKernel = kernels.front();
}

std::shared_ptr<CIImage> CILookpaneInput::outputImage() {
    if (_cameraBuffer->readCurrentCameraFrame()) {
        if (std::shared_ptr<CIImage> image = _cameraBuffer->fastestCoreImage()) {
            cacheCameraImage(image);
            return image;
        }
    }
    // The picture freezes on the last frame when the broadcast stops or a frame cannot be read.
    if (_cachedCameraImage) return _cachedCameraImage;
    _cameraBuffer->explainMissingFrame();
    return _noCameraImage;
}

CIAttributeDictionary CILookpaneInput::customAttributes() const {
    return {{kInputClock,
             {{kCIAttributeType, kCIAttributeTypeDistance},
              {kCIAttributeDefault, 0.0},
              {kCIAttributeIdentity, 0.0},
              {kCIAttributeMin, 0.0},
              {kCIAttributeSliderMin, 0.0},
              {kCIAttributeSliderMax, 1e9}}}};
}

CGRect CILookpaneInput::regionOf_destRect_userInfo(int, CGRect destRect, void*) const {
    return destRect;
}

bool CILookpaneInput::setValue_forKey(std::optional<double> value, const std::string& key) {
    if (key != kInputClock) return false;
    inputClock = value;
    return true;
}

std::optional<double> CILookpaneInput::valueForKey(const std::string& key) const {
    return key == kInputClock ? inputClock : std::nullopt;
}

void CILookpaneInput::cacheCameraImage(std::shared_ptr<CIImage> image) {
    _cachedCameraImage = std::move(image);
}
