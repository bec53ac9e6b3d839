#include "app/sizes/GrabberSizes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sizes {

bool IsSaveSizeSameAsGrab(CGSize s) {
    return s.width == 0 && s.height == 0;
}

CGSize SaveImageSizeForGrab(CGSize grabbed, CGSize save) {
    if (IsSaveSizeSameAsGrab(save)) return grabbed;
    const auto component = [](double v, double of) { return v < 1 ? std::fabs(v) * of : v; };
    return {component(save.width, grabbed.width), component(save.height, grabbed.height)};
}

const ConstrainAction kConstrainActions[5] = {
    {"selectGrabberConstrainNone:", 0.0},
    {"selectGrabberConstrainSquare:", 1.0},
    {"selectGrabberConstrain4x3:", 4.0 / 3.0},
    {"selectGrabberConstrain16x9:", 16.0 / 9.0},
    // The wide-screen cinema ratio, 2.21:1.
    {"selectGrabberConstrain22x1:", 2.21},
};

CGSize percentSizeForValue(double p) {
    if (p >= 1) p = -p;
    return {p, p};
}

std::string sizeFieldText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, value < 1 ? "%1.2f" : "%g", value);
    return text;
}

std::string SizeFieldRefusal(std::string_view text, const SizeFieldRule& rule) {
    const auto space = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    const std::string digits(text);
    char* end = nullptr;
    const double value = digits.empty() ? NAN : std::strtod(digits.c_str(), &end);
    char message[96];
    if (!std::isfinite(value) || *end != '\0')
        std::snprintf(message, sizeof message, "%s must be a number.", rule.name);
    else if (value < 0)
        std::snprintf(message, sizeof message, "%s cannot be negative.", rule.name);
    else if (value < rule.min)
        std::snprintf(message, sizeof message, "%s must be at least %g.", rule.name, rule.min);
    else if (value > rule.max)
        std::snprintf(message, sizeof message, "%s must be at most %g.", rule.name, rule.max);
    else
        return "";
    return message;
}

CGRect NudgedFrame(CGRect frame, CGSize d, bool shift) {
    if (shift) {
        frame.size.width += d.width;
        frame.size.height += d.height;
    } else {
        frame.origin.x += d.width;
        frame.origin.y += d.height;
    }
    return frame;
}

// Narrow adds a point of width and Widen takes one away, as the menu has always done.
const MenuNudge kMenuNudges[8] = {
    {"menuMoveLookpaneRight:", {+1, 0}, false}, {"menuMoveLookpaneLeft:", {-1, 0}, false},
    {"menuMoveLookpaneUp:", {0, +1}, false},    {"menuMoveLookpaneDown:", {0, -1}, false},
    {"menuSizeLookpaneNarrow:", {+1, 0}, true}, {"menuSizeLookpaneWiden:", {-1, 0}, true},
    {"menuSizeLookpaneTaller:", {0, +1}, true}, {"menuSizeLookpaneShorter:", {0, -1}, true},
};

GrabberKeyAction KeyActionForCharacter(uint16_t character, uint32_t modifierFlags) {
    const bool shift = (modifierFlags & kShiftKeyMask) != 0;
    const auto nudge = [shift](double dx, double dy) {
        return GrabberKeyAction{GrabberKey::kNudge, {dx, dy}, shift};
    };
    switch (character) {
    case 3:  // Enter
    case 13: // Return
        return {GrabberKey::kHandled, {0, 0}, shift};
    case ' ':
        return {GrabberKey::kQuickSave, {0, 0}, shift};
    case 0xF700: // up arrow
        return nudge(0, +1);
    case 0xF701: // down arrow
        return nudge(0, -1);
    case 0xF702: // left arrow
        return nudge(-1, 0);
    case 0xF703: // right arrow
        return nudge(+1, 0);
    default:
        return {GrabberKey::kIgnored, {0, 0}, shift};
    }
}

} // namespace sizes
