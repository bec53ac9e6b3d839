#pragma once

// The arithmetic behind the grabber and save sizes: the save-size encoding, the aspect
// constraints, the custom save panel's percentages and the one-point nudges. The controller's
// menu actions and key handling apply these to the window.
#include "platform/coregraphics/CoreGraphicsDrawing.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sizes {

using platform::coregraphics::CGRect;
using platform::coregraphics::CGSize;

// Grab-view limits while the grabber is freely resizable.
constexpr CGSize kAnySizeMinViewSize{48, 48};
constexpr CGSize kAnySizeMaxViewSize{2048, 2048};

// A save size of exactly (0, 0) saves at the grabbed size. Otherwise each component v on its
// own is a scale factor |v| of the grabbed size when v < 1, and a size in points when v >= 1.
bool IsSaveSizeSameAsGrab(CGSize saveImageSize);
CGSize SaveImageSizeForGrab(CGSize grabbedSize, CGSize saveImageSize);

// The grab-view aspect ratio (width / height) each constraint action sets; 0 is none.
struct ConstrainAction {
    const char* selector;
    double ratio;
};
extern const ConstrainAction kConstrainActions[5];

// The custom save panel: its percent field p/100 travels as (p, p), negated from 1 on so that
// 100% and more stay scale factors.
CGSize percentSizeForValue(double percentValue);
// The text of a size field: a value below 1 as "%1.2f", any other as a float field shows it.
std::string sizeFieldText(double value);

// What a custom panel's field may hold: a number from min to max.
struct SizeFieldRule {
    const char* name;
    double min, max;
};
constexpr SizeFieldRule kGrabberWidthRule{"Width", kAnySizeMinViewSize.width,
                                          kAnySizeMaxViewSize.width};
constexpr SizeFieldRule kGrabberHeightRule{"Height", kAnySizeMinViewSize.height,
                                           kAnySizeMaxViewSize.height};
// A saved image keeps to what an image file and memory take comfortably.
constexpr SizeFieldRule kSaveWidthRule{"Width", 1, 8192};
constexpr SizeFieldRule kSaveHeightRule{"Height", 1, 8192};
constexpr SizeFieldRule kSavePercentRule{"Percent", 1, 400};
// The sentence that tells the user why a field's text is refused; empty when it is a number
// within the rule.
std::string SizeFieldRefusal(std::string_view text, const SizeFieldRule& rule);

// One-point nudges: with shift the size grows by d (the origin stays, so a height change moves
// the top edge), else the origin moves by d. Neither the limits nor the aspect ratio apply.
CGRect NudgedFrame(CGRect frame, CGSize d, bool shift);
struct MenuNudge {
    const char* selector;
    CGSize d;
    bool shift;
};
extern const MenuNudge kMenuNudges[8];

// What the grabber window does with a key: the first character of the event and its modifier
// flags, Shift being bit 17.
constexpr uint32_t kShiftKeyMask = 1u << 17;
enum class GrabberKey { kIgnored, kHandled, kQuickSave, kNudge };
struct GrabberKeyAction {
    GrabberKey key;
    CGSize d;
    bool shift;
    bool Handled() const { return key != GrabberKey::kIgnored; }
};
GrabberKeyAction KeyActionForCharacter(uint16_t character, uint32_t modifierFlags);

} // namespace sizes
