#include "platform/quartzdisplay/XEvents.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>
#include <xcb/damage.h>
#include <xcb/randr.h>

namespace platform::coregraphics::x11 {

namespace {

struct Pending {
    std::mutex lock;
    bool displaysChanged = false;
    // DAMAGE: asked for once; the root's damage object, its first event number.
    bool damageAsked = false;
    xcb_damage_damage_t damage = 0;
    uint8_t damageFirstEvent = 0;
    // What was drawn since the last take, one rectangle per event: few between two takes.
    std::vector<ScreenArea> drawn;
};

Pending& ThePending() {
    static Pending* const sPending = new Pending;
    return *sPending;
}

bool Overlap(const ScreenArea& a, const ScreenArea& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

// Nobody takes the drawing while no broadcast runs: beyond this many rectangles, the last grows
// into a box around the rest, at worst a take that finds more than was drawn.
constexpr size_t kMostRectangles = 64;

void Note(std::vector<ScreenArea>& drawn, const ScreenArea& a) {
    if (drawn.size() < kMostRectangles) {
        drawn.push_back(a);
        return;
    }
    ScreenArea& b = drawn.back();
    const int right = std::max(b.left + b.width, a.left + a.width);
    const int bottom = std::max(b.top + b.height, a.top + a.height);
    b.left = std::min(b.left, a.left);
    b.top = std::min(b.top, a.top);
    b.width = right - b.left;
    b.height = bottom - b.top;
}

// Reads what has arrived, under the lock. Anything else (errors of requests whose answers were
// not awaited) is dropped.
void Read(const Connection& x, Pending& p) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x.connection)) {
        const uint8_t type = event->response_type & 0x7F;
        if (x.randr && (type == x.randrFirstEvent + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                        type == x.randrFirstEvent + XCB_RANDR_NOTIFY))
            p.displaysChanged = true;
        else if (p.damage && type == p.damageFirstEvent + XCB_DAMAGE_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            Note(p.drawn,
                 {notify->area.x, notify->area.y, notify->area.width, notify->area.height});
        }
        std::free(event);
    }
}

// A damage object over the root window (which takes in every window's drawing), reporting each
// drawing that adds to what was drawn since the last take: a screen that changes all the time
// sends a few events per take, not one per drawing, and their rectangles tell an area's
// drawing from its neighbours' (a box around all would take in the grabber's own bars).
void Follow(const Connection& x, Pending& p) {
    p.damageAsked = true;
    xcb_connection_t* c = x.connection;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_damage_id);
    if (!extension || !extension->present) return;
    std::unique_ptr<xcb_damage_query_version_reply_t, decltype(&std::free)> version(
        xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr), &std::free);
    if (!version) return;
    const xcb_damage_damage_t damage = xcb_generate_id(c);
    if (xcb_request_check(c, xcb_damage_create_checked(c, damage, x.root,
                                                       XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES)))
        return;
    p.damage = damage;
    p.damageFirstEvent = extension->first_event;
}

bool AnyOver(const Pending& p, const ScreenArea& area) {
    return std::any_of(p.drawn.begin(), p.drawn.end(),
                       [&](const ScreenArea& d) { return Overlap(d, area); });
}

} // namespace

bool TakeDisplayChange(const Connection& x) {
    Pending& p = ThePending();
    const std::lock_guard<std::mutex> hold(p.lock);
    Read(x, p);
    const bool changed = p.displaysChanged;
    p.displaysChanged = false;
    return changed;
}

bool TakeDrawingOver(const Connection& x, const ScreenArea& area) {
    Pending& p = ThePending();
    const std::lock_guard<std::mutex> hold(p.lock);
    if (!p.damageAsked) {
        Follow(x, p);
        return true;
    }
    if (!p.damage) return true;
    Read(x, p);
    if (p.drawn.empty()) return false;
    const bool over = AnyOver(p, area);
    p.drawn.clear();
    // Emptied, the damage reports again on the next drawing; whatever was drawn before this
    // reaches the server was reported already.
    xcb_damage_subtract(x.connection, p.damage, XCB_NONE, XCB_NONE);
    xcb_flush(x.connection);
    return over;
}

bool DrawingOverSinceTake(const Connection& x, const ScreenArea& area) {
    Pending& p = ThePending();
    const std::lock_guard<std::mutex> hold(p.lock);
    if (!p.damage) return true;
    Read(x, p);
    return AnyOver(p, area);
}

int DrawingDescriptor(const Connection& x) {
    Pending& p = ThePending();
    const std::lock_guard<std::mutex> hold(p.lock);
    return p.damage ? xcb_get_file_descriptor(x.connection) : -1;
}

} // namespace platform::coregraphics::x11
