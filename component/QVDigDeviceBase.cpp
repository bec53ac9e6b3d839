#include "component/QVDigDeviceBase.h"

#include "core/CoreVerify.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr OSType k2vuyPixelFormat = FourCC("2vuy");
constexpr OSType kRawPixelFormat = FourCC("raw ");
constexpr OSType kAppleManufacturer = FourCC("appl");
constexpr OSType kKeyGripManufacturer = FourCC("KeyG");
constexpr Fixed kScreenResolution = 0x480000; // 72 dpi

constexpr int32_t kInputFlags =
    digiInDoesNTSC | digiInDoesComponent | digiInDoesColor | digiInSignalLock;
constexpr int32_t kOutputFlags = digiOutDoes8 | digiOutDoes16 | digiOutDoes32 |
                                 digiOutDoesCompress | digiOutDoesCompressOnly |
                                 digiOutDoesNotNeedCopyOfCompressData;
static_assert(uint32_t(kInputFlags) == 0x80001401 && uint32_t(kOutputFlags) == 0x98000038);

int32_t BytesPerPixel(OSType pixelFormat) {
    return pixelFormat == k2vuyPixelFormat ? 2 : 4;
}

void CopyPascal(const unsigned char* source, unsigned char* destination, size_t capacity) {
    const size_t length = std::min<size_t>(source[0], capacity - 1);
    destination[0] = static_cast<unsigned char>(length);
    std::memcpy(destination + 1, source + 1, length);
}

void SetPascal(const char* text, unsigned char* destination) {
    CopyCStringToPascal(text, destination);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Opening and closing

ComponentResult QVDigDeviceBase::OpenInitialize() {
    ComponentResult result = noErr;
    // clang-format off
    if (!VERIFY(DeviceConnect())) return qtParamErr;
    if (VERIFY_ERR(result = DeviceCreateImageDescription())) return result;
    if (VERIFY_ERR(result = GetMaxSrcRect(ntscIn, &_maxSrcRect))) return result;
    _digitizerRect = _maxSrcRect;
    VERIFY_ERR(result = GetVideoDefaults( &(_blackLevel), &(_whiteLevel), &(_brightness), &(_hue), &(_saturation), &(_contrast), &(_sharpness)));
    // clang-format on
    return result;
}

ComponentResult QVDigDeviceBase::Close() {
    DeviceDisconnect();
    if (_desc) {
        DisposeHandle(reinterpret_cast<Handle>(_desc));
        _desc = nullptr;
    }
    return noErr;
}

ComponentResult QVDigDeviceBase::Version() {
    return kVersion;
}

// ---------------------------------------------------------------------------------------------
// Source and digitizer rectangles

ComponentResult QVDigDeviceBase::GetMaxSrcRect(short inputStd, Rect* maxSrcRect) {
    // clang-format off
    if (!VERIFY(inputStd == ntscIn)) return qtParamErr;
    // clang-format on
    DeviceGetMaxSrcRect(&_maxSrcRect);
    if (maxSrcRect) *maxSrcRect = _maxSrcRect;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetActiveSrcRect(short inputStd, Rect* activeSrcRect) {
    // clang-format off
    if (!VERIFY(inputStd == ntscIn)) return qtParamErr;
    if (!VERIFY(!EmptyRect(&_maxSrcRect))) return badCallOrderErr;
    // clang-format on
    if (activeSrcRect) *activeSrcRect = _maxSrcRect;
    return noErr;
}

ComponentResult QVDigDeviceBase::SetDigitizerRect(Rect* inDigitizerRect) {
    Rect intersectionRect;
    // clang-format off
    if (!VERIFY(inDigitizerRect)) return qtParamErr;
    if (!VERIFY(!EmptyRect(inDigitizerRect))) return qtParamErr;
    if (!VERIFY(SectRect(inDigitizerRect, &(_maxSrcRect), &intersectionRect))) return qtParamErr;
    if (!VERIFY(MacEqualRect(inDigitizerRect, &intersectionRect))) return qtParamErr;
    // clang-format on
    _digitizerRect = *inDigitizerRect;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetDigitizerRect(Rect* outDigitizerRect) {
    // clang-format off
    if (!VERIFY(outDigitizerRect)) return qtParamErr;
    // clang-format on
    *outDigitizerRect = _digitizerRect;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetVBlankRect(short, Rect* vBlankRect) {
    if (vBlankRect) *vBlankRect = Rect{0, 0, 0, 0};
    return noErr;
}

// ---------------------------------------------------------------------------------------------
// Picture settings: kept, not applied (the frames are the writer's pixels as they are)

namespace {

ComponentResult Store(unsigned short* value, unsigned short& field) {
    if (!value) return qtParamErr;
    field = *value;
    return noErr;
}

ComponentResult Load(unsigned short* value, unsigned short field) {
    if (!value) return qtParamErr;
    *value = field;
    return noErr;
}

} // namespace

ComponentResult QVDigDeviceBase::SetBrightness(unsigned short* v) {
    return Store(v, _brightness);
}
ComponentResult QVDigDeviceBase::GetBrightness(unsigned short* v) {
    return Load(v, _brightness);
}
ComponentResult QVDigDeviceBase::SetContrast(unsigned short* v) {
    return Store(v, _contrast);
}
ComponentResult QVDigDeviceBase::GetContrast(unsigned short* v) {
    return Load(v, _contrast);
}
ComponentResult QVDigDeviceBase::SetHue(unsigned short* v) {
    return Store(v, _hue);
}
ComponentResult QVDigDeviceBase::GetHue(unsigned short* v) {
    return Load(v, _hue);
}
ComponentResult QVDigDeviceBase::SetSaturation(unsigned short* v) {
    return Store(v, _saturation);
}
ComponentResult QVDigDeviceBase::GetSaturation(unsigned short* v) {
    return Load(v, _saturation);
}
ComponentResult QVDigDeviceBase::SetSharpness(unsigned short* v) {
    return Store(v, _sharpness);
}
ComponentResult QVDigDeviceBase::GetSharpness(unsigned short* v) {
    return Load(v, _sharpness);
}
ComponentResult QVDigDeviceBase::SetBlackLevelValue(unsigned short* v) {
    return Store(v, _blackLevel);
}
ComponentResult QVDigDeviceBase::GetBlackLevelValue(unsigned short* v) {
    return Load(v, _blackLevel);
}
ComponentResult QVDigDeviceBase::SetWhiteLevelValue(unsigned short* v) {
    return Store(v, _whiteLevel);
}
ComponentResult QVDigDeviceBase::GetWhiteLevelValue(unsigned short* v) {
    return Load(v, _whiteLevel);
}

ComponentResult QVDigDeviceBase::GetVideoDefaults(unsigned short* blackLevel,
                                                  unsigned short* whiteLevel,
                                                  unsigned short* brightness, unsigned short* hue,
                                                  unsigned short* saturation,
                                                  unsigned short* contrast,
                                                  unsigned short* sharpness) {
    const struct {
        unsigned short* out;
        unsigned short value;
    } defaults[] = {{blackLevel, 0},      {whiteLevel, 0xE665}, {brightness, 0x7FFF}, {hue, 0x7AE0},
                    {saturation, 0x8A3C}, {contrast, 0xE146},   {sharpness, 0xFAE0}};
    for (const auto& entry : defaults) {
        if (entry.out) *entry.out = entry.value;
    }
    return noErr;
}

// ---------------------------------------------------------------------------------------------
// Digitizer and inputs

ComponentResult QVDigDeviceBase::GetDigitizerInfo(DigitizerInfo* info) {
    if (!info) return qtParamErr;
    *info = DigitizerInfo{};
    info->vdigType = vdTypeBasic;
    info->inputCapabilityFlags = kInputFlags;
    info->outputCapabilityFlags = kOutputFlags;
    info->inputCurrentFlags = kInputFlags;
    info->outputCurrentFlags = kOutputFlags;
    info->maxDestHeight = _maxSrcRect.bottom;
    info->maxDestWidth = _maxSrcRect.right;
    _inputCurrentFlags = info->inputCurrentFlags;
    _outputCurrentFlags = info->outputCurrentFlags;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetCurrentFlags(long* inputCurrentFlag, long* outputCurrentFlag) {
    if (inputCurrentFlag) *inputCurrentFlag = _inputCurrentFlags;
    if (outputCurrentFlag) *outputCurrentFlag = _outputCurrentFlags;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetNumberOfInputs(short* inputs) {
    if (inputs) *inputs = 0;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetInputFormat(short input, short* format) {
    // clang-format off
    if (!VERIFY(input==0)) return qtParamErr;
    // clang-format on
    const bool isRaw = _desc && (*_desc)->cType == kRawPixelFormat;
    if (format) *format = isRaw ? rgbComponentIn : yuvComponentIn;
    return noErr;
}

ComponentResult QVDigDeviceBase::SetInput(short input) {
    // clang-format off
    if (!VERIFY(input == 0)) return qtParamErr;
    // clang-format on
    return noErr;
}

ComponentResult QVDigDeviceBase::GetInput(short* input) {
    if (input) *input = 0;
    return noErr;
}

ComponentResult QVDigDeviceBase::SetInputStandard(short inputStandard) {
    // clang-format off
    if (!VERIFY(ntscIn == inputStandard || ntscReallyIn == inputStandard)) return qtParamErr;
    // clang-format on
    return noErr;
}

ComponentResult QVDigDeviceBase::GetInputName(long videoInput, Str255 name) {
    // clang-format off
    VERIFY(videoInput==0);
    // clang-format on
    return DeviceGetName(name);
}

ComponentResult QVDigDeviceBase::GetDeviceNameAndFlags(Str255 outName, UInt32* outNameFlags) {
    ComponentResult result =
        GetComponentIndString(Component(_self), outName, kStringListID, kDeviceNameIndex);
    if (VERIFY_ERR(result)) return result;
    if (outNameFlags) *outNameFlags = vdDeviceFlagShowInputsAsDevices;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetUniqueIDs(UInt64*, UInt64*) {
    return digiUnimpErr;
}

ComponentResult QVDigDeviceBase::SelectUniqueIDs(const UInt64*, const UInt64*) {
    return digiUnimpErr;
}

// ---------------------------------------------------------------------------------------------
// Compression: delivering frames

ComponentResult QVDigDeviceBase::SetCompression(OSType compressType, short depth, Rect* bounds,
                                                CodecQ spatialQuality, CodecQ temporalQuality,
                                                long keyFrameRate) {
    if (!_compressOn) return badCallOrderErr;
    if (compressType == 0) {
        compressType = _devicePixelFormat;
        spatialQuality = codecLosslessQuality;
        temporalQuality = 0;
        keyFrameRate = 0;
    } else if (compressType != _devicePixelFormat) {
        return noCodecErr;
    }
    _compressType = compressType;
    _compressDepth = depth ? depth : 24;
    _compressBounds = bounds ? *bounds : Rect{0, 0, 0, 0};
    _spatialQuality = spatialQuality;
    _temporalQuality = temporalQuality;
    _keyFrameRate = keyFrameRate;
    // clang-format off
    if (!VERIFY(_desc)) return noErr;
    // clang-format on
    const SInt32 width = _digitizerRect.right - _digitizerRect.left;
    const SInt32 height = _digitizerRect.bottom - _digitizerRect.top;
    (*_desc)->width = int16_t(width);
    (*_desc)->height = int16_t(height);
    ICMImageDescriptionSetProperty(_desc, kQTPropertyClass_ImageDescription,
                                   kICMImageDescriptionPropertyID_EncodedWidth, sizeof width,
                                   &width);
    ICMImageDescriptionSetProperty(_desc, kQTPropertyClass_ImageDescription,
                                   kICMImageDescriptionPropertyID_EncodedHeight, sizeof height,
                                   &height);
    return noErr;
}

ComponentResult QVDigDeviceBase::CompressOneFrameAsync() {
    return _compressOn ? noErr : badCallOrderErr;
}

ComponentResult QVDigDeviceBase::CompressDone(UInt8* queuedFrameCount, Ptr* theData, long* dataSize,
                                              UInt8* similarity, TimeRecord* t) {
    if (!queuedFrameCount || !theData || !dataSize) return qtParamErr;
    *queuedFrameCount = 0;
    *theData = nullptr;
    *dataSize = 0;
    if (similarity) *similarity = 0;
    if (!_compressOn) return badCallOrderErr;

    ComponentResult result = noErr;
    if (_captureState & vdFlagCaptureIsForPreview) {
        // clang-format off
        if (VERIFY_ERR(result=DeviceGetFrame(queuedFrameCount, theData, dataSize))) return result;
        // clang-format on
        if (t) GetTimeBaseTime(_timeBase, kPreferredVideoTimeScale, t);
        return noErr;
    }

    // Paced: one frame per frame duration of the capture application's clock.
    if (_frameDuration == 0 || GetTimeBaseRate(_timeBase) == 0) return noErr;
    const TimeValue now = GetTimeBaseTime(_timeBase, kPreferredVideoTimeScale, nullptr);
    if (now < _nextFrameTime) return noErr;
    // clang-format off
    if (VERIFY_ERR(result=DeviceGetFrame(queuedFrameCount, theData, dataSize))) return result;
    // clang-format on
    if (*queuedFrameCount == 0) return noErr;

    if (!_timeCodeStarted) {
        _nextFrameTime = GetTimeBaseTime(_timeBase, kPreferredVideoTimeScale, &_frameTime);
        _timeCodeStarted = true;
        _timeCodeTime = TimeRecord{Int64ToWide(0), _frameTime.scale, _frameTime.base};
        _timeCodeDef.flags = (_frameRate >> 16) == 29 ? tcDropFrame | tc24HourMax : tc24HourMax;
        _timeCodeDef.fTimeScale = _frameTime.scale;
        _timeCodeDef.frameDuration = _frameDuration;
        // Frames in one second of time code: the preferred scale's ticks per second over the
        // ticks per frame, rounded (30 at 30 and 29.97 frames per second, 15 at 15).
        _timeCodeDef.numFrames =
            UInt8((2 * kPreferredVideoTimeScale + _frameDuration) / (2 * _frameDuration));
    } else {
        // Moments the application did not ask in (it stalled, or no frame was ready) are gone,
        // as with any camera: this frame takes the latest one due, and no backlog of copies of
        // it follows.
        const TimeValue missed = (now - _nextFrameTime) / _frameDuration * _frameDuration;
        _nextFrameTime += missed;
        _frameTime.value = Int64ToWide(WideToInt64(_frameTime.value) + _frameDuration + missed);
        _timeCodeTime.value =
            Int64ToWide(WideToInt64(_timeCodeTime.value) + _frameDuration + missed);
    }
    UpdateTimeCode();
    _nextFrameTime += _frameDuration;
    if (t) *t = _frameTime;
    return noErr;
}

void QVDigDeviceBase::UpdateTimeCode() {
    TimeRecord elapsed = _timeCodeTime;
    ConvertTimeScale(&elapsed, _timeCodeDef.fTimeScale);
    const int64_t n = _timeCodeDef.numFrames;
    if (_timeCodeDef.frameDuration <= 0 || n <= 0) return;
    int64_t f = WideToInt64(elapsed.value) / _timeCodeDef.frameDuration;
    if (_timeCodeDef.flags & tcDropFrame) {
        // Two frame numbers are skipped every minute except every tenth.
        const int64_t p = 600 * n - 18;
        const int64_t r = f % p;
        f += 18 * (f / p);
        if (r >= 60 * n) f += 2 + 2 * ((r - 60 * n) / (60 * n - 2));
    }
    int64_t hours = f / (3600 * n);
    if (_timeCodeDef.flags & tc24HourMax) hours %= 24;
    // Hours count from 1.
    _timeCodeRecord.t.hours = UInt8(hours + 1);
    _timeCodeRecord.t.minutes = UInt8((f / (60 * n)) % 60);
    _timeCodeRecord.t.seconds = UInt8((f / n) % 60);
    _timeCodeRecord.t.frames = UInt8(f % n);
}

ComponentResult QVDigDeviceBase::ReleaseCompressBuffer(Ptr bufferAddr) {
    // clang-format off
    if (!VERIFY(_compressOn)) return badCallOrderErr;
    // clang-format on
    return DeviceReleaseFrameBuffer(bufferAddr);
}

ComponentResult QVDigDeviceBase::GetImageDescription(ImageDescriptionHandle desc) {
    OSErr err = noErr;
    // clang-format off
    if (!VERIFY(_desc)) return badCallOrderErr;
    // clang-format on
    const Size size = GetHandleSize(reinterpret_cast<Handle>(_desc));
    SetHandleSize(reinterpret_cast<Handle>(desc), size);
    // clang-format off
    if (VERIFY_ERR(err = MemError())) return err;
    // clang-format on
    std::memcpy(*desc, *_desc, size_t(size));
    // The encoded size belongs to the description as much as its bytes do.
    for (ComponentPropertyID id : {kICMImageDescriptionPropertyID_EncodedWidth,
                                   kICMImageDescriptionPropertyID_EncodedHeight}) {
        SInt32 value = 0;
        if (ICMImageDescriptionGetProperty(_desc, kQTPropertyClass_ImageDescription, id,
                                           sizeof value, &value, nullptr) == noErr)
            ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription, id,
                                           sizeof value, &value);
    }
    return noErr;
}

ComponentResult QVDigDeviceBase::ResetCompressSequence() {
    return noErr;
}

ComponentResult QVDigDeviceBase::SetCompressionOnOff(Boolean state) {
    const bool on = state != 0;
    if (on == _compressOn) return noErr;
    _compressOn = on;
    return DeviceSetCompressionOnOff(state);
}

ComponentResult QVDigDeviceBase::GetCompressionTypes(VDCompressionListHandle h) {
    Handle handle = reinterpret_cast<Handle>(h);
    SetHandleSize(handle, sizeof(VDCompressionList));
    if (const OSErr err = MemError()) return err;
    const SInt8 state = HGetState(handle);
    HLock(handle);
    VDCompressionList* compressionList = *h;
    std::memset(compressionList, 0, sizeof(VDCompressionList));
    // clang-format off
    VERIFY(ImageDescriptionCompressionList(_desc, compressionList[0]));
    // clang-format on
    compressionList[0].reserved = 0;
    HSetState(handle, state);
    return noErr;
}

bool QVDigDeviceBase::ImageDescriptionCompressionList(ImageDescriptionHandle desc,
                                                      VDCompressionList& entry) {
    if (!desc || !*desc) return false;
    const ImageDescription& description = **desc;
    ComponentDescription looking{
        compressorComponentType, description.cType,
        description.cType == k2vuyPixelFormat ? kKeyGripManufacturer : kAppleManufacturer, 0, 0};
    entry.codec = FindNextComponent(nullptr, &looking);
    if (!entry.codec) {
        CopyPascal(description.name, entry.typeName, sizeof entry.typeName);
        CopyPascal(description.name, entry.name, sizeof entry.name);
    }
    struct Listing {
        OSType type;
        int32_t formatFlags;
        const char* codecName;
    };
    static constexpr Listing kListings[] = {
        {kRawPixelFormat, codecInfoDepth32, "Uncompressed 8-bit ARGB"},
        {k2vuyPixelFormat, codecInfoDepth24, "Uncompressed 8-bit 4:2:2"},
    };
    for (const Listing& listing : kListings) {
        if (description.cType != listing.type) continue;
        entry.cType = listing.type;
        entry.formatFlags = listing.formatFlags;
        entry.compressFlags = codecInfoDoes32;
        if (entry.codec) {
            SetPascal(listing.codecName, entry.typeName);
            SetPascal(listing.codecName, entry.name);
        }
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Clock, rates and time code

ComponentResult QVDigDeviceBase::SetTimeBase(TimeBase inTimeBase) {
    // clang-format off
    if (!VERIFY(inTimeBase!=NULL)) return qtParamErr;
    // clang-format on
    _timeBase = inTimeBase;
    return noErr;
}

ComponentResult QVDigDeviceBase::SetFrameRate(Fixed inFramesPerSecond) {
    if (inFramesPerSecond == -1) inFramesPerSecond = 0;
    if (inFramesPerSecond < 0) return qtParamErr;
    // clang-format off
    VERIFY(inFramesPerSecond <= 2*kPreferredVideoFrameRate);
    // clang-format on
    if (inFramesPerSecond == 0) inFramesPerSecond = kPreferredVideoFrameRate;
    _frameRate = inFramesPerSecond;
    _nextFrameTime = 0;
    _frameDuration = FixDiv(kPreferredVideoTimeScale, _frameRate);
    return noErr;
}

ComponentResult QVDigDeviceBase::GetDataRate(long* milliSecPerFrame, Fixed* framesPerSecond,
                                             long* bytesPerSecond) {
    if (milliSecPerFrame) *milliSecPerFrame = 0;
    if (framesPerSecond) *framesPerSecond = kPreferredVideoFrameRate;
    if (bytesPerSecond) {
        int64_t frameBytes = 0;
        if (_desc)
            frameBytes =
                int64_t((*_desc)->height) * (*_desc)->width * BytesPerPixel((*_desc)->cType);
        *bytesPerSecond = long((frameBytes * _frameRate + 0x8000) >> 16);
    }
    return noErr;
}

ComponentResult QVDigDeviceBase::SetDataRate(long) {
    return digiUnimpErr;
}

ComponentResult QVDigDeviceBase::GetCompressionTime(OSType compressType, short, Rect*,
                                                    CodecQ* spatialQuality, CodecQ* temporalQuality,
                                                    unsigned long* compressTime) {
    // clang-format off
    if (!VERIFY(compressType == _devicePixelFormat)) return noCodecErr;
    // clang-format on
    if (spatialQuality) *spatialQuality = codecLosslessQuality;
    if (temporalQuality) *temporalQuality = 0;
    if (compressTime) *compressTime = 0;
    return noErr;
}

ComponentResult QVDigDeviceBase::SetPLLFilterType(short) {
    return digiUnimpErr;
}

ComponentResult QVDigDeviceBase::GetPLLFilterType(short* pllType) {
    if (pllType) *pllType = 0;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetPreferredTimeScale(TimeScale* preferred) {
    if (preferred) *preferred = kPreferredVideoTimeScale;
    return noErr;
}

ComponentResult QVDigDeviceBase::GetTimeCode(TimeRecord* atTime, void* timeCodeFormat,
                                             void* timeCodeTime) {
    // clang-format off
    if (!VERIFY(_compressOn)) return badCallOrderErr;
    // clang-format on
    if (atTime) *atTime = _timeCodeTime;
    if (timeCodeFormat) std::memcpy(timeCodeFormat, &_timeCodeDef, sizeof _timeCodeDef);
    if (timeCodeTime) std::memcpy(timeCodeTime, &_timeCodeRecord, sizeof _timeCodeRecord);
    return noErr;
}

ComponentResult QVDigDeviceBase::GetPreferredImageDimensions(long*, long*) {
    return digiUnimpErr;
}

ComponentResult QVDigDeviceBase::CaptureStateChanging(UInt32 inStateFlags) {
    _captureState = inStateFlags;
    if (inStateFlags & vdFlagCaptureStarting) _timeCodeStarted = false;
    return noErr;
}

// ---------------------------------------------------------------------------------------------

ComponentResult QVDigDeviceBase::CreateImageDescription(short width, short height,
                                                        OSType pixelFormat) {
    OSErr err = noErr;
    _desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
    // clang-format off
    if (VERIFY_ERR(err = MemError())) return err;
    // The name field holds 31 characters: the component's string 2 must fit it.
    if (VERIFY_ERR(err = GetComponentIndString((Component)_self, (*(_desc))->name, 200, 2))) return err;
    // clang-format on
    ImageDescription& d = **_desc;
    d.idSize = sizeof(ImageDescription);
    d.cType = pixelFormat;
    d.version = 2;
    d.revisionLevel = 0;
    d.vendor = int32_t(kAppleManufacturer);
    d.temporalQuality = 0;
    d.spatialQuality = codecLosslessQuality;
    d.width = width;
    d.height = height;
    d.hRes = kScreenResolution;
    d.vRes = kScreenResolution;
    d.dataSize = int32_t(height) * width * BytesPerPixel(pixelFormat);
    d.frameCount = 1;
    d.depth = pixelFormat == k2vuyPixelFormat ? 24 : 32;
    d.clutID = -1;
    return noErr;
}
