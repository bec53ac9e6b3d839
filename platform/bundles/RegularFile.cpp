#include "platform/bundles/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform::bundles {

int OpenRegularFile(const std::string& path, off_t maxBytes, struct stat& status,
                    std::string& refusal) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        refusal = path + ": " + std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &status) != 0)
        refusal = path + ": " + std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        refusal = path + " is not a regular file";
    else if (status.st_size > maxBytes)
        refusal = TooLarge(path, maxBytes);
    else
        return fd;
    ::close(fd);
    return -1;
}

std::string TooLarge(const std::string& path, off_t maxBytes) {
    return path + " is larger than " + std::to_string(maxBytes) + " bytes";
}

} // namespace platform::bundles
