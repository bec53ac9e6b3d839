#include "app/shell/GrabberController.h"
#include "app/shell/GrabberHotKeys.h"

#include "app/broadcast/GrabBroadcastControl.h"
#include "app/menus/NSMenuItem_NSSizeFromMenuText.h"
#include "app/menus/NSMenu_NSUISelectorGroup.h"
#include "app/menus/VistrelSelectorGroups.h"
#include "core/CoreVerify.h"

using namespace selectorgroup;

namespace {

// The any-size limits of the grab view.
constexpr NSSize kAnySizeMin{48, 48};
constexpr NSSize kAnySizeMax{2048, 2048};

struct Constraint {
    const char* selector;
    float ratio;
};
const Constraint kConstraints[] = {
    {"selectGrabberConstrainNone:", 0.0f},       {"selectGrabberConstrainSquare:", 1.0f},
    {"selectGrabberConstrain4x3:", 4.0f / 3.0f}, {"selectGrabberConstrain16x9:", 16.0f / 9.0f},
    {"selectGrabberConstrain22x1:", 2.21f},
};

struct Nudge {
    const char* selector;
    NSSize delta;
    bool shift;
};
const Nudge kNudges[] = {
    {"menuMoveLookpaneRight:", {1, 0}, false}, {"menuMoveLookpaneLeft:", {-1, 0}, false},
    {"menuMoveLookpaneUp:", {0, 1}, false},    {"menuMoveLookpaneDown:", {0, -1}, false},
    {"menuSizeLookpaneNarrow:", {1, 0}, true}, {"menuSizeLookpaneWiden:", {-1, 0}, true},
    {"menuSizeLookpaneTaller:", {0, 1}, true}, {"menuSizeLookpaneShorter:", {0, -1}, true},
};

struct ArrowKey {
    char32_t character;
    NSSize delta;
};
const ArrowKey kArrowKeys[] = {
    {NSUpArrowFunctionKey, {0, 1}},
    {NSDownArrowFunctionKey, {0, -1}},
    {NSLeftArrowFunctionKey, {-1, 0}},
    {NSRightArrowFunctionKey, {1, 0}},
};

} // namespace

GrabberController::GrabberController() {
    addGrabberActions();
    addCustomSizeActions();
}

void GrabberController::addGrabberActions() {
    addAction("applicationDidFinishLaunching:", &GrabberController::applicationDidFinishLaunching);
    addAction("applicationWillTerminate:", &GrabberController::applicationWillTerminate);
    addAction("orderFrontStandardAboutPanel:", &GrabberController::orderFrontStandardAboutPanel);
    addAction("showBroadcastPanel:", &GrabberController::showBroadcastPanel);
    addAction("grabTimer:", &GrabberController::grabTimer);
    addAction("selectGrabberSizeResizeable:", &GrabberController::menuGrabberSizeAny);
    addAction("menuGrabberSizeAny:", &GrabberController::menuGrabberSizeAny);
    addAction("selectGrabberSizeWidthHeight:",
              &GrabberController::menuSelectGrabberSizeFromSenderText);
    addAction("menuSelectGrabberSizeFromSenderText:",
              &GrabberController::menuSelectGrabberSizeFromSenderText);
    addAction("menuGrabberFloatAboveMenus:", &GrabberController::menuGrabberFloatAboveMenus);
    addAction("selectSaveSizeSameAsGrabSize:", [this](NSObject* sender) {
        selectSelfFromSelectorGroup(sender, GrabberSaveGroup);
        setSaveImageSizeDefault();
    });
    addAction("selectSaveSizeDimensions:", &GrabberController::menuSaveSizeFromSenderText);
    addAction("menuSaveSizeFromSenderText:", &GrabberController::menuSaveSizeFromSenderText);
    for (const Constraint& c : kConstraints)
        addAction(c.selector, [this, &c](NSObject* sender) {
            selectSelfFromSelectorGroup(sender, GrabberConstrainGroup);
            if (mGrabWindow) mGrabWindow->setConstrainedAspectRatio(c.ratio);
        });
    for (const Nudge& n : kNudges)
        addAction(n.selector,
                  [this, &n](NSObject*) { moveLookpane_withShiftDown(n.delta, n.shift); });
}

void GrabberController::awakeFromNib() {
    GrabWindowController::awakeFromNib();
    setUpQuickSaveFolder();
    VERIFY(mGrabberSizeCustomMenuItem);
    VERIFY(mGrabberSaveCustomMenuItem);
    if (VERIFY(mGrabDefaultsMenu)) restorePreferences(mGrabDefaultsMenu);
    if (VERIFY(mGrabberSizeMenu)) {
        restoreSelectorGroupPreferences(*mGrabberSizeMenu, GrabberToggleGroup);
        restoreSelectorGroupPreferences(*mGrabberSizeMenu, GrabberSizeGroup);
    }
    if (VERIFY(mGrabberSaveMenu))
        restoreSelectorGroupPreferences(*mGrabberSaveMenu, GrabberSaveGroup);
    ConstructGrabberHotKeys(*this);
    if (VERIFY(mGrabWindow)) {
        primaryview::recordPrimaryViewSize(*mGrabWindow, mPrimaryViewDefaults);
        mGrabWindow->setFrameViewDelta(primaryview::primaryViewSizeDelta(mPrimaryViewDefaults));
    }
    if (mGrabberConstrainMenu)
        restoreSelectorGroupPreferences(*mGrabberConstrainMenu, GrabberConstrainGroup);
    constructGrabberTimer();
}

void GrabberController::applicationDidFinishLaunching(NSObject* notification) {
    if (!VERIFY(_broadcastControl)) return;
    _broadcastControl->applicationDidFinishLaunching(notification);
    if (_broadcastControl->isBroadcasting()) showBroadcastPanel(this);
}

void GrabberController::showBroadcastPanel(NSObject* sender) {
    if (VERIFY(mBroadcastPanel)) mBroadcastPanel->makeKeyAndOrderFront(sender);
}

void GrabberController::applicationWillTerminate(NSObject* notification) {
    if (_broadcastControl) _broadcastControl->applicationWillTerminate(notification);
    if (VERIFY(mGrabDefaultsMenu)) savePreferences(mGrabDefaultsMenu);
    if (VERIFY(mGrabberSizeMenu)) {
        saveSelectorGroupPreferences(*mGrabberSizeMenu, GrabberToggleGroup);
        saveSelectorGroupPreferences(*mGrabberSizeMenu, GrabberSizeGroup);
    }
    if (VERIFY(mGrabberSaveMenu)) saveSelectorGroupPreferences(*mGrabberSaveMenu, GrabberSaveGroup);
    if (VERIFY(mGrabberConstrainMenu))
        saveSelectorGroupPreferences(*mGrabberConstrainMenu, GrabberConstrainGroup);
}

void GrabberController::orderFrontStandardAboutPanel(NSObject* sender) {
    if (aboutPanel) aboutPanel->makeKeyAndOrderFront(sender);
}

NSSize GrabberController::outerFrameSize(NSSize viewSize) const {
    return primaryview::windowFrameSizeForPrimaryViewSize(mPrimaryViewDefaults, viewSize);
}

void GrabberController::menuGrabberViewSize(NSSize viewSize) {
    if (!mGrabWindow) return;
    const NSSize frameSize = outerFrameSize(viewSize);
    mGrabWindow->setMinSize(frameSize);
    mGrabWindow->setMaxSize(frameSize);
    primaryview::resizeWindowForPrimaryViewSize(*mGrabWindow, mPrimaryViewDefaults, viewSize, true);
}

void GrabberController::menuGrabberViewMinSize_withMaxViewSize(NSSize minSize, NSSize maxSize) {
    if (!mGrabWindow) return;
    mGrabWindow->setMinSize(outerFrameSize(minSize));
    mGrabWindow->setMaxSize(outerFrameSize(maxSize));
}

void GrabberController::menuGrabberSizeAny(NSObject* sender) {
    selectSelfFromSelectorGroup(sender, GrabberSizeGroup);
    menuGrabberViewMinSize_withMaxViewSize(kAnySizeMin, kAnySizeMax);
    if (mGrabWindow) mGrabWindow->grabResizeModeChanged(sender);
}

void GrabberController::menuSelectGrabberSizeFromSenderText(NSObject* sender) {
    auto* item = dynamic_cast<NSMenuItem*>(sender);
    if (!VERIFY(item)) return;
    selectSelfFromSelectorGroup(sender, GrabberSizeGroup);
    menuGrabberViewSize(sizefrommenutext::sizeFromMenuTextWithNoPrefix(*item));
    if (mGrabWindow) mGrabWindow->grabResizeModeChanged(sender);
}

void GrabberController::menuGrabberFloatAboveMenus(NSObject* sender) {
    auto* item = dynamic_cast<NSMenuItem*>(sender);
    if (!VERIFY(item)) return;
    selectSelfFromSelectorGroup(sender, GrabberToggleGroup);
    if (mGrabWindow) mGrabWindow->setFloatAboveMenus(item->state() == NSOnState);
}

void GrabberController::menuSaveSizeFromSenderText(NSObject* sender) {
    auto* item = dynamic_cast<NSMenuItem*>(sender);
    if (!VERIFY(item)) return;
    selectSelfFromSelectorGroup(sender, GrabberSaveGroup);
    setSaveImageSize(sizefrommenutext::sizeFromMenuTextWithNoPrefix(*item));
}

void GrabberController::moveLookpane_withShiftDown(NSSize d, bool shift) {
    if (!VERIFY(mGrabWindow)) return;
    NSRect frame = mGrabWindow->frame();
    if (shift)
        frame.size.width += d.width, frame.size.height += d.height;
    else
        frame.origin.x += d.width, frame.origin.y += d.height;
    mGrabWindow->setFrame_display_animate(frame, true, false);
    mGrabWindow->repaintGrabberDimensions();
}

bool GrabberController::onKeyDown(const NSEvent& event) {
    if (event.characters().empty()) return false;
    const char32_t key = event.characters()[0];
    const bool shift = (event.modifierFlags() & NSShiftKeyMask) != 0;
    if (key == NSEnterCharacter || key == NSCarriageReturnCharacter) return true;
    if (key == U' ') {
        performSelector(NSSelectorFromString("grabQuickSave:"), nullptr);
        return true;
    }
    for (const ArrowKey& arrow : kArrowKeys)
        if (key == arrow.character) {
            moveLookpane_withShiftDown(arrow.delta, shift);
            return true;
        }
    return false;
}
