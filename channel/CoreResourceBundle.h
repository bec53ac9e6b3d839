#pragma once

#include "channel/CFBaseDLL.h"

#include <string>

// A bundle shipped in the program's resources that can be installed, as a symbolic link, into a
// standard folder and loaded from there.
class CoreResourceBundle {
public:
    CoreResourceBundle(const char* fileName, const char* baseName);
    virtual ~CoreResourceBundle();

    virtual bool AlreadyInstalledSomewhere() const { return false; }

    // Installing does nothing when the bundle is already installed somewhere; removing first
    // unloads this client's own copy.
    bool InstallLocation(bool install, int location);
    // Unloads this client's copy and removes the link only when this client's InstallLocation
    // made it: a link another process made (a running broadcast's) stays. True when nothing of
    // this client's is left.
    bool RemoveOwnLink(int location);
    // Links <location>/<fileName> to the resource <baseName>.component, or removes that link.
    static bool InstallBaseFileNameLocation(const char* baseName, const char* fileName,
                                            bool install, int location);

    const std::string& FileName() const { return mFileName; }
    const std::string& BaseName() const { return mBaseName; }

protected:
    T_CFBaseDLL<I_CFBundleDLL> mLibrary;
    std::string mFileName;
    std::string mBaseName;
    bool mMadeLink = false;
};

// Both report their failure in the toolkit's verification format.
bool MakeSymbolicLinkFromTo(const char* in_source, const char* in_path);
bool FileDelete(const char* in_path);
