#include "app/shell/CustomSizePanels.h"

#include "app/sizes/GrabberSizes.h"
#include "app/sizes/NSSizeFromMenuText.h"
#include "core/CoreMachDebugLog.h"
#include "core/CoreVerify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

CustomSizePanel* sSharedCustomSizePanel = nullptr;
CustomSavePanel* sSharedCustomSavePanel = nullptr;
std::function<void(NSWindow&)> sPlacement;

} // namespace

CustomSizePanel::CustomSizePanel(NSRect frame, NSSize contentSize)
    : NSWindow(frame, NSTitledWindowMask, NSBackingStoreBuffered, false) {
    setContentView(
        std::make_unique<NSView>(NSMakeRect(0, 0, contentSize.width, contentSize.height)));
    const double top = contentSize.height;
    mWidth = addField(NSMakeRect(80, top - 34, 90, 24), "Width", NSMakeRect(10, top - 34, 65, 24));
    mHeight =
        addField(NSMakeRect(80, top - 64, 90, 24), "Height", NSMakeRect(10, top - 64, 65, 24));
    mApply = static_cast<NSButton*>(contentView()->addSubview(
        std::make_unique<NSButton>(NSMakeRect(contentSize.width - 90, 8, 80, 28), "Apply",
                                   NSButtonType::NSMomentaryPushInButton)));
    mApply->setTarget(this);
    mApply->setAction(NSSelectorFromString("applyCustomSize:"));
    mMessage = static_cast<NSTextField*>(contentView()->addSubview(
        std::make_unique<NSTextField>(NSMakeRect(10, 6, contentSize.width - 110, 24), false)));
    addAction("applyCustomSize:", [this](NSObject*) { applyCustomSize(); });
    addAction("sizeTextFieldChanged:", [](NSObject*) {});
}

NSTextField* CustomSizePanel::addField(NSRect frame, const char* label, NSRect labelFrame) {
    auto* text = static_cast<NSTextField*>(
        contentView()->addSubview(std::make_unique<NSTextField>(labelFrame, false)));
    text->setStringValue(label);
    auto* field = static_cast<NSTextField*>(
        contentView()->addSubview(std::make_unique<NSTextField>(frame, true)));
    field->setTarget(this);
    field->setAction(NSSelectorFromString("sizeTextFieldChanged:"));
    return field;
}

void CustomSizePanel::awakeFromNib() {
    sSharedCustomSizePanel = this;
    mAttachedMenuItem = nullptr;
}

void CustomSizePanel::setPlacement(std::function<void(NSWindow&)> place) {
    sPlacement = std::move(place);
}

void CustomSizePanel::show(NSWindow& panel) {
    if (sPlacement) sPlacement(panel);
    panel.makeKeyAndOrderFront(nullptr);
}

CustomSizePanel* CustomSizePanel::sharedInstanceSizePanel() {
    if (!VERIFY(sSharedCustomSizePanel)) return nullptr;
    show(*sSharedCustomSizePanel);
    return sSharedCustomSizePanel;
}

void CustomSizePanel::orderOutSizePanel() {
    if (sSharedCustomSizePanel) sSharedCustomSizePanel->orderOut(nullptr);
}

void CustomSizePanel::attachMenuItem_withSizeFromMenuItem(NSMenuItem* item, NSMenuItem* source) {
    if (!VERIFY(item) || !source) return;
    mAttachedMenuItem = item;
    // The menus are named for what they size ("Grabber Size", "Save Size").
    setTitle("Custom " + (item->menu() ? item->menu()->title() : std::string("Size")));
    mMessage->setStringValue("");
    setSize_withUpdate(sizes::sizeFromMenuTextWithCustomPrefix(source->title().c_str()),
                       item != source);
}

void CustomSizePanel::setSize_withUpdate(NSSize size, bool update) {
    mWidth->setStringValue(sizes::sizeFieldText(size.width));
    mHeight->setStringValue(sizes::sizeFieldText(size.height));
    if (update) onSizeChanged();
}

NSSize CustomSizePanel::currentSize() const {
    return NSMakeSize(mWidth->floatValue(), mHeight->floatValue());
}

std::string CustomSizePanel::refusal() const {
    const std::string refused = sizes::SizeFieldRefusal(mWidth->stringValue(), mWidthRule);
    return refused.empty() ? sizes::SizeFieldRefusal(mHeight->stringValue(), mHeightRule) : refused;
}

void CustomSizePanel::applyCustomSize() {
    const std::string refused = refusal();
    mMessage->setStringValue(refused);
    if (refused.empty()) return onSizeChanged();
    CoreMachDebugLog("Vistrel: %s: %s\n", title().c_str(), refused.c_str());
}

void CustomSizePanel::keyDown(const NSEvent& event) {
    const std::u32string& key = event.characters();
    if (key.size() == 1 && (key[0] == NSCarriageReturnCharacter || key[0] == NSEnterCharacter))
        return applyCustomSize();
    if (key == U"\x1b") return orderOut(nullptr);
    NSWindow::keyDown(event);
}

void CustomSizePanel::onSizeChanged() {
    if (!VERIFY(mAttachedMenuItem)) return;
    const NSSize size = currentSize();
    if (const auto title = sizes::sizeTitleWithCustomPrefix({size.width, size.height}))
        mAttachedMenuItem->setTitle(*title);
    NSObject* menuItemTarget = mAttachedMenuItem->target();
    const SEL menuItemAction = mAttachedMenuItem->action();
    if (!VERIFY(menuItemTarget) || !VERIFY(menuItemAction)) return;
    menuItemTarget->performSelectorOnMainThread_withObject_waitUntilDone(menuItemAction,
                                                                         mAttachedMenuItem, false);
}

CustomSavePanel::CustomSavePanel(NSRect frame) : CustomSizePanel(frame, frame.size) {
    mWidthRule = sizes::kSaveWidthRule;
    mHeightRule = sizes::kSaveHeightRule;
    const double top = frame.size.height;
    mSelectSizeOrPercent = static_cast<NSMatrix*>(contentView()->addSubview(
        std::make_unique<NSMatrix>(NSMakeRect(180, top - 64, 100, 54),
                                   std::vector<NSMatrix::Cell>{{"Size", 0}, {"Percent", 1}})));
    mPercentText =
        addField(NSMakeRect(80, top - 94, 90, 24), "Percent", NSMakeRect(10, top - 94, 65, 24));
    mPercentSlider = static_cast<NSSlider*>(contentView()->addSubview(
        std::make_unique<NSSlider>(NSMakeRect(10, top - 124, 270, 24), 1, 400)));
    mPercentSlider->setTarget(this);
    mPercentSlider->setAction(NSSelectorFromString("percentSliderChanged:"));
    mPercentText->setAction(NSSelectorFromString("percentTextChanged:"));
    addAction("sizeTextFieldChanged:",
              [this](NSObject*) { mSelectSizeOrPercent->selectCellWithTag(0); });
    addAction("percentTextChanged:", [this](NSObject*) {
        mSelectSizeOrPercent->selectCellWithTag(1);
        mPercentSlider->setDoubleValue(mPercentText->doubleValue());
    });
    addAction("percentSliderChanged:", [this](NSObject*) {
        mSelectSizeOrPercent->selectCellWithTag(1);
        mPercentText->setStringValue(std::to_string(int(mPercentSlider->doubleValue())));
    });
}

void CustomSavePanel::awakeFromNib() {
    sSharedCustomSavePanel = this;
    mAttachedMenuItem = nullptr;
}

CustomSavePanel* CustomSavePanel::sharedInstanceSavePanel() {
    if (!VERIFY(sSharedCustomSavePanel)) return nullptr;
    show(*sSharedCustomSavePanel);
    return sSharedCustomSavePanel;
}

void CustomSavePanel::orderOutSavePanel() {
    if (sSharedCustomSavePanel) sSharedCustomSavePanel->orderOut(nullptr);
}

void CustomSavePanel::setSize_withUpdate(NSSize size, bool update) {
    if (size.width >= 1 && size.height >= 1) {
        mSelectSizeOrPercent->selectCellWithTag(0);
        CustomSizePanel::setSize_withUpdate(size, update);
        return;
    }
    setPercentSize(size);
    if (update) onSizeChanged();
}

std::string CustomSavePanel::refusal() const {
    if (mSelectSizeOrPercent->selectedTag() == 1)
        return sizes::SizeFieldRefusal(mPercentText->stringValue(), sizes::kSavePercentRule);
    return CustomSizePanel::refusal();
}

NSSize CustomSavePanel::currentSize() const {
    if (mSelectSizeOrPercent->selectedTag() == 1) return percentSize();
    return CustomSizePanel::currentSize();
}

double CustomSavePanel::percentValue() const {
    return mPercentText->doubleValue() / 100;
}

NSSize CustomSavePanel::percentSize() const {
    return sizes::percentSizeForValue(percentValue());
}

void CustomSavePanel::setPercentSize(NSSize size) {
    setPercentValue(std::min(std::abs(size.width), std::abs(size.height)));
}

void CustomSavePanel::setPercentValue(double fraction) {
    mSelectSizeOrPercent->selectCellWithTag(1);
    char text[32];
    std::snprintf(text, sizeof text, "%g", fraction * 100);
    mPercentText->setStringValue(text);
    mPercentSlider->setDoubleValue(fraction * 100);
}

CustomSizePanels BuildCustomSizePanels() {
    CustomSizePanels panels;
    panels.size =
        std::make_unique<CustomSizePanel>(NSMakeRect(120, 400, 300, 100), NSMakeSize(300, 100));
    panels.save = std::make_unique<CustomSavePanel>(NSMakeRect(420, 400, 300, 170));
    panels.size->awakeFromNib();
    panels.save->awakeFromNib();
    return panels;
}
