#pragma once

// vistrelsrc: the Vistrel broadcast as a live camera for GStreamer pipelines. It opens the Vistrel
// video digitizer as a capture application does and pushes its 640x480 ARGB frames at 30 frames a
// second without copying them: a frame goes back to the digitizer when GStreamer frees its buffer.
#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define GST_TYPE_VISTREL_SRC (gst_vistrel_src_get_type())
G_DECLARE_FINAL_TYPE(GstVistrelSrc, gst_vistrel_src, GST, VISTREL_SRC, GstPushSrc)

G_END_DECLS
