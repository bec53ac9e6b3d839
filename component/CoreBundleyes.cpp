#include "component/CoreBundleyes.h"

#include "platform/bundles/PlatformMainBundle.h"

#include <strings.h>

namespace CoreBundleyes {

bool IsMainMember(const char* const* list, size_t count) {
    const std::string& identifier = platform::bundles::MainBundle::Get().Identifier();
    if (identifier.empty() || !list) return false;
    for (size_t i = 0; i < count; ++i) {
        if (list[i] && ::strcasecmp(identifier.c_str(), list[i]) == 0) return true;
    }
    return false;
}

} // namespace CoreBundleyes
