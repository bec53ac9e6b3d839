#pragma once

// The interface kit's filled views: a colour with an opacity filled over what is drawn, the
// near-black bar, and the dark-grey lozenge.
#include "platform/appkit/AppKit.h"

using namespace platform::appkit;

class NSUIColorContentView : public NSView {
public:
    using NSView::NSView;
    void setGreyColor(float grey) { viewColorRGB[0] = viewColorRGB[1] = viewColorRGB[2] = grey; }
    void setOpacity(float opacity) { alphaOpacity = opacity; }
    float opacity() const { return alphaOpacity; }
    bool drawsContent() const override { return true; }
    void drawRect(NSRect rect) override;

protected:
    // The view's colour at its opacity, made the current fill.
    void setFillColor() const;

private:
    float viewColorRGB[3] = {0, 0, 0};
    float alphaOpacity = 1.0f;
};

class NSUIBlackOpaqueView : public NSUIColorContentView {
public:
    static constexpr float kGrey = 0.05f;
    explicit NSUIBlackOpaqueView(NSRect frame);
};

class NSUIDarkGreyLozengeView : public NSUIColorContentView {
public:
    explicit NSUIDarkGreyLozengeView(NSRect frame);
    void drawRect(NSRect rect) override;
};

// A rectangle with fully rounded ends.
void NSUIDrawLozenge(NSRect rect);
