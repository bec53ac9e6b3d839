#include "platform/bundles/BundleInfo.h"

#include <fstream>

namespace platform::bundles {

bool BundleInfo::Read(const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    mValues.clear();
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        mValues[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return true;
}

std::string BundleInfo::Value(const std::string& key) const {
    auto found = mValues.find(key);
    return found == mValues.end() ? std::string() : found->second;
}

const char* ArchitectureFolder() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__i386__)
    return "i386";
#elif defined(__aarch64__)
    return "aarch64";
#else
#error "unknown processor: name its bundle folder here and in VistrelBuild.cmake"
#endif
}

} // namespace platform::bundles
