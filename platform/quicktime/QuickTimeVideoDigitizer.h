#pragma once

// The video-digitizer interface: selectors, flags, records and the host's calls. Each call packs
// its arguments into a parameter block and hands it to the digitizer component's dispatcher.
#include "platform/quicktime/QuickTimeComponents.h"
#include "platform/quicktime/QuickTimeImageCompression.h"
#include "platform/quicktime/QuickTimeTimeBase.h"

namespace platform::quicktime {

using VideoDigitizerComponent = ComponentInstance;
using VideoDigitizerError = ComponentResult;
using CodecComponent = Component;

// Graphics devices are opaque here; the digitizer record only carries their handles.
struct GDevice;
using GDHandle = GDevice**;

constexpr OSType videoDigitizerComponentType = FourCC("vdig");

// Input standards.
enum : short { ntscIn = 0, currentIn = 0, palIn = 1, secamIn = 2, ntscReallyIn = 3 };

// Input formats.
enum : short {
    compositeIn = 0,
    sVideoIn = 1,
    rgbComponentIn = 2,
    rgbComponentSyncIn = 3,
    yuvComponentIn = 4,
    yuvComponentSyncIn = 5,
    tvTunerIn = 6,
    sdiIn = 7
};

enum : short { vdTypeBasic = 0, vdTypeAlpha = 1, vdTypeMask = 2, vdTypeKey = 3 };

// Input capability and current flags.
enum : int32_t {
    digiInDoesNTSC = 1 << 0,
    digiInDoesPAL = 1 << 1,
    digiInDoesSECAM = 1 << 2,
    digiInDoesGenLock = 1 << 7,
    digiInDoesComposite = 1 << 8,
    digiInDoesSVideo = 1 << 9,
    digiInDoesComponent = 1 << 10,
    digiInVTR_Broadcast = 1 << 11,
    digiInDoesColor = 1 << 12,
    digiInDoesBW = 1 << 13,
    digiInSignalLock = int32_t(1u << 31)
};

// Output capability and current flags.
enum : int32_t {
    digiOutDoes1 = 1 << 0,
    digiOutDoes2 = 1 << 1,
    digiOutDoes4 = 1 << 2,
    digiOutDoes8 = 1 << 3,
    digiOutDoes16 = 1 << 4,
    digiOutDoes32 = 1 << 5,
    digiOutDoesDither = 1 << 6,
    digiOutDoesStretch = 1 << 7,
    digiOutDoesShrink = 1 << 8,
    digiOutDoesMask = 1 << 9,
    digiOutDoesDouble = 1 << 11,
    digiOutDoesQuad = 1 << 12,
    digiOutDoesQuarter = 1 << 13,
    digiOutDoesSixteenth = 1 << 14,
    digiOutDoesRotate = 1 << 15,
    digiOutDoesHorizFlip = 1 << 16,
    digiOutDoesVertFlip = 1 << 17,
    digiOutDoesSkew = 1 << 18,
    digiOutDoesBlend = 1 << 19,
    digiOutDoesWarp = 1 << 20,
    digiOutDoesHW_DMA = 1 << 21,
    digiOutDoesHWPlayThru = 1 << 22,
    digiOutDoesILUT = 1 << 23,
    digiOutDoesKeyColor = 1 << 24,
    digiOutDoesAsyncGrabs = 1 << 25,
    digiOutDoesUnreadableScreenBits = 1 << 26,
    digiOutDoesCompress = 1 << 27,
    digiOutDoesCompressOnly = 1 << 28,
    digiOutDoesPlayThruDuringCompress = 1 << 29,
    digiOutDoesCompressPartiallyVisible = 1 << 30,
    digiOutDoesNotNeedCopyOfCompressData = int32_t(1u << 31)
};

// Device name flags.
enum : UInt32 { vdDeviceFlagShowInputsAsDevices = 1 << 0, vdDeviceFlagHideDevice = 1 << 1 };

// Capture state flags.
enum : UInt32 {
    vdFlagCaptureStarting = 1 << 0,
    vdFlagCaptureStopping = 1 << 1,
    vdFlagCaptureIsForPreview = 1 << 2,
    vdFlagCaptureIsForRecord = 1 << 3,
    vdFlagCaptureLowLatency = 1 << 4,
    vdFlagCaptureAlwaysUseTimeBase = 1 << 5,
    vdFlagCaptureSetSettingsBegin = 1 << 6,
    vdFlagCaptureSetSettingsEnd = 1 << 7
};

// Time-code definition flags.
enum : int32_t { tcDropFrame = 1 << 0, tc24HourMax = 1 << 1, tcNegTimesOK = 1 << 2 };

struct TimeCodeDef {
    int32_t flags;
    TimeScale fTimeScale;
    TimeValue frameDuration;
    UInt8 numFrames;
    UInt8 padding;
};

struct TimeCodeTime {
    UInt8 hours;
    UInt8 minutes;
    UInt8 seconds;
    UInt8 frames;
};

union TimeCodeRecord {
    TimeCodeTime t;
    int32_t c;
};

#pragma pack(push, 2)
struct DigitizerInfo {
    short vdigType;
    int32_t inputCapabilityFlags;
    int32_t outputCapabilityFlags;
    int32_t inputCurrentFlags;
    int32_t outputCurrentFlags;
    short slot;
    GDHandle gdh;
    GDHandle maskgdh;
    short minDestHeight;
    short minDestWidth;
    short maxDestHeight;
    short maxDestWidth;
    short blendLevels;
    int32_t reserved;
};
#pragma pack(pop)
static_assert(offsetof(DigitizerInfo, inputCapabilityFlags) == 2);
static_assert(offsetof(DigitizerInfo, outputCurrentFlags) == 14);
static_assert(offsetof(DigitizerInfo, slot) == 18);
static_assert(offsetof(DigitizerInfo, gdh) == 20);
static_assert(offsetof(DigitizerInfo, minDestHeight) == 20 + 2 * sizeof(GDHandle));
static_assert(offsetof(DigitizerInfo, reserved) == 30 + 2 * sizeof(GDHandle));

// One entry of a digitizer's compression list.
struct VDCompressionList {
    CodecComponent codec;
    CodecType cType;
    Str63 typeName;
    Str63 name;
    int32_t formatFlags;
    int32_t compressFlags;
    int32_t reserved;
};
static_assert(sizeof(VDCompressionList) == 148);
static_assert(offsetof(VDCompressionList, cType) == 4);
static_assert(offsetof(VDCompressionList, typeName) == 8);
static_assert(offsetof(VDCompressionList, name) == 72);
static_assert(offsetof(VDCompressionList, formatFlags) == 136);
static_assert(offsetof(VDCompressionList, compressFlags) == 140);
static_assert(offsetof(VDCompressionList, reserved) == 144);

using VDCompressionListPtr = VDCompressionList*;
using VDCompressionListHandle = VDCompressionListPtr*;

// Compression flags and format (depth) flags of compression list entries.
enum : int32_t { codecInfoDoes32 = 1 << 5 };
enum : int32_t { codecInfoDepth32 = 1 << 5, codecInfoDepth24 = 1 << 6 };

enum : int16_t {
    kVDGetMaxSrcRectSelect = 0x0001,
    kVDGetActiveSrcRectSelect = 0x0002,
    kVDSetDigitizerRectSelect = 0x0003,
    kVDGetDigitizerRectSelect = 0x0004,
    kVDGetVBlankRectSelect = 0x0005,
    kVDSetBrightnessSelect = 0x000C,
    kVDGetBrightnessSelect = 0x000D,
    kVDSetContrastSelect = 0x000E,
    kVDSetHueSelect = 0x000F,
    kVDSetSharpnessSelect = 0x0010,
    kVDSetSaturationSelect = 0x0011,
    kVDGetContrastSelect = 0x0012,
    kVDGetHueSelect = 0x0013,
    kVDGetSharpnessSelect = 0x0014,
    kVDGetSaturationSelect = 0x0015,
    kVDGetDigitizerInfoSelect = 0x0019,
    kVDGetCurrentFlagsSelect = 0x001A,
    kVDSetPLLFilterTypeSelect = 0x0029,
    kVDGetPLLFilterTypeSelect = 0x002A,
    kVDSetBlackLevelValueSelect = 0x0037,
    kVDGetBlackLevelValueSelect = 0x0038,
    kVDSetWhiteLevelValueSelect = 0x0039,
    kVDGetWhiteLevelValueSelect = 0x003A,
    kVDGetVideoDefaultsSelect = 0x003B,
    kVDGetNumberOfInputsSelect = 0x003C,
    kVDGetInputFormatSelect = 0x003D,
    kVDSetInputSelect = 0x003E,
    kVDGetInputSelect = 0x003F,
    kVDSetInputStandardSelect = 0x0040,
    kVDSetCompressionSelect = 0x0044,
    kVDCompressOneFrameAsyncSelect = 0x0045,
    kVDCompressDoneSelect = 0x0046,
    kVDReleaseCompressBufferSelect = 0x0047,
    kVDGetImageDescriptionSelect = 0x0048,
    kVDResetCompressSequenceSelect = 0x0049,
    kVDSetCompressionOnOffSelect = 0x004A,
    kVDGetCompressionTypesSelect = 0x004B,
    kVDSetTimeBaseSelect = 0x004C,
    kVDSetFrameRateSelect = 0x004D,
    kVDGetDataRateSelect = 0x004E,
    kVDGetPreferredTimeScaleSelect = 0x0051,
    kVDSetDataRateSelect = 0x0054,
    kVDGetTimeCodeSelect = 0x0055,
    kVDGetCompressionTimeSelect = 0x0058,
    kVDGetPreferredImageDimensionsSelect = 0x005B,
    kVDGetInputNameSelect = 0x005C,
    kVDGetDeviceNameAndFlagsSelect = 0x005E,
    kVDCaptureStateChangingSelect = 0x005F,
    kVDGetUniqueIDsSelect = 0x0060,
    kVDSelectUniqueIDsSelect = 0x0061
};

QT_API VideoDigitizerError VDGetMaxSrcRect(VideoDigitizerComponent ci, short inputStd,
                                           Rect* maxSrcRect);
QT_API VideoDigitizerError VDGetActiveSrcRect(VideoDigitizerComponent ci, short inputStd,
                                              Rect* activeSrcRect);
QT_API VideoDigitizerError VDSetDigitizerRect(VideoDigitizerComponent ci, Rect* digitizerRect);
QT_API VideoDigitizerError VDGetDigitizerRect(VideoDigitizerComponent ci, Rect* digitizerRect);
QT_API VideoDigitizerError VDGetVBlankRect(VideoDigitizerComponent ci, short inputStd,
                                           Rect* vBlankRect);
QT_API VideoDigitizerError VDSetBrightness(VideoDigitizerComponent ci, unsigned short* brightness);
QT_API VideoDigitizerError VDGetBrightness(VideoDigitizerComponent ci, unsigned short* brightness);
QT_API VideoDigitizerError VDSetContrast(VideoDigitizerComponent ci, unsigned short* contrast);
QT_API VideoDigitizerError VDGetContrast(VideoDigitizerComponent ci, unsigned short* contrast);
QT_API VideoDigitizerError VDSetHue(VideoDigitizerComponent ci, unsigned short* hue);
QT_API VideoDigitizerError VDGetHue(VideoDigitizerComponent ci, unsigned short* hue);
QT_API VideoDigitizerError VDSetSaturation(VideoDigitizerComponent ci, unsigned short* saturation);
QT_API VideoDigitizerError VDGetSaturation(VideoDigitizerComponent ci, unsigned short* saturation);
QT_API VideoDigitizerError VDSetSharpness(VideoDigitizerComponent ci, unsigned short* sharpness);
QT_API VideoDigitizerError VDGetSharpness(VideoDigitizerComponent ci, unsigned short* sharpness);
QT_API VideoDigitizerError VDSetBlackLevelValue(VideoDigitizerComponent ci,
                                                unsigned short* blackLevel);
QT_API VideoDigitizerError VDGetBlackLevelValue(VideoDigitizerComponent ci,
                                                unsigned short* blackLevel);
QT_API VideoDigitizerError VDSetWhiteLevelValue(VideoDigitizerComponent ci,
                                                unsigned short* whiteLevel);
QT_API VideoDigitizerError VDGetWhiteLevelValue(VideoDigitizerComponent ci,
                                                unsigned short* whiteLevel);
QT_API VideoDigitizerError VDGetVideoDefaults(VideoDigitizerComponent ci,
                                              unsigned short* blackLevel,
                                              unsigned short* whiteLevel,
                                              unsigned short* brightness, unsigned short* hue,
                                              unsigned short* saturation, unsigned short* contrast,
                                              unsigned short* sharpness);
QT_API VideoDigitizerError VDGetDigitizerInfo(VideoDigitizerComponent ci, DigitizerInfo* info);
QT_API VideoDigitizerError VDGetCurrentFlags(VideoDigitizerComponent ci, long* inputCurrentFlag,
                                             long* outputCurrentFlag);
QT_API VideoDigitizerError VDGetNumberOfInputs(VideoDigitizerComponent ci, short* inputs);
QT_API VideoDigitizerError VDGetInputFormat(VideoDigitizerComponent ci, short input, short* format);
QT_API VideoDigitizerError VDSetInput(VideoDigitizerComponent ci, short input);
QT_API VideoDigitizerError VDGetInput(VideoDigitizerComponent ci, short* input);
QT_API VideoDigitizerError VDSetInputStandard(VideoDigitizerComponent ci, short inputStandard);
QT_API VideoDigitizerError VDGetInputName(VideoDigitizerComponent ci, long videoInput, Str255 name);
QT_API VideoDigitizerError VDGetDeviceNameAndFlags(VideoDigitizerComponent ci, Str255 outName,
                                                   UInt32* outNameFlags);
QT_API VideoDigitizerError VDGetUniqueIDs(VideoDigitizerComponent ci, UInt64* outDeviceID,
                                          UInt64* outInputID);
QT_API VideoDigitizerError VDSelectUniqueIDs(VideoDigitizerComponent ci, const UInt64* inDeviceID,
                                             const UInt64* inInputID);
QT_API VideoDigitizerError VDSetCompression(VideoDigitizerComponent ci, OSType compressType,
                                            short depth, Rect* bounds, CodecQ spatialQuality,
                                            CodecQ temporalQuality, long keyFrameRate);
QT_API VideoDigitizerError VDCompressOneFrameAsync(VideoDigitizerComponent ci);
// A frame handed out stays the digitizer's until VDReleaseCompressBuffer gives it back.
QT_API VideoDigitizerError VDCompressDone(VideoDigitizerComponent ci, UInt8* queuedFrameCount,
                                          Ptr* theData, long* dataSize, UInt8* similarity,
                                          TimeRecord* t);
QT_API VideoDigitizerError VDReleaseCompressBuffer(VideoDigitizerComponent ci, Ptr bufferAddr);
QT_API VideoDigitizerError VDGetImageDescription(VideoDigitizerComponent ci,
                                                 ImageDescriptionHandle desc);
QT_API VideoDigitizerError VDResetCompressSequence(VideoDigitizerComponent ci);
QT_API VideoDigitizerError VDSetCompressionOnOff(VideoDigitizerComponent ci, Boolean state);
QT_API VideoDigitizerError VDGetCompressionTypes(VideoDigitizerComponent ci,
                                                 VDCompressionListHandle h);
QT_API VideoDigitizerError VDSetTimeBase(VideoDigitizerComponent ci, TimeBase t);
QT_API VideoDigitizerError VDSetFrameRate(VideoDigitizerComponent ci, Fixed framesPerSecond);
QT_API VideoDigitizerError VDGetDataRate(VideoDigitizerComponent ci, long* milliSecPerFrame,
                                         Fixed* framesPerSecond, long* bytesPerSecond);
QT_API VideoDigitizerError VDSetDataRate(VideoDigitizerComponent ci, long bytesPerSecond);
QT_API VideoDigitizerError VDGetCompressionTime(VideoDigitizerComponent ci, OSType compressionType,
                                                short depth, Rect* srcRect, CodecQ* spatialQuality,
                                                CodecQ* temporalQuality,
                                                unsigned long* compressTime);
QT_API VideoDigitizerError VDSetPLLFilterType(VideoDigitizerComponent ci, short pllType);
QT_API VideoDigitizerError VDGetPLLFilterType(VideoDigitizerComponent ci, short* pllType);
QT_API VideoDigitizerError VDGetPreferredTimeScale(VideoDigitizerComponent ci,
                                                   TimeScale* preferred);
// The time-code format is a TimeCodeDef and the time-code time a TimeCodeRecord.
QT_API VideoDigitizerError VDGetTimeCode(VideoDigitizerComponent ci, TimeRecord* atTime,
                                         void* timeCodeFormat, void* timeCodeTime);
QT_API VideoDigitizerError VDGetPreferredImageDimensions(VideoDigitizerComponent ci, long* width,
                                                         long* height);
QT_API VideoDigitizerError VDCaptureStateChanging(VideoDigitizerComponent ci, UInt32 inStateFlags);

} // namespace platform::quicktime
