#include "app/saving/ImageFormats.h"

#include <cstring>
#include <string>

namespace {

constexpr bool EachTypeHasOneRow() {
    for (int type = 0; type < kImageFormatCount; ++type) {
        int rows = 0;
        for (const ImageFormat& format : kImageFormats)
            rows += format.type == type;
        if (rows != 1) return false;
    }
    return true;
}
// Types index the formats from 0, so callers may walk them in type order.
static_assert(EachTypeHasOneRow());

const ImageFormat* RowOf(int32_t type) {
    for (const ImageFormat& format : kImageFormats)
        if (format.type == type) return &format;
    return nullptr;
}

} // namespace

const ImageFormat& ImageFormatOfType(int32_t type) {
    const ImageFormat* row = RowOf(type);
    return row ? *row : *RowOf(QuikSaveImageType_JPEG);
}

const ImageFormat* ImageFormatNamedIn(const char* name) {
    for (int32_t type = 0; type < kImageFormatCount; ++type) {
        const ImageFormat& format = ImageFormatOfType(type);
        for (const char* extension : {format.extension, format.panelType})
            if (std::strstr(name, ("." + std::string(extension)).c_str())) return &format;
    }
    return nullptr;
}
