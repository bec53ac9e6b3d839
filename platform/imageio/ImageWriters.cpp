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

template <typename Encode>
OSErr WriteAtomically(const std::string& path, const ImageDescription& image, Encode encode) {
    if (!IsValid(image)) return kParamErr;
    files::AtomicFile file;
    if (const OSErr error = file.Open(path); error != kNoErr) return error;
    errno = 0;
    if (!encode(file.Descriptor())) return file.Fail();
    return file.Commit();
}

// The encoders write to descriptors, so memory is an anonymous file read back.
template <typename Encode>
std::vector<uint8_t> EncodeToMemory(const ImageDescription& image, Encode encode) {
    std::vector<uint8_t> data;
    if (!IsValid(image)) return data;
    const int fd = ::memfd_create("encoded-image", MFD_CLOEXEC);
    if (fd < 0) return data;
    const off_t size = encode(fd) ? ::lseek(fd, 0, SEEK_END) : -1;
    if (size > 0) {
        data.resize(size_t(size));
        if (::pread(fd, data.data(), data.size(), 0) != ssize_t(size)) data.clear();
    }
    ::close(fd);
    return data;
}

} // namespace

FILE* StreamOver(int fd) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return nullptr;
    FILE* stream = ::fdopen(copy, "wb");
    if (!stream) ::close(copy);
    return stream;
}

OSErr WritePNG(const std::string& path, const ImageDescription& image) {
    return WriteAtomically(path, image, [&](int fd) { return EncodePNG(fd, image); });
}

OSErr WriteTIFF(const std::string& path, const ImageDescription& image) {
    return WriteAtomically(path, image, [&](int fd) { return EncodeTIFF(fd, image); });
}

OSErr WriteJPEG(const std::string& path, const ImageDescription& image, double compressionFactor) {
    const int quality = JPEGQualityForCompressionFactor(compressionFactor);
    return WriteAtomically(path, image, [&](int fd) { return EncodeJPEG(fd, image, quality); });
}

std::vector<uint8_t> PNGData(const ImageDescription& image) {
    return EncodeToMemory(image, [&](int fd) { return EncodePNG(fd, image); });
}

std::vector<uint8_t> TIFFData(const ImageDescription& image) {
    return EncodeToMemory(image, [&](int fd) { return EncodeTIFF(fd, image); });
}

std::vector<uint8_t> JPEGData(const ImageDescription& image, double compressionFactor) {
    const int quality = JPEGQualityForCompressionFactor(compressionFactor);
    return EncodeToMemory(image, [&](int fd) { return EncodeJPEG(fd, image, quality); });
}

int JPEGQualityForCompressionFactor(double factor) {
    if (!(factor >= 0)) factor = 0; // also NaN
    if (factor > 1) factor = 1;
    const int quality = int(std::lround(factor * 100));
    return quality < 1 ? 1 : quality;
}

} // namespace platform::imageio
