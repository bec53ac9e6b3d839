// A component bundle's object for the component manager's tests. It counts the calls of selector
// 1 in its own state, which dies with the object.
#include "platform/quicktime/QuickTimeComponents.h"

using namespace platform::quicktime;

namespace {
int sCalls = 0;
} // namespace

extern "C" __attribute__((visibility("default"))) ComponentResult
TestComponentDispatch(ComponentParameters* params, Handle) {
    if (params->what == 1) return ++sCalls;
    if (params->what == kComponentVersionSelect) return 0x10002;
    return params->what < 0 ? noErr : badComponentSelector;
}
