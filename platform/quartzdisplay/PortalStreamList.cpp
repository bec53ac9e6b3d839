// The displays of a screen cast, from what the portal says of its streams.
#include "platform/quartzdisplay/PortalScreenCast.h"

#include <algorithm>
#include <glib.h>

namespace platform::coregraphics::portal {

namespace {

constexpr uint32_t kMonitor = 1; // the portal's source type

} // namespace

std::vector<Stream> MonitorStreams(GVariant* streams) {
    std::vector<Stream> list;
    if (!streams || !g_variant_is_of_type(streams, G_VARIANT_TYPE("a(ua{sv})"))) return list;
    GVariantIter iter;
    g_variant_iter_init(&iter, streams);
    guint32 node = 0;
    GVariant* properties = nullptr;
    while (g_variant_iter_next(&iter, "(u@a{sv})", &node, &properties)) {
        Stream stream{node};
        guint32 type = kMonitor;
        g_variant_lookup(properties, "source_type", "u", &type);
        // A value of another type than the portal's reads as missing.
        stream.placed = g_variant_lookup(properties, "position", "(ii)", &stream.x, &stream.y);
        if (!g_variant_lookup(properties, "size", "(ii)", &stream.width, &stream.height))
            stream.width = stream.height = 0;
        g_variant_unref(properties);
        if (type == kMonitor) list.push_back(stream);
    }
    return list;
}

ScreenDisplayList PlaceStreams(const std::vector<Stream>& streams) {
    int right = 0; // of the placed ones
    for (const Stream& s : streams)
        if (s.placed && s.width > 0 && s.height > 0) right = std::max(right, s.x + s.width);
    ScreenDisplayList list;
    for (size_t i = 0; i < streams.size() && list.count < list.displays.size(); ++i) {
        const Stream& s = streams[i];
        if (s.width <= 0 || s.height <= 0) continue;
        ScreenDisplay d{CGDirectDisplayID(i + 1), s.x, s.y, s.width, s.height};
        if (!s.placed) {
            d.x = right;
            d.y = 0;
            right += s.width;
        }
        const bool main = d.x == 0 && d.y == 0 && (list.empty() || list[0].x || list[0].y);
        if (main)
            std::copy_backward(list.begin(), list.end(), list.displays.data() + list.count + 1);
        list.displays[main ? 0 : list.count] = d;
        ++list.count;
    }
    return list;
}

} // namespace platform::coregraphics::portal
