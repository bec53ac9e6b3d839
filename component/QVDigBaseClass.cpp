#include "component/QVDigBaseClass.h"

#include "channel/ChannelPlace.h"
#include "channel/SharedGWorldMemory.h"
#include "component/CoreBundleyes.h"
#include "component/QSoftVDigX.h"
#include "component/VistrelDigitizer.h"
#include "core/CoreSystem.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>

using namespace vistrel_digitizer;

const char* const QVDigBaseClass::sExcludeList[2] = {"com.tarnwick.Lenticor", "com.apple.iChat"};

// ---------------------------------------------------------------------------------------------
// Handlers: the instance storage is the digitizer object.

extern "C" ComponentResult QVDIG_DATA_Open(ComponentInstance self) {
    QVDigDeviceBase* object = QVDigBaseClass::ClassFactory(self);
    if (!object) return paramErr;
    object->SetSelf(self);
    SetComponentInstanceStorage(self, reinterpret_cast<Handle>(object));
    return object->OpenInitialize();
}

extern "C" ComponentResult QVDIG_DATA_Close(QVDigDeviceBase* storage, ComponentInstance self) {
    if (!storage) return paramErr;
    const ComponentResult result = storage->Close();
    SetComponentInstanceStorage(self, nullptr);
    delete storage;
    return result;
}

extern "C" ComponentResult QVDIG_DATA_CanDo(short selector) {
    return QVDigBaseClass::CanDo(selector);
}

extern "C" ComponentResult QVDIG_DATA_Version(QVDigDeviceBase* storage) {
    if (!storage) return paramErr;
    return storage->Version();
}

#define QVDIG_HANDLER(Operation, Parameters, Arguments)                                            \
    extern "C" ComponentResult QVDIG_DATA_##Operation Parameters {                                 \
        if (!storage) return paramErr;                                                             \
        return storage->Operation Arguments;                                                       \
    }

// clang-format off
QVDIG_HANDLER(GetMaxSrcRect, (QVDigDeviceBase* storage, short inputStd, Rect* maxSrcRect), (inputStd, maxSrcRect))
QVDIG_HANDLER(GetActiveSrcRect, (QVDigDeviceBase* storage, short inputStd, Rect* activeSrcRect), (inputStd, activeSrcRect))
QVDIG_HANDLER(SetDigitizerRect, (QVDigDeviceBase* storage, Rect* inDigitizerRect), (inDigitizerRect))
QVDIG_HANDLER(GetDigitizerRect, (QVDigDeviceBase* storage, Rect* outDigitizerRect), (outDigitizerRect))
QVDIG_HANDLER(GetVBlankRect, (QVDigDeviceBase* storage, short inputStd, Rect* vBlankRect), (inputStd, vBlankRect))
QVDIG_HANDLER(SetBrightness, (QVDigDeviceBase* storage, unsigned short* brightness), (brightness))
QVDIG_HANDLER(GetBrightness, (QVDigDeviceBase* storage, unsigned short* brightness), (brightness))
QVDIG_HANDLER(SetContrast, (QVDigDeviceBase* storage, unsigned short* contrast), (contrast))
QVDIG_HANDLER(GetContrast, (QVDigDeviceBase* storage, unsigned short* contrast), (contrast))
QVDIG_HANDLER(SetHue, (QVDigDeviceBase* storage, unsigned short* hue), (hue))
QVDIG_HANDLER(GetHue, (QVDigDeviceBase* storage, unsigned short* hue), (hue))
QVDIG_HANDLER(SetSaturation, (QVDigDeviceBase* storage, unsigned short* saturation), (saturation))
QVDIG_HANDLER(GetSaturation, (QVDigDeviceBase* storage, unsigned short* saturation), (saturation))
QVDIG_HANDLER(SetSharpness, (QVDigDeviceBase* storage, unsigned short* sharpness), (sharpness))
QVDIG_HANDLER(GetSharpness, (QVDigDeviceBase* storage, unsigned short* sharpness), (sharpness))
QVDIG_HANDLER(SetBlackLevelValue, (QVDigDeviceBase* storage, unsigned short* blackLevel), (blackLevel))
QVDIG_HANDLER(GetBlackLevelValue, (QVDigDeviceBase* storage, unsigned short* blackLevel), (blackLevel))
QVDIG_HANDLER(SetWhiteLevelValue, (QVDigDeviceBase* storage, unsigned short* whiteLevel), (whiteLevel))
QVDIG_HANDLER(GetWhiteLevelValue, (QVDigDeviceBase* storage, unsigned short* whiteLevel), (whiteLevel))
QVDIG_HANDLER(GetVideoDefaults, (QVDigDeviceBase* storage, unsigned short* blackLevel, unsigned short* whiteLevel, unsigned short* brightness, unsigned short* hue, unsigned short* saturation, unsigned short* contrast, unsigned short* sharpness), (blackLevel, whiteLevel, brightness, hue, saturation, contrast, sharpness))
QVDIG_HANDLER(GetDigitizerInfo, (QVDigDeviceBase* storage, DigitizerInfo* info), (info))
QVDIG_HANDLER(GetCurrentFlags, (QVDigDeviceBase* storage, long* inputCurrentFlag, long* outputCurrentFlag), (inputCurrentFlag, outputCurrentFlag))
QVDIG_HANDLER(GetNumberOfInputs, (QVDigDeviceBase* storage, short* inputs), (inputs))
QVDIG_HANDLER(GetInputFormat, (QVDigDeviceBase* storage, short input, short* format), (input, format))
QVDIG_HANDLER(SetInput, (QVDigDeviceBase* storage, short input), (input))
QVDIG_HANDLER(GetInput, (QVDigDeviceBase* storage, short* input), (input))
QVDIG_HANDLER(SetInputStandard, (QVDigDeviceBase* storage, short inputStandard), (inputStandard))
QVDIG_HANDLER(GetInputName, (QVDigDeviceBase* storage, long videoInput, Str255 name), (videoInput, name))
QVDIG_HANDLER(GetDeviceNameAndFlags, (QVDigDeviceBase* storage, Str255 outName, UInt32* outNameFlags), (outName, outNameFlags))
QVDIG_HANDLER(GetUniqueIDs, (QVDigDeviceBase* storage, UInt64* outDeviceID, UInt64* outInputID), (outDeviceID, outInputID))
QVDIG_HANDLER(SelectUniqueIDs, (QVDigDeviceBase* storage, const UInt64* inDeviceID, const UInt64* inInputID), (inDeviceID, inInputID))
QVDIG_HANDLER(SetCompression, (QVDigDeviceBase* storage, OSType compressType, short depth, Rect* bounds, CodecQ spatialQuality, CodecQ temporalQuality, long keyFrameRate), (compressType, depth, bounds, spatialQuality, temporalQuality, keyFrameRate))
QVDIG_HANDLER(CompressOneFrameAsync, (QVDigDeviceBase* storage), ())
QVDIG_HANDLER(CompressDone, (QVDigDeviceBase* storage, UInt8* queuedFrameCount, Ptr* theData, long* dataSize, UInt8* similarity, TimeRecord* t), (queuedFrameCount, theData, dataSize, similarity, t))
QVDIG_HANDLER(ReleaseCompressBuffer, (QVDigDeviceBase* storage, Ptr bufferAddr), (bufferAddr))
QVDIG_HANDLER(GetImageDescription, (QVDigDeviceBase* storage, ImageDescriptionHandle desc), (desc))
QVDIG_HANDLER(ResetCompressSequence, (QVDigDeviceBase* storage), ())
QVDIG_HANDLER(SetCompressionOnOff, (QVDigDeviceBase* storage, Boolean state), (state))
QVDIG_HANDLER(GetCompressionTypes, (QVDigDeviceBase* storage, VDCompressionListHandle h), (h))
QVDIG_HANDLER(SetTimeBase, (QVDigDeviceBase* storage, TimeBase inTimeBase), (inTimeBase))
QVDIG_HANDLER(SetFrameRate, (QVDigDeviceBase* storage, Fixed inFramesPerSecond), (inFramesPerSecond))
QVDIG_HANDLER(GetDataRate, (QVDigDeviceBase* storage, long* milliSecPerFrame, Fixed* framesPerSecond, long* bytesPerSecond), (milliSecPerFrame, framesPerSecond, bytesPerSecond))
QVDIG_HANDLER(SetDataRate, (QVDigDeviceBase* storage, long bytesPerSecond), (bytesPerSecond))
QVDIG_HANDLER(GetCompressionTime, (QVDigDeviceBase* storage, OSType compressType, short depth, Rect* srcRect, CodecQ* spatialQuality, CodecQ* temporalQuality, unsigned long* compressTime), (compressType, depth, srcRect, spatialQuality, temporalQuality, compressTime))
QVDIG_HANDLER(SetPLLFilterType, (QVDigDeviceBase* storage, short pllType), (pllType))
QVDIG_HANDLER(GetPLLFilterType, (QVDigDeviceBase* storage, short* pllType), (pllType))
QVDIG_HANDLER(GetPreferredTimeScale, (QVDigDeviceBase* storage, TimeScale* preferred), (preferred))
QVDIG_HANDLER(GetTimeCode, (QVDigDeviceBase* storage, TimeRecord* atTime, void* timeCodeFormat, void* timeCodeTime), (atTime, timeCodeFormat, timeCodeTime))
QVDIG_HANDLER(GetPreferredImageDimensions, (QVDigDeviceBase* storage, long* width, long* height), (width, height))
QVDIG_HANDLER(CaptureStateChanging, (QVDigDeviceBase* storage, UInt32 inStateFlags), (inStateFlags))
// clang-format on

// ---------------------------------------------------------------------------------------------
// The dispatch table

namespace {

using DispatchProc = ComponentResult (*)(ComponentParameters* params, Handle storage);

// A table slot: unpacks the parameter block by the handler's own parameter list.
template <auto Handler> ComponentResult WithStorage(ComponentParameters* params, Handle storage) {
    return CallComponentFunctionWithStorage(storage, params, Handler);
}

struct SelectorEntry {
    int selector;
    DispatchProc proc;
};

// clang-format off
constexpr SelectorEntry kSelectors[] = {
    {0x01, WithStorage<QVDIG_DATA_GetMaxSrcRect>},
    {0x02, WithStorage<QVDIG_DATA_GetActiveSrcRect>},
    {0x03, WithStorage<QVDIG_DATA_SetDigitizerRect>},
    {0x04, WithStorage<QVDIG_DATA_GetDigitizerRect>},
    {0x05, WithStorage<QVDIG_DATA_GetVBlankRect>},
    {0x0C, WithStorage<QVDIG_DATA_SetBrightness>},
    {0x0D, WithStorage<QVDIG_DATA_GetBrightness>},
    {0x0E, WithStorage<QVDIG_DATA_SetContrast>},
    {0x0F, WithStorage<QVDIG_DATA_SetHue>},
    {0x10, WithStorage<QVDIG_DATA_SetSharpness>},
    {0x11, WithStorage<QVDIG_DATA_SetSaturation>},
    {0x12, WithStorage<QVDIG_DATA_GetContrast>},
    {0x13, WithStorage<QVDIG_DATA_GetHue>},
    {0x14, WithStorage<QVDIG_DATA_GetSharpness>},
    {0x15, WithStorage<QVDIG_DATA_GetSaturation>},
    {0x19, WithStorage<QVDIG_DATA_GetDigitizerInfo>},
    {0x1A, WithStorage<QVDIG_DATA_GetCurrentFlags>},
    {0x29, WithStorage<QVDIG_DATA_SetPLLFilterType>},
    {0x2A, WithStorage<QVDIG_DATA_GetPLLFilterType>},
    {0x37, WithStorage<QVDIG_DATA_SetBlackLevelValue>},
    {0x38, WithStorage<QVDIG_DATA_GetBlackLevelValue>},
    {0x39, WithStorage<QVDIG_DATA_SetWhiteLevelValue>},
    {0x3A, WithStorage<QVDIG_DATA_GetWhiteLevelValue>},
    {0x3B, WithStorage<QVDIG_DATA_GetVideoDefaults>},
    {0x3C, WithStorage<QVDIG_DATA_GetNumberOfInputs>},
    {0x3D, WithStorage<QVDIG_DATA_GetInputFormat>},
    {0x3E, WithStorage<QVDIG_DATA_SetInput>},
    {0x3F, WithStorage<QVDIG_DATA_GetInput>},
    {0x40, WithStorage<QVDIG_DATA_SetInputStandard>},
    {0x44, WithStorage<QVDIG_DATA_SetCompression>},
    {0x45, WithStorage<QVDIG_DATA_CompressOneFrameAsync>},
    {0x46, WithStorage<QVDIG_DATA_CompressDone>},
    {0x47, WithStorage<QVDIG_DATA_ReleaseCompressBuffer>},
    {0x48, WithStorage<QVDIG_DATA_GetImageDescription>},
    {0x49, WithStorage<QVDIG_DATA_ResetCompressSequence>},
    {0x4A, WithStorage<QVDIG_DATA_SetCompressionOnOff>},
    {0x4B, WithStorage<QVDIG_DATA_GetCompressionTypes>},
    {0x4C, WithStorage<QVDIG_DATA_SetTimeBase>},
    {0x4D, WithStorage<QVDIG_DATA_SetFrameRate>},
    {0x4E, WithStorage<QVDIG_DATA_GetDataRate>},
    {0x51, WithStorage<QVDIG_DATA_GetPreferredTimeScale>},
    {0x54, WithStorage<QVDIG_DATA_SetDataRate>},
    {0x55, WithStorage<QVDIG_DATA_GetTimeCode>},
    {0x58, WithStorage<QVDIG_DATA_GetCompressionTime>},
    {0x5B, WithStorage<QVDIG_DATA_GetPreferredImageDimensions>},
    {0x5C, WithStorage<QVDIG_DATA_GetInputName>},
    {0x5E, WithStorage<QVDIG_DATA_GetDeviceNameAndFlags>},
    {0x5F, WithStorage<QVDIG_DATA_CaptureStateChanging>},
    {0x60, WithStorage<QVDIG_DATA_GetUniqueIDs>},
    {0x61, WithStorage<QVDIG_DATA_SelectUniqueIDs>},
};
// clang-format on

constexpr std::array<DispatchProc, QVDigBaseClass::kSelectorSlots> BuildTable() {
    std::array<DispatchProc, QVDigBaseClass::kSelectorSlots> table{};
    for (const SelectorEntry& entry : kSelectors)
        table[size_t(entry.selector)] = entry.proc;
    return table;
}

constexpr std::array<DispatchProc, QVDigBaseClass::kSelectorSlots> kDispatchTable = BuildTable();

bool IsStandardSelector(int selector) {
    return selector >= kComponentVersionSelect && selector <= kComponentOpenSelect;
}

// A platform selector: high byte zero, low byte inside the table.
DispatchProc TableSlot(int selector) {
    if (selector < 0 || (selector & 0xFF00) != 0 || selector >= QVDigBaseClass::kSelectorSlots)
        return nullptr;
    return kDispatchTable[size_t(selector)];
}

// Why an instance may not open, in the order the checks are made.
VistrelOpenRefusal Refusal(ComponentInstance self) {
    if (CoreBundleyes::IsMainMember(QVDigBaseClass::sExcludeList)) return kVistrelOpenHostExcluded;
    if (!CoreSystem::IsAtLeast(QVDigBaseClass::kMinimumSystemVersion))
        return kVistrelOpenSystemTooOld;
    SharedGWorldMemory& memory = SharedGWorldMemory::sSingleton;
    // Without the region no grabber has ever broadcast: there is no camera to open.
    if (!memory.OpenReadWriteView()) {
        if (memory.AreLocksRefused()) return kVistrelOpenChannelLocksRefused;
        struct stat st;
        if (::lstat(memory.Path().c_str(), &st) != 0)
            return errno == ENOENT ? kVistrelOpenNoChannel : kVistrelOpenChannelUnreadable;
        const bool shortFile =
            S_ISREG(st.st_mode) && st.st_size < off_t(SharedCamera::kRegionSizeBytes);
        return shortFile ? kVistrelOpenChannelShort : kVistrelOpenChannelUnreadable;
    }
    if (!memory.IsHeaderValid()) return kVistrelOpenChannelDamaged;
    // The count includes the instance being opened.
    if (!memory.AllowCameraConnection(uint32_t(CountComponentInstances(Component(self)))))
        return memory.AllowCameraConnection(1) ? kVistrelOpenNoMoreConnections
                                               : kVistrelOpenConnectionsOff;
    return kVistrelOpenNotRefused;
}

} // namespace

ComponentResult QVDigBaseClass::Dispatch(ComponentParameters* params, Handle storage) {
    if (!params) return badComponentSelector;
    switch (params->what) {
    case kComponentOpenSelect:
        return CallComponentFunction(params, QVDIG_DATA_Open);
    case kComponentCloseSelect:
        return CallComponentFunctionWithStorage(storage, params, QVDIG_DATA_Close);
    case kComponentCanDoSelect:
        return CallComponentFunction(params, QVDIG_DATA_CanDo);
    case kComponentVersionSelect:
        return CallComponentFunctionWithStorage(storage, params, QVDIG_DATA_Version);
    default:
        break;
    }
    const DispatchProc proc = TableSlot(params->what);
    return proc ? proc(params, storage) : badComponentSelector;
}

bool QVDigBaseClass::CanDo(short selector) {
    return IsStandardSelector(selector) || TableSlot(selector) != nullptr;
}

QVDigDeviceBase* QVDigBaseClass::ClassFactory(ComponentInstance self) {
    const VistrelOpenRefusal refusal = Refusal(self);
    // The host learns the reason from the component, as the instance will not exist.
    SetComponentRefcon(Component(self), refusal);
    return refusal == kVistrelOpenNotRefused ? new (std::nothrow) QSoftVDigX : nullptr;
}

extern "C" ComponentResult QVDIG_DATA_ComponentDispatch(ComponentParameters* params,
                                                        Handle storage) {
    return QVDigBaseClass::Dispatch(params, storage);
}

// The place rule is the channel's: the host asks here rather than deciding it a second time.
extern "C" __attribute__((visibility("default"))) size_t
vistrel_digitizer::VistrelDigitizerChannelFile(char* into, size_t capacity) {
    const ChannelPlace place = ResolveChannelPlace(SharedGWorldMemory::sFileMappingPath.c_str());
    const std::string& file = place.file.empty() ? place.taken : place.file;
    if (capacity == 0) return file.size();
    const size_t length = std::min(file.size(), capacity - 1);
    std::memcpy(into, file.data(), length);
    into[length] = '\0';
    return file.size();
}
