#include "app/shell/GrabberController.h"
#include "app/shell/CustomSizePanels.h"
#include "app/shell/GrabberHotKeys.h"

#include "app/broadcast/GrabBroadcastControl.h"
#include "app/menus/NSMenu_NSUISelectorGroup.h"
#include "app/menus/VistrelSelectorGroups.h"
#include "app/shell/UserFeedback.h"
#include "app/sizes/GrabberSizes.h"
#include "app/sizes/NSSizeFromMenuText.h"
#include "core/CoreVerify.h"

using namespace selectorgroup;

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
    addAction("broadcastDidStart:", &GrabberController::broadcastDidStart);
    addAction("grabberWillClose:", &GrabberController::grabberWillClose);
    addAction("selectGrabberSizeResizeable:", &GrabberController::menuGrabberSizeAny);
    addAction("menuGrabberSizeAny:", &GrabberController::menuGrabberSizeAny);
    addAction("selectGrabberSizeWidthHeight:",
              &GrabberController::menuSelectGrabberSizeFromSenderText);
    addAction("menuSelectGrabberSizeFromSenderText:",
              &GrabberController::menuSelectGrabberSizeFromSenderText);
    addAction("menuGrabberFloatAboveMenus:", &GrabberController::menuGrabberFloatAboveMenus);
    addAction("selectSaveSizeSameAsGrabSize:", [this](NSObject* sender) {
        selectSelfFromSelectorGroup(sender, GrabberSaveGroup);
        CustomSavePanel::orderOutSavePanel();
        setSaveImageSizeDefault();
    });
    addAction("selectSaveSizeDimensions:", &GrabberController::menuSaveSizeFromSenderText);
    addAction("menuSaveSizeFromSenderText:", &GrabberController::menuSaveSizeFromSenderText);
    for (const sizes::ConstrainAction& c : sizes::kConstrainActions)
        addAction(c.selector, [this, &c](NSObject* sender) {
            selectSelfFromSelectorGroup(sender, GrabberConstrainGroup);
            if (mGrabWindow) mGrabWindow->setConstrainedAspectRatio(float(c.ratio));
        });
    for (const sizes::MenuNudge& n : sizes::kMenuNudges)
        addAction(n.selector, [this, &n](NSObject*) { moveLookpane_withShiftDown(n.d, n.shift); });
}

void GrabberController::awakeFromNib() {
    GrabWindowController::awakeFromNib();
    removeUnfinishedSaves();
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
    if (mGrabWindow)
        NSNotificationCenter::defaultCenter().addObserver(
            this, NSSelectorFromString("grabberWillClose:"), NSWindowWillCloseNotification,
            mGrabWindow);
}

void GrabberController::grabberWillClose(NSObject*) {
    // Hidden, the grabber could come back only through the tray.
    if (!NSStatusItem::isAvailable()) NSApp()->terminate(this);
}

void GrabberController::applicationDidFinishLaunching(NSObject* notification) {
    tellSettingsProblem();
    if (!VERIFY(_broadcastControl)) return;
    _broadcastControl->applicationDidFinishLaunching(notification);
    if (_broadcastControl->isBroadcasting() || _broadcastControl->isWaitingToBroadcast())
        showBroadcastPanel(this);
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
    NSUserDefaults::standardUserDefaults().synchronize();
    tellSettingsProblem();
}

void GrabberController::tellSettingsProblem() {
    const std::string problem = NSUserDefaults::standardUserDefaults().takeStoreProblem();
    if (!problem.empty()) TellUser("Vistrel settings", problem);
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
    CustomSizePanel::orderOutSizePanel();
    menuGrabberViewMinSize_withMaxViewSize(sizes::kAnySizeMinViewSize, sizes::kAnySizeMaxViewSize);
    if (mGrabWindow) mGrabWindow->grabResizeModeChanged(sender);
}

void GrabberController::menuSelectGrabberSizeFromSenderText(NSObject* sender) {
    auto* item = dynamic_cast<NSMenuItem*>(sender);
    if (!VERIFY(item)) return;
    selectSelfFromSelectorGroup(sender, GrabberSizeGroup);
    CustomSizePanel::orderOutSizePanel();
    menuGrabberViewSize(sizes::sizeFromMenuTextWithNoPrefix(item->title().c_str()));
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
    CustomSavePanel::orderOutSavePanel();
    setSaveImageSize(sizes::sizeFromMenuTextWithNoPrefix(item->title().c_str()));
}

void GrabberController::moveLookpane_withShiftDown(NSSize d, bool shift) {
    if (!VERIFY(mGrabWindow)) return;
    mGrabWindow->setFrame_display_animate(sizes::NudgedFrame(mGrabWindow->frame(), d, shift), true,
                                          false);
    mGrabWindow->repaintGrabberDimensions();
}

bool GrabberController::onKeyDown(const NSEvent& event) {
    // The grabber's keys are all in the basic plane; others are not cut down into it.
    if (event.characters().empty() || event.characters()[0] > 0xFFFF) return false;
    const sizes::GrabberKeyAction action =
        sizes::KeyActionForCharacter(uint16_t(event.characters()[0]), event.modifierFlags());
    if (action.key == sizes::GrabberKey::kQuickSave)
        performSelector(NSSelectorFromString("grabQuickSave:"), nullptr);
    else if (action.key == sizes::GrabberKey::kNudge)
        moveLookpane_withShiftDown(action.d, action.shift);
    return action.Handled();
}
