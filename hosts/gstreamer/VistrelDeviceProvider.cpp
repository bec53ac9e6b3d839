#include "hosts/gstreamer/VistrelDeviceProvider.h"

#include "hosts/gstreamer/BroadcastProbe.h"
#include "hosts/gstreamer/GstVistrelSrc.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A look at the digitizer sees a 30 frames a second writer turn the buffers over within a frame
// or two; slower broadcasts get a few.
constexpr double kLookWindowSeconds = 0.25;
constexpr auto kLookInterval = std::chrono::seconds(1);
// Looks in a row without a turn before the device goes: a broadcast that stalls for a moment
// (other readers hold both buffers) stays listed.
constexpr int kQuietLooksToRemove = 3;

} // namespace

// The provider's own thread that looks once a second while a monitor listens.
struct ProviderWatch {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
};

struct _GstVistrelDeviceProvider {
    GstDeviceProvider parent;
    ProviderWatch* watch;
    GstDevice* device; // listed now, with a reference of ours
};

struct _GstVistrelDevice {
    GstDevice parent;
};

G_DEFINE_TYPE(GstVistrelDeviceProvider, gst_vistrel_device_provider, GST_TYPE_DEVICE_PROVIDER)
G_DEFINE_TYPE(GstVistrelDevice, gst_vistrel_device, GST_TYPE_DEVICE)

namespace {

// The device with vistrelsrc's own caps.
GstDevice* NewDevice() {
    auto* source = static_cast<GstElementClass*>(g_type_class_ref(GST_TYPE_VISTREL_SRC));
    GstCaps* caps = gst_pad_template_get_caps(gst_element_class_get_pad_template(source, "src"));
    g_type_class_unref(source);
    GstStructure* properties = gst_structure_new("vistrel-device-properties", "device.api",
                                                 G_TYPE_STRING, "vistrel", nullptr);
    auto* device = static_cast<GstDevice*>(
        g_object_new(GST_TYPE_VISTREL_DEVICE, "display-name", "Vistrel", "device-class",
                     "Video/Source", "caps", caps, "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    return device;
}

void Show(GstVistrelDeviceProvider* self, bool live) {
    if (live && !self->device) {
        self->device = GST_DEVICE(gst_object_ref_sink(NewDevice()));
        gst_device_provider_device_add(GST_DEVICE_PROVIDER(self), self->device);
    } else if (!live && self->device) {
        gst_device_provider_device_remove(GST_DEVICE_PROVIDER(self), self->device);
        gst_clear_object(&self->device);
    }
}

void Watch(GstVistrelDeviceProvider* self) {
    ProviderWatch& watch = *self->watch;
    int quiet = 0;
    std::unique_lock<std::mutex> held(watch.lock);
    while (!watch.wake.wait_for(held, kLookInterval, [&] { return watch.stopping; })) {
        held.unlock();
        quiet = BroadcastIsLive(kLookWindowSeconds) ? 0 : quiet + 1;
        if (quiet == 0 || quiet >= kQuietLooksToRemove) Show(self, quiet == 0);
        held.lock();
    }
}

GList* Probe(GstDeviceProvider*) {
    return BroadcastIsLive(kLookWindowSeconds) ? g_list_append(nullptr, NewDevice()) : nullptr;
}

gboolean Start(GstDeviceProvider* provider) {
    GstVistrelDeviceProvider* self = GST_VISTREL_DEVICE_PROVIDER(provider);
    // The first list a monitor gives is already true.
    Show(self, BroadcastIsLive(kLookWindowSeconds));
    self->watch = new ProviderWatch;
    self->watch->thread = std::thread(Watch, self);
    return TRUE;
}

void Stop(GstDeviceProvider* provider) {
    GstVistrelDeviceProvider* self = GST_VISTREL_DEVICE_PROVIDER(provider);
    if (!self->watch) return;
    {
        std::lock_guard<std::mutex> held(self->watch->lock);
        self->watch->stopping = true;
    }
    self->watch->wake.notify_all();
    self->watch->thread.join();
    delete self->watch;
    self->watch = nullptr;
    Show(self, false);
}

GstElement* CreateElement(GstDevice*, const gchar* name) {
    return gst_element_factory_make("vistrelsrc", name);
}

} // namespace

static void gst_vistrel_device_provider_class_init(GstVistrelDeviceProviderClass* klass) {
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = Probe;
    provider->start = Start;
    provider->stop = Stop;
    gst_device_provider_class_set_static_metadata(
        provider, "Vistrel camera", "Video/Source",
        "Lists the Vistrel broadcast as a camera while a broadcast is on",
        "The Vistrel developers");
}

static void gst_vistrel_device_provider_init(GstVistrelDeviceProvider* self) {
    self->watch = nullptr;
    self->device = nullptr;
}

static void gst_vistrel_device_class_init(GstVistrelDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = CreateElement;
}

static void gst_vistrel_device_init(GstVistrelDevice*) {}
