#pragma once

// The grabber window as the interface lays it out: the grab view inside a frame of edge bars and
// corner handles of one thickness, so that no handle reaches into the grab view, and the size and
// origin displays in the bottom bar.
#include "app/windows/GrabRegionWindow.h"

#include <memory>

// The frame around a grab view of that size.
NSSize GrabRegionWindowFrameSize(NSSize grabViewSize);
// A window with that frame, its views connected and awake.
std::unique_ptr<GrabRegionWindow> BuildGrabRegionWindow(NSRect frame);
