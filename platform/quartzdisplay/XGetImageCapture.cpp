#include "platform/quartzdisplay/XCapture.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace platform::coregraphics::x11 {

bool ReadByGetImage(const Connection& x, int left, int top, int width, int height, uint32_t* out) {
    xcb_connection_t* c = x.connection;
    const size_t rowBytes = size_t(width) * 4;
    // A reply carries a 32-byte header before the pixels.
    const size_t limit = x.maximumRequestBytes > 32 ? x.maximumRequestBytes - 32 : 0;
    const int bandRows = int(std::clamp<size_t>(limit / rowBytes, 1, size_t(height)));
    // Every band is asked for before the first answer is awaited: one round trip in all.
    std::vector<xcb_get_image_cookie_t> asked;
    for (int row = 0; row < height; row += bandRows)
        asked.push_back(xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.root, int16_t(left),
                                      int16_t(top + row), uint16_t(width),
                                      uint16_t(std::min(bandRows, height - row)), ~0u));
    bool complete = true;
    for (size_t band = 0; band < asked.size(); ++band) {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(c, asked[band], nullptr);
        const size_t rows = size_t(std::min(bandRows, height - int(band) * bandRows));
        if (reply && size_t(xcb_get_image_data_length(reply)) == rows * rowBytes)
            CopyOpaque(xcb_get_image_data(reply), out + band * size_t(bandRows) * size_t(width),
                       rows * size_t(width));
        else
            complete = false; // the remaining replies are still collected
        std::free(reply);
    }
    return complete;
}

} // namespace platform::coregraphics::x11
