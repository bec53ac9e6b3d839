#pragma once

// The About window: a borderless picture the user can drag, resize from its bottom-right corner,
// and close with a click that does not move.
#include "app/windows/NSWindow_MouseMoveSize.h"

#include <string>

using namespace platform::appkit;

class PDFSkinAboutBox : public NSWindow, public mousemovesize::NSWindow_MouseMoveSizeHooks {
public:
    PDFSkinAboutBox(NSRect contentRect, std::string title);
    bool canBecomeKeyWindow() const override { return true; }
    void mouseDown(const NSEvent& event) override;
    void windowMouseMoveSize_SingleClick() override { orderOut(this); }
};
