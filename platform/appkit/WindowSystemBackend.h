#pragma once

// What the layer asks of the window server beyond what the toolkit does by itself: placement,
// stacking, activation and shape. One backend per kind of window server, chosen once per process.
// Internal to the layer.
#include <QRect>

#include <optional>
#include <string>

class QByteArray;
class QRegion;
class QWidget;

namespace platform::appkit {

class WindowSystemBackend {
public:
    virtual ~WindowSystemBackend() = default;
    // Before the toolkit starts: why the session's window server cannot be used ("" when it
    // can). May choose the toolkit's platform.
    virtual std::string SessionProblem() = 0;
    // Adds or removes the window manager's "above" state of a mapped top-level window.
    virtual void SetAbove(QWidget* window, bool above) = 0;
    // Asks the window manager to activate a mapped top-level window on the user's behalf, as a
    // taskbar does: the application's own request may be refused before the user has touched it.
    virtual void Activate(QWidget* window) = 0;
    // Where the server has the created window now, in screen pixels (the toolkit's own idea
    // lags behind when the window manager refuses a request without changing anything).
    virtual std::optional<QRect> PlaceOnScreen(QWidget* window) = 0;
    // Whether a native event the toolkit hands over tells of the window's geometry changing.
    virtual bool IsGeometryChange(const QByteArray& type, const void* event) = 0;
    // Shows only the region of the window and passes clicks elsewhere to what lies below; an
    // empty region shows the whole window.
    virtual void SetShape(QWidget* window, const QRegion& shown) = 0;
    // Sends the queued requests and waits until the server has taken them.
    virtual void RoundTrip() = 0;
};

// The process's backend, chosen on first use and kept to the end of the process.
WindowSystemBackend& TheWindowSystem();

// The X server, through the toolkit's xcb platform.
WindowSystemBackend& X11WindowSystem();

} // namespace platform::appkit
