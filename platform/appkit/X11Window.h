#pragma once

// The few requests to the X server that the toolkit does not make for the layer. Internal.
class QWidget;

namespace platform::appkit::x11 {

// Adds or removes the window manager's "above" state of a mapped top-level window.
void SetAbove(QWidget* window, bool above);
// Asks the window manager to activate a mapped top-level window on the user's behalf, as a
// taskbar does: the application's own request may be refused before the user has touched it.
void Activate(QWidget* window);

} // namespace platform::appkit::x11
