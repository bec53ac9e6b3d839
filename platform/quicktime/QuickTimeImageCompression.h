#pragma once

// Image descriptions (the record that tells a consumer what a frame's bytes are) and the
// constants of image compressors.
#include "platform/quicktime/QuickTimeMemory.h"

namespace platform::quicktime {

using CodecType = OSType;
using CodecQ = uint32_t;
using ComponentPropertyClass = OSType;
using ComponentPropertyID = OSType;
using ComponentValuePtr = void*;
using ConstComponentValuePtr = const void*;

constexpr OSType compressorComponentType = FourCC("imco");

constexpr CodecQ codecLosslessQuality = 0x400;

#pragma pack(push, 2)
struct ImageDescription {
    int32_t idSize;
    CodecType cType;
    int32_t resvd1;
    int16_t resvd2;
    int16_t dataRefIndex;
    int16_t version;
    int16_t revisionLevel;
    int32_t vendor;
    CodecQ temporalQuality;
    CodecQ spatialQuality;
    int16_t width;
    int16_t height;
    Fixed hRes;
    Fixed vRes;
    int32_t dataSize;
    int16_t frameCount;
    Str31 name;
    int16_t depth;
    int16_t clutID;
};
#pragma pack(pop)

static_assert(sizeof(ImageDescription) == 86);
static_assert(offsetof(ImageDescription, cType) == 4);
static_assert(offsetof(ImageDescription, resvd1) == 8);
static_assert(offsetof(ImageDescription, resvd2) == 12);
static_assert(offsetof(ImageDescription, dataRefIndex) == 14);
static_assert(offsetof(ImageDescription, version) == 16);
static_assert(offsetof(ImageDescription, revisionLevel) == 18);
static_assert(offsetof(ImageDescription, vendor) == 20);
static_assert(offsetof(ImageDescription, temporalQuality) == 24);
static_assert(offsetof(ImageDescription, spatialQuality) == 28);
static_assert(offsetof(ImageDescription, width) == 32);
static_assert(offsetof(ImageDescription, height) == 34);
static_assert(offsetof(ImageDescription, hRes) == 36);
static_assert(offsetof(ImageDescription, vRes) == 40);
static_assert(offsetof(ImageDescription, dataSize) == 44);
static_assert(offsetof(ImageDescription, frameCount) == 48);
static_assert(offsetof(ImageDescription, name) == 50);
static_assert(offsetof(ImageDescription, depth) == 82);
static_assert(offsetof(ImageDescription, clutID) == 84);

using ImageDescriptionPtr = ImageDescription*;
using ImageDescriptionHandle = ImageDescriptionPtr*;

// Properties of a description that live beside its 86 bytes, kept per description handle and
// disposed with it.
constexpr ComponentPropertyClass kQTPropertyClass_ImageDescription = FourCC("idsc");
// SInt32 each; when unset they read as the description's width and height.
constexpr ComponentPropertyID kICMImageDescriptionPropertyID_EncodedWidth = FourCC("encw");
constexpr ComponentPropertyID kICMImageDescriptionPropertyID_EncodedHeight = FourCC("ench");

QT_API OSStatus ICMImageDescriptionSetProperty(ImageDescriptionHandle desc,
                                               ComponentPropertyClass propClass,
                                               ComponentPropertyID propID, ByteCount propValueSize,
                                               ConstComponentValuePtr propValueAddress);
QT_API OSStatus ICMImageDescriptionGetProperty(ImageDescriptionHandle desc,
                                               ComponentPropertyClass propClass,
                                               ComponentPropertyID propID, ByteCount propValueSize,
                                               ComponentValuePtr propValueAddress,
                                               ByteCount* sizeUsed);

} // namespace platform::quicktime
