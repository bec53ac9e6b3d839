// The GStreamer plug-in "vistrel": registers vistrelsrc and its device provider.
#include "hosts/gstreamer/GstVistrelSrc.h"
#include "hosts/gstreamer/VistrelDeviceProvider.h"

#include <gst/gst.h>

#define PACKAGE "vistrel"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    // No rank for the element, so that no automatic choice of a video source takes the broadcast
    // for the machine's camera; the lowest rank that device monitors list for the provider, so
    // that applications offer it by name among the cameras.
    return gst_element_register(plugin, "vistrelsrc", GST_RANK_NONE, GST_TYPE_VISTREL_SRC) &&
           gst_device_provider_register(plugin, "vistreldeviceprovider", GST_RANK_MARGINAL,
                                        GST_TYPE_VISTREL_DEVICE_PROVIDER);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vistrel,
                  "The Vistrel broadcast as a live camera", PluginInit, VISTREL_VERSION,
                  "Proprietary", "Vistrel", "Vistrel for Linux")
