#pragma once

#include "platform/quicktime/QuickTimeVideoDigitizer.h"

// The digitizer is written in the media toolkit's own names; nothing but the component's code
// includes this header.
using namespace platform::quicktime;

// The generic video digitizer: every supported selector's behaviour, on top of eight device
// operations that say where frames come from. Errors are the toolkit's numbers.
class QVDigDeviceBase {
public:
    static constexpr TimeScale kPreferredVideoTimeScale = 30;
    static constexpr Fixed kPreferredVideoFrameRate = 0x1E0000; // 30.0
    static constexpr long kVersion = 0x20001;
    // The component's string list: the device name, then the image description's name.
    static constexpr short kStringListID = 200;
    static constexpr short kDeviceNameIndex = 1;

    QVDigDeviceBase() = default;
    virtual ~QVDigDeviceBase() = default;
    QVDigDeviceBase(const QVDigDeviceBase&) = delete;
    QVDigDeviceBase& operator=(const QVDigDeviceBase&) = delete;

    virtual ComponentResult OpenInitialize();
    virtual ComponentResult Close();
    virtual ComponentResult Version();
    virtual ComponentResult GetMaxSrcRect(short inputStd, Rect* maxSrcRect);
    virtual ComponentResult GetActiveSrcRect(short inputStd, Rect* activeSrcRect);
    virtual ComponentResult SetDigitizerRect(Rect* inDigitizerRect);
    virtual ComponentResult GetDigitizerRect(Rect* outDigitizerRect);
    virtual ComponentResult GetVBlankRect(short inputStd, Rect* vBlankRect);
    virtual ComponentResult SetBrightness(unsigned short* brightness);
    virtual ComponentResult GetBrightness(unsigned short* brightness);
    virtual ComponentResult SetContrast(unsigned short* contrast);
    virtual ComponentResult GetContrast(unsigned short* contrast);
    virtual ComponentResult SetHue(unsigned short* hue);
    virtual ComponentResult GetHue(unsigned short* hue);
    virtual ComponentResult SetSaturation(unsigned short* saturation);
    virtual ComponentResult GetSaturation(unsigned short* saturation);
    virtual ComponentResult SetSharpness(unsigned short* sharpness);
    virtual ComponentResult GetSharpness(unsigned short* sharpness);
    virtual ComponentResult SetBlackLevelValue(unsigned short* blackLevel);
    virtual ComponentResult GetBlackLevelValue(unsigned short* blackLevel);
    virtual ComponentResult SetWhiteLevelValue(unsigned short* whiteLevel);
    virtual ComponentResult GetWhiteLevelValue(unsigned short* whiteLevel);
    virtual ComponentResult GetVideoDefaults(unsigned short* blackLevel, unsigned short* whiteLevel,
                                             unsigned short* brightness, unsigned short* hue,
                                             unsigned short* saturation, unsigned short* contrast,
                                             unsigned short* sharpness);
    virtual ComponentResult GetDigitizerInfo(DigitizerInfo* info);
    virtual ComponentResult GetCurrentFlags(long* inputCurrentFlag, long* outputCurrentFlag);
    virtual ComponentResult GetNumberOfInputs(short* inputs);
    virtual ComponentResult GetInputFormat(short input, short* format);
    virtual ComponentResult SetInput(short input);
    virtual ComponentResult GetInput(short* input);
    virtual ComponentResult SetInputStandard(short inputStandard);
    virtual ComponentResult GetInputName(long videoInput, Str255 name);
    virtual ComponentResult GetDeviceNameAndFlags(Str255 outName, UInt32* outNameFlags);
    virtual ComponentResult GetUniqueIDs(UInt64* outDeviceID, UInt64* outInputID);
    virtual ComponentResult SelectUniqueIDs(const UInt64* inDeviceID, const UInt64* inInputID);
    virtual ComponentResult SetCompression(OSType compressType, short depth, Rect* bounds,
                                           CodecQ spatialQuality, CodecQ temporalQuality,
                                           long keyFrameRate);
    virtual ComponentResult CompressOneFrameAsync();
    virtual ComponentResult CompressDone(UInt8* queuedFrameCount, Ptr* theData, long* dataSize,
                                         UInt8* similarity, TimeRecord* t);
    virtual ComponentResult ReleaseCompressBuffer(Ptr bufferAddr);
    virtual ComponentResult GetImageDescription(ImageDescriptionHandle desc);
    virtual ComponentResult ResetCompressSequence();
    virtual ComponentResult SetCompressionOnOff(Boolean state);
    virtual ComponentResult GetCompressionTypes(VDCompressionListHandle h);
    virtual ComponentResult SetTimeBase(TimeBase inTimeBase);
    virtual ComponentResult SetFrameRate(Fixed inFramesPerSecond);
    virtual ComponentResult GetDataRate(long* milliSecPerFrame, Fixed* framesPerSecond,
                                        long* bytesPerSecond);
    virtual ComponentResult SetDataRate(long bytesPerSecond);
    virtual ComponentResult GetCompressionTime(OSType compressType, short depth, Rect* srcRect,
                                               CodecQ* spatialQuality, CodecQ* temporalQuality,
                                               unsigned long* compressTime);
    virtual ComponentResult SetPLLFilterType(short pllType);
    virtual ComponentResult GetPLLFilterType(short* pllType);
    virtual ComponentResult GetPreferredTimeScale(TimeScale* preferred);
    virtual ComponentResult GetTimeCode(TimeRecord* atTime, void* timeCodeFormat,
                                        void* timeCodeTime);
    virtual ComponentResult GetPreferredImageDimensions(long* width, long* height);
    virtual ComponentResult CaptureStateChanging(UInt32 inStateFlags);

    // Where frames come from.
    virtual bool DeviceConnect() = 0;
    virtual void DeviceDisconnect() = 0;
    virtual ComponentResult DeviceCreateImageDescription() = 0;
    virtual void DeviceGetMaxSrcRect(Rect* rect) = 0;
    virtual ComponentResult DeviceGetFrame(UInt8* queuedFrameCount, Ptr* data, long* dataSize) = 0;
    virtual ComponentResult DeviceGetName(Str255 name) = 0;
    virtual ComponentResult DeviceReleaseFrameBuffer(Ptr data) = 0;
    virtual ComponentResult DeviceSetCompressionOnOff(Boolean on) = 0;

    // Builds _desc for a device that delivers frames of this size and pixel format.
    ComponentResult CreateImageDescription(short width, short height, OSType pixelFormat);

    void SetSelf(ComponentInstance self) { _self = self; }

protected:
    // The description's entry of the compression list; false for a format it cannot describe.
    static bool ImageDescriptionCompressionList(ImageDescriptionHandle desc,
                                                VDCompressionList& entry);
    // Works out the time code of the paced frame just delivered.
    void UpdateTimeCode();

    ComponentInstance _self = nullptr;
    Rect _maxSrcRect = {};
    Rect _digitizerRect = {};
    OSType _compressType = 0;
    short _compressDepth = 0;
    Rect _compressBounds = {};
    CodecQ _spatialQuality = 0;
    CodecQ _temporalQuality = 0;
    long _keyFrameRate = 0;
    ImageDescriptionHandle _desc = nullptr;
    bool _compressOn = false;
    TimeBase _timeBase = nullptr;
    Fixed _frameRate = 0;
    TimeRecord _frameTime = {};
    bool _timeCodeStarted = false;
    TimeValue _nextFrameTime = 0;
    TimeValue _frameDuration = 0;
    TimeRecord _timeCodeTime = {};
    TimeCodeDef _timeCodeDef = {};
    TimeCodeRecord _timeCodeRecord = {};
    int32_t _inputCurrentFlags = 0;
    int32_t _outputCurrentFlags = 0;
    UInt32 _captureState = 0;
    unsigned short _blackLevel = 0;
    unsigned short _whiteLevel = 0;
    unsigned short _brightness = 0;
    unsigned short _hue = 0;
    unsigned short _saturation = 0;
    unsigned short _contrast = 0;
    unsigned short _sharpness = 0;
    OSType _devicePixelFormat = 0;
};
