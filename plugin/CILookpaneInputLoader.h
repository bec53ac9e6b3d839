#pragma once

#include "platform/coreimage/CoreImagePlugIn.h"

// The plug-in's loader: the framework calls load: once after loading the bundle.
class CILookpaneInputLoader : public platform::coreimage::CIPlugInRegistration {
public:
    bool load(void* host) override;
};
