#pragma once

// What the digitizer of VistrelXXX offers a host beyond the platform's digitizer interface. A host
// includes this header and reaches the digitizer through the component manager only.
//
// - An open refused with paramErr leaves the reason as the component's refcon
//   (GetComponentRefcon on the component): one of VistrelOpenRefusal. Every open sets it, to
//   kVistrelOpenNotRefused when the digitizer opened.
#include "platform/quicktime/QuickTimeVideoDigitizer.h"

namespace vistrel_digitizer {

using namespace platform::quicktime;

// The component's description in its bundle's Info.ini.
constexpr OSType kSubType = FourCC("Vstr");
constexpr OSType kManufacturer = FourCC("Trnw");

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

} // namespace vistrel_digitizer
