#include "channel/ChannelDiagnosis.h"

#include "channel/ChannelPlace.h"
#include "channel/SharedCameraFormat.h"
#include "platform/session/PlatformSession.h"

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool ReadWord(int fd, size_t offset, uint32_t& word) {
    return ::pread(fd, &word, sizeof word, off_t(offset)) == ssize_t(sizeof word);
}

} // namespace

std::string ChannelDiagnosis() {
    using namespace SharedCamera;
    const auto user = platform::session::UserFileOwner();
    const auto publicFile =
        platform::session::FormatUserPath(kFileMappingFormat, user.value_or(""), kFrameFormatName);
    const ChannelPlace place = ResolveChannelPlace(publicFile.value_or(""));
    if (place.file.empty()) return place.Explanation();
    const std::string& path = place.file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1 && errno == ENOENT) return "no broadcast has created the camera channel " + path;
    if (fd == -1)
        return "the camera channel " + path +
               " cannot be used: " + RefusalReason(path.c_str(), errno);
    struct stat st;
    uint32_t signature = 0, version = 0, tag = 0, allowed = 0;
    const bool whole = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       st.st_size >= off_t(kRegionSizeBytes) &&
                       ReadWord(fd, offsetof(Region, appSignature), signature) &&
                       ReadWord(fd, offsetof(Region, appVersion), version) &&
                       ReadWord(fd, offsetof(Region, currentBufferTag), tag) &&
                       ReadWord(fd, offsetof(Region, allowedConnections), allowed);
    ::close(fd);
    if (!whole || signature != kApplicationSignature || version != kApplicationVersion)
        return "the camera channel " + path + " is not a whole channel of this version";
    if (allowed == kNoCameraConnections)
        return "camera connections are switched off in the broadcast (Vistrel's \"Allow Camera "
               "Connections\", or publish --deny-connections)";
    if (tag != kBufferTag0 && tag != kBufferTag1)
        return "nothing has been published on the camera channel " + path;
    return {};
}
