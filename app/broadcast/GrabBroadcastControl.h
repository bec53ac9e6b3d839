#pragma once

// The application's broadcast control: the choice of source (the grabber window, the main
// display, or one of the online displays listed after the three fixed items) and the frame
// rate, a factor of the 30 Hz grab timer set by a slider from 0 to 3.
#include "app/broadcast/NSUICamBroadcastControlFast.h"

#include <cstdint>

class GrabBroadcastControl : public NSUICamBroadcastControlFast {
public:
    static constexpr int kFixedSourceItems = 3;
    static constexpr uint32_t kMaxDisplays = 8;

    using NSUICamBroadcastControlFast::NSUICamBroadcastControlFast;
    void awakeFromNib();
    void applicationDidFinishLaunching(NSObject* notification) override;

    bool sourceGrabber() const;
    uint32_t sourceScreenID() const;
    float frameRateFactor() const;
    int frameRateDivisor() const override;
    void frameRateChanged(NSObject* sender);
    // The online displays from the platform, listed after the fixed items.
    void refreshDisplayMenuList();
    // Lists these displays (at most eight) after the fixed items.
    void setDisplayMenuList(const uint32_t* displays, uint32_t count);
    void addMenuItemForDisplayID_displayID(unsigned index, uint32_t displayID);

    // Outlets.
    NSPopUpButton* _sourcePopUp = nullptr;
    NSSlider* _frameRateSlider = nullptr;
    NSTextField* _frameRateDisplay = nullptr;
    uint32_t _display_ID_list[kMaxDisplays]{};
    uint32_t _displayCount = 0;
};

// "%1.f fps" of 30 / factor.
std::string FrameRateLabel(float factor);
// The grab timer's ticks per broadcast frame at a factor: its whole part.
int FrameRateDivisor(float factor);
