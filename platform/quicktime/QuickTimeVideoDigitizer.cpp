#include "platform/quicktime/QuickTimeVideoDigitizer.h"

// Each call is the parameter block of its selector, nothing more: what the digitizer does with
// it is the digitizer's own business.
namespace platform::quicktime {

VideoDigitizerError VDGetMaxSrcRect(VideoDigitizerComponent ci, short inputStd, Rect* maxSrcRect) {
    return CallComponent(ci, kVDGetMaxSrcRectSelect, inputStd, maxSrcRect);
}

VideoDigitizerError VDGetActiveSrcRect(VideoDigitizerComponent ci, short inputStd,
                                       Rect* activeSrcRect) {
    return CallComponent(ci, kVDGetActiveSrcRectSelect, inputStd, activeSrcRect);
}

VideoDigitizerError VDSetDigitizerRect(VideoDigitizerComponent ci, Rect* digitizerRect) {
    return CallComponent(ci, kVDSetDigitizerRectSelect, digitizerRect);
}

VideoDigitizerError VDGetDigitizerRect(VideoDigitizerComponent ci, Rect* digitizerRect) {
    return CallComponent(ci, kVDGetDigitizerRectSelect, digitizerRect);
}

VideoDigitizerError VDGetVBlankRect(VideoDigitizerComponent ci, short inputStd, Rect* vBlankRect) {
    return CallComponent(ci, kVDGetVBlankRectSelect, inputStd, vBlankRect);
}

VideoDigitizerError VDSetBrightness(VideoDigitizerComponent ci, unsigned short* brightness) {
    return CallComponent(ci, kVDSetBrightnessSelect, brightness);
}

VideoDigitizerError VDGetBrightness(VideoDigitizerComponent ci, unsigned short* brightness) {
    return CallComponent(ci, kVDGetBrightnessSelect, brightness);
}

VideoDigitizerError VDSetContrast(VideoDigitizerComponent ci, unsigned short* contrast) {
    return CallComponent(ci, kVDSetContrastSelect, contrast);
}

VideoDigitizerError VDGetContrast(VideoDigitizerComponent ci, unsigned short* contrast) {
    return CallComponent(ci, kVDGetContrastSelect, contrast);
}

VideoDigitizerError VDSetHue(VideoDigitizerComponent ci, unsigned short* hue) {
    return CallComponent(ci, kVDSetHueSelect, hue);
}

VideoDigitizerError VDGetHue(VideoDigitizerComponent ci, unsigned short* hue) {
    return CallComponent(ci, kVDGetHueSelect, hue);
}

VideoDigitizerError VDSetSaturation(VideoDigitizerComponent ci, unsigned short* saturation) {
    return CallComponent(ci, kVDSetSaturationSelect, saturation);
}

VideoDigitizerError VDGetSaturation(VideoDigitizerComponent ci, unsigned short* saturation) {
    return CallComponent(ci, kVDGetSaturationSelect, saturation);
}

VideoDigitizerError VDSetSharpness(VideoDigitizerComponent ci, unsigned short* sharpness) {
    return CallComponent(ci, kVDSetSharpnessSelect, sharpness);
}

VideoDigitizerError VDGetSharpness(VideoDigitizerComponent ci, unsigned short* sharpness) {
    return CallComponent(ci, kVDGetSharpnessSelect, sharpness);
}

VideoDigitizerError VDSetBlackLevelValue(VideoDigitizerComponent ci, unsigned short* blackLevel) {
    return CallComponent(ci, kVDSetBlackLevelValueSelect, blackLevel);
}

VideoDigitizerError VDGetBlackLevelValue(VideoDigitizerComponent ci, unsigned short* blackLevel) {
    return CallComponent(ci, kVDGetBlackLevelValueSelect, blackLevel);
}

VideoDigitizerError VDSetWhiteLevelValue(VideoDigitizerComponent ci, unsigned short* whiteLevel) {
    return CallComponent(ci, kVDSetWhiteLevelValueSelect, whiteLevel);
}

VideoDigitizerError VDGetWhiteLevelValue(VideoDigitizerComponent ci, unsigned short* whiteLevel) {
    return CallComponent(ci, kVDGetWhiteLevelValueSelect, whiteLevel);
}

VideoDigitizerError VDGetVideoDefaults(VideoDigitizerComponent ci, unsigned short* blackLevel,
                                       unsigned short* whiteLevel, unsigned short* brightness,
                                       unsigned short* hue, unsigned short* saturation,
                                       unsigned short* contrast, unsigned short* sharpness) {
    return CallComponent(ci, kVDGetVideoDefaultsSelect, blackLevel, whiteLevel, brightness, hue,
                         saturation, contrast, sharpness);
}

VideoDigitizerError VDGetDigitizerInfo(VideoDigitizerComponent ci, DigitizerInfo* info) {
    return CallComponent(ci, kVDGetDigitizerInfoSelect, info);
}

VideoDigitizerError VDGetCurrentFlags(VideoDigitizerComponent ci, long* inputCurrentFlag,
                                      long* outputCurrentFlag) {
    return CallComponent(ci, kVDGetCurrentFlagsSelect, inputCurrentFlag, outputCurrentFlag);
}

VideoDigitizerError VDGetNumberOfInputs(VideoDigitizerComponent ci, short* inputs) {
    return CallComponent(ci, kVDGetNumberOfInputsSelect, inputs);
}

VideoDigitizerError VDGetInputFormat(VideoDigitizerComponent ci, short input, short* format) {
    return CallComponent(ci, kVDGetInputFormatSelect, input, format);
}

VideoDigitizerError VDSetInput(VideoDigitizerComponent ci, short input) {
    return CallComponent(ci, kVDSetInputSelect, input);
}

VideoDigitizerError VDGetInput(VideoDigitizerComponent ci, short* input) {
    return CallComponent(ci, kVDGetInputSelect, input);
}

VideoDigitizerError VDSetInputStandard(VideoDigitizerComponent ci, short inputStandard) {
    return CallComponent(ci, kVDSetInputStandardSelect, inputStandard);
}

VideoDigitizerError VDGetInputName(VideoDigitizerComponent ci, long videoInput, Str255 name) {
    return CallComponent(ci, kVDGetInputNameSelect, videoInput, name);
}

VideoDigitizerError VDGetDeviceNameAndFlags(VideoDigitizerComponent ci, Str255 outName,
                                            UInt32* outNameFlags) {
    return CallComponent(ci, kVDGetDeviceNameAndFlagsSelect, outName, outNameFlags);
}

VideoDigitizerError VDGetUniqueIDs(VideoDigitizerComponent ci, UInt64* outDeviceID,
                                   UInt64* outInputID) {
    return CallComponent(ci, kVDGetUniqueIDsSelect, outDeviceID, outInputID);
}

VideoDigitizerError VDSelectUniqueIDs(VideoDigitizerComponent ci, const UInt64* inDeviceID,
                                      const UInt64* inInputID) {
    return CallComponent(ci, kVDSelectUniqueIDsSelect, inDeviceID, inInputID);
}

VideoDigitizerError VDSetCompression(VideoDigitizerComponent ci, OSType compressType, short depth,
                                     Rect* bounds, CodecQ spatialQuality, CodecQ temporalQuality,
                                     long keyFrameRate) {
    return CallComponent(ci, kVDSetCompressionSelect, compressType, depth, bounds, spatialQuality,
                         temporalQuality, keyFrameRate);
}

VideoDigitizerError VDCompressOneFrameAsync(VideoDigitizerComponent ci) {
    return CallComponent(ci, kVDCompressOneFrameAsyncSelect);
}

VideoDigitizerError VDCompressDone(VideoDigitizerComponent ci, UInt8* queuedFrameCount,
                                   Ptr* theData, long* dataSize, UInt8* similarity, TimeRecord* t) {
    return CallComponent(ci, kVDCompressDoneSelect, queuedFrameCount, theData, dataSize, similarity,
                         t);
}

VideoDigitizerError VDReleaseCompressBuffer(VideoDigitizerComponent ci, Ptr bufferAddr) {
    return CallComponent(ci, kVDReleaseCompressBufferSelect, bufferAddr);
}

VideoDigitizerError VDGetImageDescription(VideoDigitizerComponent ci, ImageDescriptionHandle desc) {
    return CallComponent(ci, kVDGetImageDescriptionSelect, desc);
}

VideoDigitizerError VDResetCompressSequence(VideoDigitizerComponent ci) {
    return CallComponent(ci, kVDResetCompressSequenceSelect);
}

VideoDigitizerError VDSetCompressionOnOff(VideoDigitizerComponent ci, Boolean state) {
    return CallComponent(ci, kVDSetCompressionOnOffSelect, state);
}

VideoDigitizerError VDGetCompressionTypes(VideoDigitizerComponent ci, VDCompressionListHandle h) {
    return CallComponent(ci, kVDGetCompressionTypesSelect, h);
}

VideoDigitizerError VDSetTimeBase(VideoDigitizerComponent ci, TimeBase t) {
    return CallComponent(ci, kVDSetTimeBaseSelect, t);
}

VideoDigitizerError VDSetFrameRate(VideoDigitizerComponent ci, Fixed framesPerSecond) {
    return CallComponent(ci, kVDSetFrameRateSelect, framesPerSecond);
}

VideoDigitizerError VDGetDataRate(VideoDigitizerComponent ci, long* milliSecPerFrame,
                                  Fixed* framesPerSecond, long* bytesPerSecond) {
    return CallComponent(ci, kVDGetDataRateSelect, milliSecPerFrame, framesPerSecond,
                         bytesPerSecond);
}

VideoDigitizerError VDSetDataRate(VideoDigitizerComponent ci, long bytesPerSecond) {
    return CallComponent(ci, kVDSetDataRateSelect, bytesPerSecond);
}

VideoDigitizerError VDGetCompressionTime(VideoDigitizerComponent ci, OSType compressionType,
                                         short depth, Rect* srcRect, CodecQ* spatialQuality,
                                         CodecQ* temporalQuality, unsigned long* compressTime) {
    return CallComponent(ci, kVDGetCompressionTimeSelect, compressionType, depth, srcRect,
                         spatialQuality, temporalQuality, compressTime);
}

VideoDigitizerError VDSetPLLFilterType(VideoDigitizerComponent ci, short pllType) {
    return CallComponent(ci, kVDSetPLLFilterTypeSelect, pllType);
}

VideoDigitizerError VDGetPLLFilterType(VideoDigitizerComponent ci, short* pllType) {
    return CallComponent(ci, kVDGetPLLFilterTypeSelect, pllType);
}

VideoDigitizerError VDGetPreferredTimeScale(VideoDigitizerComponent ci, TimeScale* preferred) {
    return CallComponent(ci, kVDGetPreferredTimeScaleSelect, preferred);
}

VideoDigitizerError VDGetTimeCode(VideoDigitizerComponent ci, TimeRecord* atTime,
                                  void* timeCodeFormat, void* timeCodeTime) {
    return CallComponent(ci, kVDGetTimeCodeSelect, atTime, timeCodeFormat, timeCodeTime);
}

VideoDigitizerError VDGetPreferredImageDimensions(VideoDigitizerComponent ci, long* width,
                                                  long* height) {
    return CallComponent(ci, kVDGetPreferredImageDimensionsSelect, width, height);
}

VideoDigitizerError VDCaptureStateChanging(VideoDigitizerComponent ci, UInt32 inStateFlags) {
    return CallComponent(ci, kVDCaptureStateChangingSelect, inStateFlags);
}

} // namespace platform::quicktime
