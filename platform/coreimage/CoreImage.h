#pragma once

// Everything of the image-filter framework stand-in. Code written against the framework says
// `using namespace platform::coreimage;` (and platform::corevideo for pixel buffers).
#include "platform/coreimage/CoreImageContext.h"
#include "platform/coreimage/CoreImageFilter.h"
#include "platform/coreimage/CoreImageImage.h"
#include "platform/coreimage/CoreImageKernel.h"
#include "platform/coreimage/CoreImagePlugIn.h"
#include "platform/coreimage/CoreVideo.h"
