#pragma once

// The two custom-size panels: the grabber's size in points, and the save size in points or as a
// percentage of the grab. Each edits the size held in the title of the custom menu item attached
// to it and, when the user applies it (Apply or Return), runs that item's action on a later pass
// of the loop; a field out of its rule is refused with a message in the panel. Escape closes.
#include "app/sizes/GrabberSizes.h"
#include "platform/appkit/AppKit.h"

#include <functional>
#include <memory>
#include <string>

using namespace platform::appkit;

class CustomSizePanel : public NSWindow {
public:
    CustomSizePanel(NSRect frame, NSSize contentSize);
    // Becomes the shared panel of its kind.
    virtual void awakeFromNib();
    // The shared panel placed, made key and ordered front; null, with a report, when there is
    // none.
    static CustomSizePanel* sharedInstanceSizePanel();
    // Where the shared panels go before they are shown (the controller keeps them clear of the
    // grabber).
    static void setPlacement(std::function<void(NSWindow&)> place);
    // A size chosen from the menu ends the custom entry: the shared panel, if shown, goes.
    static void orderOutSizePanel();

    void attachMenuItem_withSizeFromMenuItem(NSMenuItem* item, NSMenuItem* source);
    void attachMenuItem(NSMenuItem* item) { attachMenuItem_withSizeFromMenuItem(item, item); }
    virtual void setSize_withUpdate(NSSize size, bool update);
    virtual NSSize currentSize() const;
    // Writes currentSize into the attached item's title and runs the item's action later.
    void onSizeChanged();
    // The user's apply: onSizeChanged when every field keeps its rule, else the first refusal
    // in the panel's message line (and the log), with nothing applied.
    void applyCustomSize();
    void keyDown(const NSEvent& event) override;

    NSTextField* mWidth = nullptr;
    NSTextField* mHeight = nullptr;
    NSMenuItem* mAttachedMenuItem = nullptr;

protected:
    NSTextField* addField(NSRect frame, const char* label, NSRect labelFrame);
    // The first field out of its rule, as a sentence; empty when all keep theirs.
    virtual std::string refusal() const;
    static void show(NSWindow& panel);
    NSButton* mApply = nullptr;
    NSTextField* mMessage = nullptr;
    sizes::SizeFieldRule mWidthRule = sizes::kGrabberWidthRule;
    sizes::SizeFieldRule mHeightRule = sizes::kGrabberHeightRule;
};

class CustomSavePanel : public CustomSizePanel {
public:
    explicit CustomSavePanel(NSRect frame);
    void awakeFromNib() override;
    static CustomSavePanel* sharedInstanceSavePanel();
    static void orderOutSavePanel();

    void setSize_withUpdate(NSSize size, bool update) override;
    NSSize currentSize() const override;
    double percentValue() const;
    NSSize percentSize() const;
    void setPercentSize(NSSize size);
    void setPercentValue(double fraction);

protected:
    std::string refusal() const override;

public:
    NSMatrix* mSelectSizeOrPercent = nullptr;
    NSSlider* mPercentSlider = nullptr;
    NSTextField* mPercentText = nullptr;
};

// Both panels, as the interface builds them; destroyed with it.
struct CustomSizePanels {
    std::unique_ptr<CustomSizePanel> size;
    std::unique_ptr<CustomSavePanel> save;
};
CustomSizePanels BuildCustomSizePanels();
