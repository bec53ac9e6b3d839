#pragma once

// The few requests to the X server that the toolkit does not make for the layer. Internal.
class QWidget;

namespace platform::appkit::x11 {

// Adds or removes the window manager's "above" state of a mapped top-level window.
void SetAbove(QWidget* window, bool above);

} // namespace platform::appkit::x11
