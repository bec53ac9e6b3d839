#include "tests/support/ImageDecoders.h"
#include "tests/support/TestSupport.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace testsupport {

DecodedImage DecodePNG(const std::string& path) {
    DecodedImage out;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return out;
    // 8-bit sRGB samples are read as they are stored.
    out.channels = png.format & PNG_FORMAT_FLAG_ALPHA ? 4 : 3;
    png.format = out.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    out.width = int(png.width), out.height = int(png.height);
    out.samples.resize(PNG_IMAGE_SIZE(png));
    out.ok = png_image_finish_read(&png, nullptr, out.samples.data(), 0, nullptr);
    out.interlaced = ReadFile(path).substr(28, 1) != std::string(1, '\0'); // IHDR's method
    return out;
}

DecodedImage DecodeTIFF(const std::string& path) {
    DecodedImage out;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff) return out;
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, channels = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &channels);
    out.width = int(width), out.height = int(height), out.channels = channels;
    bool ok = bits == 8 && (channels == 3 || channels == 4) &&
              TIFFScanlineSize(tiff) == tmsize_t(width) * channels;
    out.samples.resize(size_t(width) * height * channels);
    for (uint32_t y = 0; ok && y < height; ++y)
        ok = TIFFReadScanline(tiff, out.samples.data() + size_t(y) * width * channels, y, 0) == 1;
    out.ok = ok && !TIFFReadDirectory(tiff); // exactly one image
    TIFFClose(tiff);
    return out;
}

namespace {
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
[[noreturn]] void JpegExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}
} // namespace

DecodedImage DecodeJPEG(const std::string& path) {
    DecodedImage out;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return out;
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegExit;
    if (!setjmp(errors.jump)) {
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        jpeg_read_header(&info, TRUE);
        if (info.quant_tbl_ptrs[0])
            out.lumaQuantization.assign(info.quant_tbl_ptrs[0]->quantval,
                                        info.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        out.width = int(info.output_width), out.height = int(info.output_height);
        out.channels = info.output_components;
        out.samples.resize(size_t(out.width) * out.height * out.channels);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row =
                out.samples.data() + size_t(info.output_scanline) * out.width * out.channels;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        out.ok = true;
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return out;
}

} // namespace testsupport
