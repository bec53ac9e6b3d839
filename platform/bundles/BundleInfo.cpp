#include "platform/bundles/BundleInfo.h"

#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::bundles {
namespace {

// The contents of a regular file. The open does not block, so that a FIFO or a device put where
// a metadata file belongs is refused instead of waited on.
bool ReadRegularFile(const std::string& path, std::string& contents) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[4096];
    for (ssize_t got = 0; ok && (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0)
            ok = false;
        else
            contents.append(buffer, size_t(got));
    }
    ::close(fd);
    return ok;
}

} // namespace

bool BundleInfo::Read(const std::string& path) {
    std::string contents;
    if (!ReadRegularFile(path, contents)) return false;
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
