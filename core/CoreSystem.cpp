#include "core/CoreSystem.h"

#include "platform/session/PlatformSession.h"

namespace CoreSystem {

uint32_t GetVersion() {
    static const uint32_t sVersion = platform::session::SystemVersionWord() & ~uint32_t(0xF);
    return sVersion;
}

bool IsAtLeast(uint32_t version) {
    return GetVersion() >= version;
}

} // namespace CoreSystem
