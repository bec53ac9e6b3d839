// The GStreamer plug-in "vistrel": registers vistrelsrc.
#include "hosts/gstreamer/GstVistrelSrc.h"

#include <gst/gst.h>

#define PACKAGE "vistrel"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    return gst_element_register(plugin, "vistrelsrc", GST_RANK_NONE, GST_TYPE_VISTREL_SRC);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vistrel,
                  "The Vistrel broadcast as a live camera", PluginInit, VISTREL_VERSION,
                  "Proprietary", "Vistrel", "Vistrel for Linux")
