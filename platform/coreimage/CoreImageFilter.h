#pragma once

// Filters: created by name from a registry that plug-ins add to, with input values set by key
// and an output image computed on request.
#include "platform/coregraphics/CoreGraphics.h"
#include "platform/coreimage/CoreImageImage.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace platform::coreimage {

// An input's attribute dictionary: numbers and names by attribute key.
using CIAttributeValue = std::variant<double, std::string>;
using CIAttributes = std::map<std::string, CIAttributeValue>;
// Input key → its attributes.
using CIAttributeDictionary = std::map<std::string, CIAttributes>;

constexpr const char* kCIAttributeType = "CIAttributeType";
constexpr const char* kCIAttributeTypeDistance = "CIAttributeTypeDistance";
constexpr const char* kCIAttributeDefault = "CIAttributeDefault";
constexpr const char* kCIAttributeIdentity = "CIAttributeIdentity";
constexpr const char* kCIAttributeMin = "CIAttributeMin";
constexpr const char* kCIAttributeSliderMin = "CIAttributeSliderMin";
constexpr const char* kCIAttributeSliderMax = "CIAttributeSliderMax";

class CI_API CIFilter {
public:
    using Constructor = std::function<std::shared_ptr<CIFilter>()>;

    virtual ~CIFilter();

    // Null when no filter of that name is registered or its constructor gives none.
    static std::shared_ptr<CIFilter> filterWithName(const std::string& name);
    // A later registration of a name replaces the earlier one.
    static void registerFilterName_constructor(const std::string& name, Constructor constructor);

    virtual std::shared_ptr<CIImage> outputImage() = 0;
    virtual CIAttributeDictionary customAttributes() const { return {}; }
    // The part of input `sampler` that producing destRect needs.
    virtual CGRect regionOf_destRect_userInfo(int sampler, CGRect destRect, void* userInfo) const;

    // Only the inputs customAttributes names take values; false for any other key.
    virtual bool setValue_forKey(std::optional<double> value, const std::string& key);
    virtual std::optional<double> valueForKey(const std::string& key) const;

protected:
    CIFilter() = default;

private:
    std::map<std::string, std::optional<double>> mInputs;
};

} // namespace platform::coreimage
