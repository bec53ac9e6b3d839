#pragma once

// Everything of the two-dimensional drawing stand-in.
#include "platform/coregraphics/CoreGraphicsDrawing.h"
