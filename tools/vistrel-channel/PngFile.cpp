#include "tools/vistrel-channel/PngFile.h"

#include <cstdio>
#include <vector>

#if VISTREL_HAVE_PNG
#include <png.h>

namespace {

bool Encode(FILE* file, const uint8_t* frame, int width, int height, int rowBytes) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<uint8_t> row(size_t(width) * 4);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const uint8_t* argb = frame + size_t(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            row[x * 4 + 0] = argb[x * 4 + 1];
            row[x * 4 + 1] = argb[x * 4 + 2];
            row[x * 4 + 2] = argb[x * 4 + 3];
            row[x * 4 + 3] = argb[x * 4 + 0];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool WriteArgbPng(const std::string& path, const uint8_t* frame, int width, int height,
                  int rowBytes, std::string& error) {
    const std::string partial = path + ".partial";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) {
        error = "cannot write " + partial;
        return false;
    }
    const bool encoded = Encode(file, frame, width, height, rowBytes);
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !closed || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

#else

bool WriteArgbPng(const std::string&, const uint8_t*, int, int, int, std::string& error) {
    error = "this build has no PNG support";
    return false;
}

#endif
