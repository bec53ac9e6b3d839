#pragma once

// The Vistrel broadcast as a device that GStreamer's device monitors list (class Video/Source,
// named "Vistrel") while a broadcast is on, and whose element is a vistrelsrc.
#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_VISTREL_DEVICE_PROVIDER (gst_vistrel_device_provider_get_type())
G_DECLARE_FINAL_TYPE(GstVistrelDeviceProvider, gst_vistrel_device_provider, GST,
                     VISTREL_DEVICE_PROVIDER, GstDeviceProvider)

#define GST_TYPE_VISTREL_DEVICE (gst_vistrel_device_get_type())
G_DECLARE_FINAL_TYPE(GstVistrelDevice, gst_vistrel_device, GST, VISTREL_DEVICE, GstDevice)

G_END_DECLS
