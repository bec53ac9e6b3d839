#include "app/broadcast/NSUICamBroadcastControlFast.h"

void NSUICamBroadcastControlFast::broadcastImage(platform::coregraphics::CGImageRef image) {
    if (image && isBroadcasting()) frameWriter().WriteImage(image);
}
