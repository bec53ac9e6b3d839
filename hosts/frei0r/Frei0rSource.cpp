// cilookpaneinput: a frei0r source whose frames are the CILookpaneInput filter's output, that
// is the Vistrel broadcast, or the filter's no-camera card while there is none.
#include "hosts/frei0r/CameraSource.h"
#include "platform/coreimage/CoreImagePlugIn.h"

// The header declares the C interface without saying so.
extern "C" {
#include <frei0r.h>
}

#define FREI0R_EXPORT extern "C" __attribute__((visibility("default")))

FREI0R_EXPORT int f0r_init() {
    platform::coreimage::CIPlugIn::loadAllPlugIns();
    return 1;
}

FREI0R_EXPORT void f0r_deinit() {}

FREI0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    info->name = "cilookpaneinput";
    info->author = "Tarnwick";
    info->plugin_type = F0R_PLUGIN_TYPE_SOURCE;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = 0;
    info->explanation = "The Vistrel camera broadcast, through the CILookpaneInput image filter";
}

FREI0R_EXPORT void f0r_get_param_info(f0r_param_info_t*, int) {}

FREI0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    return CameraSource::Create(width, height).release();
}

FREI0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
    delete static_cast<CameraSource*>(instance);
}

FREI0R_EXPORT void f0r_set_param_value(f0r_instance_t, f0r_param_t, int) {}
FREI0R_EXPORT void f0r_get_param_value(f0r_instance_t, f0r_param_t, int) {}

FREI0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t*,
                              uint32_t* outframe) {
    if (instance && outframe) static_cast<CameraSource*>(instance)->Render(time, outframe);
}
