#pragma once

// Everything of the media toolkit stand-in: types, handles, time bases, image descriptions, the
// component manager and the video-digitizer calls.
#include "platform/quicktime/QuickTimeComponents.h"
#include "platform/quicktime/QuickTimeImageCompression.h"
#include "platform/quicktime/QuickTimeMemory.h"
#include "platform/quicktime/QuickTimeTimeBase.h"
#include "platform/quicktime/QuickTimeTypes.h"
#include "platform/quicktime/QuickTimeVideoDigitizer.h"
