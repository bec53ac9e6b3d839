// A component bundle's object for the component manager's tests: it answers the standard
// selectors and counts the calls of selector 1 in its own state, which dies with the object.
#include "platform/quicktime/QuickTimeComponents.h"

using namespace platform::quicktime;

namespace {
int sCalls = 0;
} // namespace

extern "C" __attribute__((visibility("default"))) ComponentResult
TestComponentDispatch(ComponentParameters* params, Handle) {
    switch (params->what) {
    case kComponentOpenSelect:
    case kComponentCloseSelect:
        return noErr;
    case kComponentVersionSelect:
        return 0x10002;
    case 1:
        return ++sCalls;
    default:
        return badComponentSelector;
    }
}
