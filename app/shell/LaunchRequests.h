#pragma once

// Vistrel's command line: the actions a desktop's own shortcuts can bind, each carried out by the
// running copy as its hot key or menu item would.
#include "platform/appkit/AppKit.h"

const platform::appkit::NSApplicationLaunch& VistrelLaunch();
