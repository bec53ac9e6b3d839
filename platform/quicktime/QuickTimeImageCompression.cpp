#include "platform/quicktime/QuickTimeImageCompression.h"

#include "platform/quicktime/QuickTimeHandleProperties.h"

#include <cstring>

namespace platform::quicktime {
namespace {

uint64_t PropertyKey(ComponentPropertyClass propClass, ComponentPropertyID propID) {
    return uint64_t(propClass) << 32 | propID;
}

bool IsDescription(ImageDescriptionHandle desc) {
    const Size size = GetHandleSize(reinterpret_cast<Handle>(desc));
    return MemError() == noErr && size >= Size(sizeof(ImageDescription));
}

bool IsEncodedSize(ComponentPropertyClass propClass, ComponentPropertyID propID) {
    return propClass == kQTPropertyClass_ImageDescription &&
           (propID == kICMImageDescriptionPropertyID_EncodedWidth ||
            propID == kICMImageDescriptionPropertyID_EncodedHeight);
}

} // namespace

OSStatus ICMImageDescriptionSetProperty(ImageDescriptionHandle desc,
                                        ComponentPropertyClass propClass,
                                        ComponentPropertyID propID, ByteCount propValueSize,
                                        ConstComponentValuePtr propValueAddress) {
    if (!IsDescription(desc) || !propValueAddress) return paramErr;
    if (IsEncodedSize(propClass, propID) && propValueSize != sizeof(SInt32)) return paramErr;
    if (!detail::SetHandleProperty(reinterpret_cast<Handle>(desc), PropertyKey(propClass, propID),
                                   propValueAddress, propValueSize))
        return paramErr;
    return noErr;
}

OSStatus ICMImageDescriptionGetProperty(ImageDescriptionHandle desc,
                                        ComponentPropertyClass propClass,
                                        ComponentPropertyID propID, ByteCount propValueSize,
                                        ComponentValuePtr propValueAddress, ByteCount* sizeUsed) {
    if (!IsDescription(desc) || !propValueAddress) return paramErr;
    std::optional<std::string> value =
        detail::GetHandleProperty(reinterpret_cast<Handle>(desc), PropertyKey(propClass, propID));
    if (!value && IsEncodedSize(propClass, propID)) {
        const SInt32 size = propID == kICMImageDescriptionPropertyID_EncodedWidth ? (*desc)->width
                                                                                  : (*desc)->height;
        value = std::string(reinterpret_cast<const char*>(&size), sizeof size);
    }
    if (!value) return kQTPropertyNotSupportedErr;
    if (propValueSize < value->size()) return paramErr;
    std::memcpy(propValueAddress, value->data(), value->size());
    if (sizeUsed) *sizeUsed = value->size();
    return noErr;
}

} // namespace platform::quicktime
