#include "platform/imageio/Encoders.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace platform::imageio {
namespace {

// The library reports a fatal error by calling error_exit, which must not return: it jumps
// back into Compress, whose frame holds nothing that needs destroying.
struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void NoMessage(j_common_ptr) {}

bool Compress(FILE* stream, const uint8_t* rgb, int width, int height, int quality) {
    jpeg_compress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = ErrorExit;
    errors.manager.output_message = NoMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, stream);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + size_t(info.next_scanline) * size_t(width) * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

bool EncodeJPEG(int fd, const ImageDescription& image, int quality) {
    const std::vector<uint8_t> rgb = PackedSamples(image, false);
    FILE* stream = StreamOver(fd);
    if (!stream) return false;
    const bool written = Compress(stream, rgb.data(), image.width, image.height, quality);
    return ::fclose(stream) == 0 && written;
}

} // namespace platform::imageio
