#include "platform/bundles/BundleInfo.h"

#include "platform/bundles/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace platform::bundles {
namespace {

// The contents of a regular file of at most kMaxBytes; a file that grows past them while it is
// read is refused too.
bool ReadRegularFile(const std::string& path, std::string& contents, std::string& refusal) {
    struct stat status;
    const int fd = OpenRegularFile(path, BundleInfo::kMaxBytes, status, refusal);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 &&
           contents.size() + size_t(got) <= size_t(BundleInfo::kMaxBytes))
        contents.append(buffer, size_t(got));
    ::close(fd);
    if (got < 0) refusal = path + ": " + std::strerror(errno);
    if (got > 0) refusal = TooLarge(path, BundleInfo::kMaxBytes);
    return got == 0;
}

} // namespace

bool BundleInfo::Read(const std::string& path) {
    std::string contents;
    mRefusal.clear();
    if (!ReadRegularFile(path, contents, mRefusal)) return false;
    mValues.clear();
    std::istringstream in(contents);
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
