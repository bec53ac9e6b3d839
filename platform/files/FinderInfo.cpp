#include "platform/files/FinderInfo.h"

#include <cerrno>
#include <sys/xattr.h>

namespace platform::files {
namespace {

bool Unsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

OSErr ErrorOf(int error) {
    return error == ENOENT || error == ENOTDIR ? kFnfErr : kIoErr;
}

// 0 when absent; false with errno set on any other failure.
bool ReadCode(const std::string& path, const char* name, uint32_t& code) {
    unsigned char bytes[4];
    code = 0;
    const ssize_t n = ::getxattr(path.c_str(), name, bytes, sizeof bytes);
    if (n == sizeof bytes)
        code = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
               bytes[3];
    return n >= 0 || errno == ENODATA || errno == ERANGE;
}

bool WriteCode(const std::string& path, const char* name, uint32_t code) {
    const unsigned char bytes[4] = {uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8),
                                    uint8_t(code)};
    return ::setxattr(path.c_str(), name, bytes, sizeof bytes, 0) == 0;
}

} // namespace

OSErr FSGetFileTypeCreator(const std::string& path, uint32_t& type, uint32_t& creator) {
    if (ReadCode(path, kFileTypeAttribute, type) && ReadCode(path, kCreatorAttribute, creator))
        return kNoErr;
    const int error = errno;
    type = creator = 0;
    return Unsupported(error) ? kNoErr : ErrorOf(error);
}

OSErr FSSetFileTypeCreator(const std::string& path, uint32_t type, uint32_t creator) {
    if (WriteCode(path, kFileTypeAttribute, type) && WriteCode(path, kCreatorAttribute, creator))
        return kNoErr;
    const int error = errno;
    return Unsupported(error) ? kNoErr : ErrorOf(error);
}

} // namespace platform::files
