// The bundle's exported entry points: its initialisation function and the factories of its
// loader and filter classes, which the framework finds by class name.
#include "plugin/CILookpaneInputLoader.h"

#include "core/CoreMachDebugLog.h"
#include "plugin/CILookpaneInput.h"

#define CILOOKPANE_EXPORT extern "C" __attribute__((visibility("default")))

bool CILookpaneInputLoader::load(void*) {
    return true;
}

CILOOKPANE_EXPORT void BundleInitFunc() {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
}

CILOOKPANE_EXPORT platform::coreimage::CIPlugInRegistration* CILookpaneInputLoader_new() {
    return new CILookpaneInputLoader;
}

CILOOKPANE_EXPORT platform::coreimage::CIFilter* CILookpaneInput_new() {
    return new CILookpaneInput;
}
