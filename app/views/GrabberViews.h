#pragma once

// The views drawn around the grab view of the grab region window: edge bars to move it, corner
// handles to resize it, and the size and origin displays. All of them act on the first click.
#include "app/views/NSUIColorContentView.h"

#include <string>

class GrabberMoveView : public NSUIBlackOpaqueView {
public:
    using NSUIBlackOpaqueView::NSUIBlackOpaqueView;
    bool acceptsFirstMouse(const NSEvent*) override { return true; }
    void awakeFromNib() { setOpacity(0.9f); }
    // The attributes of the displays' titles, built once and shared.
    static const NSStringAttributes& titleTextAttributes();
};

// What a corner handle asks its window: whether the mouse may resize it.
class GrabberResizeModeSource {
public:
    virtual ~GrabberResizeModeSource() = default;
    virtual bool canBeMouseResized() const = 0;
};

class GrabberResizeView : public NSUIBlackOpaqueView {
public:
    using NSUIBlackOpaqueView::NSUIBlackOpaqueView;
    bool acceptsFirstMouse(const NSEvent*) override { return true; }
    void awakeFromNib() { setOpacity(0.9f); }
    // The dark square, with a grip of two discs while the window can be resized.
    void drawRect(NSRect rect) override;
};

class GrabberDisplayView : public NSUIDarkGreyLozengeView {
public:
    using NSUIDarkGreyLozengeView::NSUIDarkGreyLozengeView;
    bool acceptsFirstMouse(const NSEvent*) override { return true; }
    // Shown only while the grab view is wider than about three times the display.
    void drawRect(NSRect rect) override;
    virtual std::string title() const { return ""; }
    void drawTitleRect(NSRect rect);
    virtual void adjustTitleRectSelf_titleRect(NSRect, NSRect*) {}
    // Outlet: the grab view whose frame is reported.
    NSView* _grabberView = nullptr;
};

class GrabberDisplaySizeView : public GrabberDisplayView {
public:
    using GrabberDisplayView::GrabberDisplayView;
    std::string title() const override;
};

class GrabberDisplayOriginView : public GrabberDisplayView {
public:
    using GrabberDisplayView::GrabberDisplayView;
    std::string title() const override;
};
