#pragma once

// Waiting for the window server: the application's window requests sent and taken, and the
// window manager given time to follow them (unmapping a frame, restacking), before another
// connection (a screen capture) looks at the screen.
namespace platform::appkit {

// Sends the queued requests and waits for the server's answer, then serves the event loop for
// settleSeconds so that the window manager's own requests land.
void NSWindowServerSync(double settleSeconds);

} // namespace platform::appkit
