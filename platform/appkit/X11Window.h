#pragma once

// The few requests to the X server that the toolkit does not make for the layer. Internal.
#include <QRect>

#include <optional>

class QWidget;

namespace platform::appkit::x11 {

// Adds or removes the window manager's "above" state of a mapped top-level window.
void SetAbove(QWidget* window, bool above);
// Asks the window manager to activate a mapped top-level window on the user's behalf, as a
// taskbar does: the application's own request may be refused before the user has touched it.
void Activate(QWidget* window);
// Where the server has the created window now, in root window pixels (the toolkit's own idea
// lags behind when the window manager refuses a request without changing anything).
std::optional<QRect> RootGeometry(QWidget* window);
// Whether an event the toolkit hands over as "xcb_generic_event_t" tells of the window's
// geometry changing.
bool IsConfigureNotify(const void* event);

} // namespace platform::appkit::x11
