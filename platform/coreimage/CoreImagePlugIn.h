#pragma once

// Image-filter plug-ins: bundles "<Name>.plugin" in the image-unit folders (user, local, system).
//
// A plug-in bundle's Info.ini names, besides its identifier and executable:
//   CIPlugInLoaderClass=<class>      its loader, a CIPlugInRegistration
//   CIPlugInFilterList=<name>[,...]  the filters it provides, each a CIFilter class of that name
// Classes are found by name, as the platform finds classes: the object exports a C function
// "<class>_new" that makes one instance with new (null when it cannot). Loading a bundle calls
// its exported "void BundleInitFunc(void)" when there is one, then its loader's load: with the
// host pointer; only when that answers true are its filters registered. Loaded plug-ins stay
// loaded for the life of the process.
#include "platform/coreimage/CoreVideo.h"

#include <string>

namespace platform::bundles {
class Bundle;
}

namespace platform::coreimage {

class CI_API CIPlugInRegistration {
public:
    virtual ~CIPlugInRegistration();
    virtual bool load(void* host) = 0;
};

constexpr const char* kCIPlugInLoaderClassKey = "CIPlugInLoaderClass";
constexpr const char* kCIPlugInFilterListKey = "CIPlugInFilterList";
constexpr const char* kCIPlugInInitFunction = "BundleInitFunc";
constexpr const char* kCIClassFactorySuffix = "_new";

class CI_API CIPlugIn {
public:
    // Every plug-in bundle of the image-unit folders; of two with one identifier the first found
    // (user before local before system) is loaded.
    static void loadAllPlugIns();

    // The loaded plug-in bundle with an identifier, or whose object holds an address; null when
    // there is none.
    static const platform::bundles::Bundle* bundleWithIdentifier(const std::string& identifier);
    static const platform::bundles::Bundle* bundleForAddress(const void* address);
};

} // namespace platform::coreimage
