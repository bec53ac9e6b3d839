#pragma once

// What tests read back from an X server about windows, a window that shows a known pattern and
// counts the clicks it gets, and input sent through xdotool (the XTEST extension).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct XClient;

struct RootBox {
    int x, y, width, height;
    bool operator==(const RootBox&) const = default;
};

// The window's rectangle in root coordinates, as the server has it now.
std::optional<RootBox> RootGeometry(const std::string& display, uint32_t window);
// Whether the window manager keeps the window above the others (_NET_WM_STATE_ABOVE, once).
bool KeptAbove(const std::string& display, uint32_t window);
// Whether a lies above b in the window manager's stacking of its client windows.
bool StackedAbove(const std::string& display, uint32_t a, uint32_t b);
// The window's bounding shape as the server has it now, in window coordinates: none when the
// window is not shaped (or cannot be read).
std::optional<std::vector<RootBox>> BoundingShape(const std::string& display, uint32_t window);
// The screen's pixel at (x, y) as 0x00RRGGBB (0xFFFFFFFF when it cannot be read).
uint32_t RootPixel(const std::string& display, int x, int y);

// Runs xdotool with the arguments on the display; true when it succeeded.
bool Xdotool(const std::string& display, const std::vector<std::string>& arguments);
// The window that xdotool's output names first (0: none, or it failed).
uint32_t XdotoolWindow(const std::string& display, const std::vector<std::string>& arguments);
// xdotool's steps that press at (x, y) of the root, move by (dx, dy) in two steps and release.
std::vector<std::string> DragSteps(int x, int y, int dx, int dy);

// A window outside the window manager's care, below every other window, whose background is
// TestPattern(width, height, seed); it notes the button presses it receives.
class PatternWindow {
public:
    PatternWindow(const std::string& display, RootBox where, uint32_t seed);
    uint32_t Id() const { return mWindow; }
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    bool Shown() const { return mShown; }
    // 0x00RRGGBB at (x, y) of the window.
    uint32_t At(int x, int y) const;
    // Waits until a button press arrives; counts every press seen so far.
    int Presses(double waitSeconds);

private:
    std::unique_ptr<XClient> mX;
    uint32_t mWindow = 0, mPixmap = 0;
    RootBox mWhere;
    std::vector<uint32_t> mPattern;
    bool mShown = false;
    int mPresses = 0;
};

// A desktop tray of the XEmbed kind that takes no icon in: it owns the screen's tray selection,
// announces itself to the clients, and notes who asks to dock.
class XEmbedTray {
public:
    explicit XEmbedTray(const std::string& display);
    // The window of the next dock request within the time, 0 when none came.
    uint32_t DockRequest(double waitSeconds);

private:
    std::unique_ptr<XClient> mX;
};

} // namespace testsupport
