#pragma once

// Everything of the application-kit stand-in, for code written against the platform: it says
// `using namespace platform::appkit;`.
#include "platform/appkit/AppKitTypes.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSApplicationLaunch.h"
#include "platform/appkit/NSControls.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSGraphics.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSNotificationCenter.h"
#include "platform/appkit/NSObject.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSTimer.h"
#include "platform/appkit/NSUserDefaults.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/StatusMenus.h"
