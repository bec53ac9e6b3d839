// The GStreamer plug-in "vistrel": registers vistrelsrc, and gives this object the channel's
// statics and the toolkit's identity it needs to tell a user why a camera would not open.
#include "channel/SharedCameraFormat.h"
#include "channel/SharedGWorldMemory.h"
#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"
#include "hosts/gstreamer/GstVistrelSrc.h"

#include <gst/gst.h>

CORE_DEFINE_LOG_IDENTITY("vistrelsrc", "vistrelsrc.log");

CoreUserFileName SharedGWorldMemory::sFileMappingPath(SharedCamera::kFileMappingFormat,
                                                      SharedCamera::kFrameFormatName);
SharedGWorldMemory SharedGWorldMemory::sSingleton;

#define PACKAGE "vistrel"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    return gst_element_register(plugin, "vistrelsrc", GST_RANK_NONE, GST_TYPE_VISTREL_SRC);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vistrel,
                  "The Vistrel broadcast as a live camera", PluginInit, VISTREL_VERSION,
                  "Proprietary", "Vistrel", "Vistrel for Linux")
