#pragma once

#include "component/QVDigDeviceBase.h"

// The component's dispatcher and class factory. The component manager calls the exported
// QVDIG_DATA_ComponentDispatch; each supported selector reaches a handler QVDIG_DATA_<operation>
// that calls the instance's operation of the same name.
class QVDigBaseClass {
public:
    // Selectors 0x00 to 0x61 of the digitizer interface.
    static constexpr int kSelectorSlots = 98;

    static ComponentResult Dispatch(ComponentParameters* params, Handle storage);
    static bool CanDo(short selector);
    // The digitizer for a new instance, or null when this host, system or channel state refuses;
    // the reason is left as the component's refcon (VistrelDigitizer.h).
    static QVDigDeviceBase* ClassFactory(ComponentInstance self);

    // Hosts whose main bundle identifier (ignoring case) may never open the digitizer.
    static const char* const sExcludeList[2];
    static constexpr uint32_t kMinimumSystemVersion = 0x1040;
};

extern "C" __attribute__((visibility("default"))) ComponentResult
QVDIG_DATA_ComponentDispatch(ComponentParameters* params, Handle storage);
