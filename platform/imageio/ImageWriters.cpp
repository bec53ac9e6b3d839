#include "platform/imageio/ImageWriters.h"
#include "platform/files/AtomicFile.h"
#include "platform/imageio/Encoders.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::imageio {
namespace {

// The one choice of encoder by type; null for a type not written.
using Encoder = bool (*)(int fd, const ImageDescription& image, int quality);
Encoder EncoderOf(NSBitmapImageFileType type) {
    switch (type) {
    case NSPNGFileType:
        return [](int fd, const ImageDescription& image, int) { return EncodePNG(fd, image); };
    case NSTIFFFileType:
        return [](int fd, const ImageDescription& image, int) { return EncodeTIFF(fd, image); };
    case NSJPEGFileType:
        return EncodeJPEG;
    default:
        return nullptr;
    }
}

} // namespace

FILE* StreamOver(int fd) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return nullptr;
    FILE* stream = ::fdopen(copy, "wb");
    if (!stream) ::close(copy);
    return stream;
}

OSErr WriteImage(const std::string& path, const ImageDescription& image, NSBitmapImageFileType type,
                 double compressionFactor) {
    const Encoder encode = EncoderOf(type);
    if (!encode || !IsValid(image)) return kParamErr;
    const int quality = JPEGQualityForCompressionFactor(compressionFactor);
    files::AtomicFile file;
    if (const OSErr error = file.Open(path); error != kNoErr) return error;
    errno = 0;
    if (!encode(file.Descriptor(), image, quality)) return file.Fail();
    return file.Commit();
}

// The encoders write to descriptors, so memory is an anonymous file read back.
std::vector<uint8_t> ImageData(const ImageDescription& image, NSBitmapImageFileType type,
                               double compressionFactor) {
    std::vector<uint8_t> data;
    const Encoder encode = EncoderOf(type);
    if (!encode || !IsValid(image)) return data;
    const int fd = ::memfd_create("encoded-image", MFD_CLOEXEC);
    if (fd < 0) return data;
    const int quality = JPEGQualityForCompressionFactor(compressionFactor);
    const off_t size = encode(fd, image, quality) ? ::lseek(fd, 0, SEEK_END) : -1;
    if (size > 0) {
        data.resize(size_t(size));
        if (::pread(fd, data.data(), data.size(), 0) != ssize_t(size)) data.clear();
    }
    ::close(fd);
    return data;
}

int JPEGQualityForCompressionFactor(double factor) {
    if (!(factor >= 0)) factor = 0; // also NaN
    if (factor > 1) factor = 1;
    const int quality = int(std::lround(factor * 100));
    return quality < 1 ? 1 : quality;
}

} // namespace platform::imageio
