// A capture host in miniature: opens the default video digitizer, says how that went and how
// many instances were open, and closes it. Tests copy it into install trees of other identities.
#include "platform/quicktime/QuickTime.h"

#include <cstdio>

using namespace platform::quicktime;

int main() {
    ComponentInstance ci = nullptr;
    const OSErr err = OpenADefaultComponent(videoDigitizerComponentType, 0, &ci);
    ComponentDescription looking{videoDigitizerComponentType, 0, 0, 0, 0};
    const long instances = CountComponentInstances(FindNextComponent(nullptr, &looking));
    std::printf("open %d instances %ld\n", err, instances);
    if (ci) CloseComponent(ci);
    return 0;
}
