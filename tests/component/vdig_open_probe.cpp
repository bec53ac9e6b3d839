// A capture host in miniature: opens the default video digitizer, says how that went, the reason
// the digitizer left as its component's refcon and how many instances were open, and closes it.
// Tests copy it into install trees of other identities.
#include "platform/quicktime/QuickTime.h"

#include <cstdio>

using namespace platform::quicktime;

int main() {
    ComponentInstance ci = nullptr;
    const OSErr err = OpenADefaultComponent(videoDigitizerComponentType, 0, &ci);
    ComponentDescription looking{videoDigitizerComponentType, 0, 0, 0, 0};
    const Component component = FindNextComponent(nullptr, &looking);
    std::printf("open %d refcon %ld instances %ld\n", err, GetComponentRefcon(component),
                CountComponentInstances(component));
    if (ci) CloseComponent(ci);
    return 0;
}
