#include "app/broadcast/GrabBroadcastControl.h"

#include "app/capture/GrabCaptureSource.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <algorithm>
#include <cstdio>

using namespace platform::coregraphics;

std::string FrameRateLabel(float factor) {
    char text[32];
    std::snprintf(text, sizeof text, "%1.f fps", double(30.0f / factor));
    return text;
}

int FrameRateDivisor(float factor) {
    return std::max(1, int(factor));
}

void GrabBroadcastControl::awakeFromNib() {
    addAction("frameRateChanged:", &GrabBroadcastControl::frameRateChanged);
    refreshDisplayMenuList();
    // Screen images always show the grabber's rectangle: there the choice would have no effect.
    if (_sourcePopUp) _sourcePopUp->setEnabled(BroadcastCaptureSource().readsChosenDisplay());
}

void GrabBroadcastControl::applicationDidFinishLaunching(NSObject* notification) {
    NSUICamBroadcastControlFast::applicationDidFinishLaunching(notification);
    frameRateChanged(_frameRateSlider);
}

bool GrabBroadcastControl::sourceGrabber() const {
    return !_sourcePopUp || _sourcePopUp->indexOfSelectedItem() < 1;
}

uint32_t GrabBroadcastControl::sourceScreenID() const {
    const NSInteger index = _sourcePopUp ? _sourcePopUp->indexOfSelectedItem() : 0;
    if (index < kFixedSourceItems || uint32_t(index - kFixedSourceItems) >= _displayCount)
        return CGMainDisplayID();
    return _display_ID_list[index - kFixedSourceItems];
}

float GrabBroadcastControl::frameRateFactor() const {
    return 4.0f - (_frameRateSlider ? _frameRateSlider->floatValue() : 3.0f);
}

int GrabBroadcastControl::frameRateDivisor() const {
    return FrameRateDivisor(frameRateFactor());
}

void GrabBroadcastControl::frameRateChanged(NSObject*) {
    if (_frameRateDisplay) _frameRateDisplay->setStringValue(FrameRateLabel(frameRateFactor()));
    frameRateDivisorChanged();
}

void GrabBroadcastControl::refreshDisplayMenuList() {
    CGDirectDisplayID displays[kMaxDisplays];
    CGDisplayCount count = 0;
    if (CGGetOnlineDisplayList(kMaxDisplays, displays, &count) != kCGErrorSuccess) count = 0;
    setDisplayMenuList(displays, count);
}

void GrabBroadcastControl::setDisplayMenuList(const uint32_t* displays, uint32_t count) {
    if (_sourcePopUp)
        while (_sourcePopUp->numberOfItems() > kFixedSourceItems)
            _sourcePopUp->removeItemAtIndex(_sourcePopUp->numberOfItems() - 1);
    _displayCount = std::min(count, kMaxDisplays);
    std::copy_n(displays, _displayCount, _display_ID_list);
    for (uint32_t i = 0; i < _displayCount; ++i)
        addMenuItemForDisplayID_displayID(i, _display_ID_list[i]);
}

void GrabBroadcastControl::addMenuItemForDisplayID_displayID(unsigned index, uint32_t displayID) {
    if (!_sourcePopUp) return;
    char title[64];
    std::snprintf(title, sizeof title, "Display #%d (%08lX)", int(index),
                  static_cast<unsigned long>(displayID));
    _sourcePopUp->addItemWithTitle(title);
}
