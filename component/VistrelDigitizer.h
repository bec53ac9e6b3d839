#pragma once

// What the digitizer of VistrelXXX offers a host beyond the platform's digitizer interface. A host
// includes this header and reaches the digitizer through the component manager only.
//
// - An open refused with paramErr leaves the reason as the component's refcon
//   (GetComponentRefcon on the component): one of VistrelOpenRefusal. Every open sets it, to
//   kVistrelOpenNotRefused when the digitizer opened.
// - The digitizer's object (in the bundle GetComponentBundlePath names) exports
//   VistrelDigitizerChannelFile: this user's channel file where the digitizer looks for it, so that
//   a host's message names the file a refusal was about without knowing where channels live.
// - The frames it delivers are the channel's: the constants below.
// - The digitizer's object also exports the wait for the writer's next frame and its interrupt
//   (SharedCameraWait.h, looked up by name): `shown` is the address a frame request handed out.
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraWait.h"
#include "platform/quicktime/QuickTimeVideoDigitizer.h"

#include <cstddef>

namespace vistrel_digitizer {

using namespace platform::quicktime;

// The component's description in its bundle's Info.ini.
constexpr OSType kSubType = FourCC("Vstr");
constexpr OSType kManufacturer = FourCC("Trnw");

// A frame as VDCompressDone hands it out: 'raw ' ARGB, rows top down, no padding.
using SharedCamera::kFrameHeight;
using SharedCamera::kFramePixelFormat;
using SharedCamera::kFrameRowBytes;
using SharedCamera::kFrameSizeBytes;
using SharedCamera::kFrameWidth;

enum VistrelOpenRefusal : long {
    kVistrelOpenNotRefused = 0,
    kVistrelOpenHostExcluded = 1,        // this program is on the digitizer's exclusion list
    kVistrelOpenSystemTooOld = 2,        // the system version is below 10.4
    kVistrelOpenNoChannel = 3,           // no broadcast has created the camera region
    kVistrelOpenChannelUnreadable = 4,   // the region exists but does not open
    kVistrelOpenConnectionsOff = 5,      // the broadcast allows no connection at all
    kVistrelOpenNoMoreConnections = 6,   // the broadcast allows fewer connections than are open
    kVistrelOpenChannelShort = 7,        // the region file is shorter than a region
    kVistrelOpenChannelDamaged = 8,      // the region's header is damaged or of another version
    kVistrelOpenChannelLocksRefused = 9, // the region opens but a frame lock's record does not
};

// Writes the path, cut to fit and ended by a NUL, into `into` when capacity is not 0, and answers
// its whole length. Looked up by name in the digitizer's object; no host links it.
extern "C" size_t VistrelDigitizerChannelFile(char* into, size_t capacity);
using ChannelFileFunction = decltype(&VistrelDigitizerChannelFile);
constexpr const char* kChannelFileExport = "VistrelDigitizerChannelFile";

} // namespace vistrel_digitizer
