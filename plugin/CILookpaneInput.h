#pragma once

#include "platform/coreimage/CoreImage.h"
#include "plugin/CILookpaneInput_VSharedCameraBuffer.h"

#include <memory>
#include <optional>

// The generator filter: its output is the newest camera frame, else the last frame it returned,
// else the placeholder picture of its bundle.
class CILookpaneInput : public platform::coreimage::CIFilter {
public:
    static constexpr const char* kBundleIdentifier = "com.tarnwick.CILookpaneInput";
    static constexpr const char* kPlaceholderResource = "CILookpaneInput";
    static constexpr const char* kKernelResource = "CIKernel";
    static constexpr const char* kKernelResourceType = "cikernel";
    static constexpr const char* kInputClock = "inputClock";

    // Runs the class initialiser first, once per process.
    CILookpaneInput();
    ~CILookpaneInput() override;

    // Reads the bundle's kernel text and keeps its first kernel (never applied).
    static void initialize();

    std::shared_ptr<platform::coreimage::CIImage> outputImage() override;
    platform::coreimage::CIAttributeDictionary customAttributes() const override;
    platform::coregraphics::CGRect
    regionOf_destRect_userInfo(int sampler, platform::coregraphics::CGRect destRect,
                               void* userInfo) const override;
    bool setValue_forKey(std::optional<double> value, const std::string& key) override;
    std::optional<double> valueForKey(const std::string& key) const override;

    void cacheCameraImage(std::shared_ptr<platform::coreimage::CIImage> image);

private:
    std::optional<double> inputClock;
    std::shared_ptr<platform::coreimage::CIImage> _noCameraImage;
    std::unique_ptr<CILookpaneInput_VSharedCameraBuffer> _cameraBuffer;
    std::shared_ptr<platform::coreimage::CIImage> _cachedCameraImage;
};
