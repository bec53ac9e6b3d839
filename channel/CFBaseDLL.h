#pragma once

#include "platform/bundles/PlatformBundle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A URL here is an absolute path; no URL is std::nullopt.
using CoreURL = std::optional<std::string>;

// Folders in which a loadable library is looked for.
class CFBaseDLL {
public:
    enum Location : int {
        kExecutableFolder = 0,
        kSystemFrameworks = 1,
        kLocalFrameworks = 2,
        kPrivateFrameworks = 3,
        kSharedFrameworks = 4,
        kResources = 5,
        kBuiltInPlugIns = 6,
        kSupportFiles = 7,
        kLocalQuickTime = 8,
        kSystemQuickTime = 9,
        kUserQuickTime = 10,
    };

    // The path of name in a location; none for an unknown location, a folder that does not exist,
    // or a main-bundle folder of a program that is not installed as a bundle.
    static CoreURL URLOfNameInLocation(const char* name, int location);
    // name inside the standard folder (and subfolder, when given); the folder is not created.
    static CoreURL URLOfNameInFindFolder(const char* name, uint32_t folderType, int16_t domain,
                                         const char* subfolder);
};

// A loaded bundle reference. The reference is kept even when its executable fails to load.
class I_CFBundleDLL {
public:
    bool LoadFromURL(const CoreURL& url);
    bool Unload();
    bool IsLoaded() const { return mBundle && mBundle->IsExecutableLoaded(); }
    void* FunctionPointerForName(const char* name) const {
        return mBundle ? mBundle->FunctionPointerForName(name) : nullptr;
    }

private:
    std::unique_ptr<platform::bundles::Bundle> mBundle;
};

// A library found by name in the component folders: user, system, then local.
template <class DLL> class T_CFBaseDLL : public CFBaseDLL, public DLL {
public:
    void SetSearchName(const char* name) { mSearchName = name ? name : ""; }
    const std::string& SearchName() const { return mSearchName; }

    bool LoadQuickTimeComponentBundle(const char* name) {
        if (name) SetSearchName(name);
        for (int location : {kUserQuickTime, kSystemQuickTime, kLocalQuickTime}) {
            if (DLL::IsLoaded()) return true;
            const CoreURL url = URLOfNameInLocation(mSearchName.c_str(), location);
            if (url && DLL::LoadFromURL(url)) return true;
        }
        return DLL::IsLoaded();
    }

private:
    std::string mSearchName;
};
