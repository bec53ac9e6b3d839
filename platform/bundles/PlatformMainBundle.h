#pragma once

#include <string>

namespace platform::bundles {

// The running program's bundle. A program installed as <prefix>/bin/<name> whose tree holds
// <prefix>/share/<name>/Info.ini is a full bundle: its identifier comes from that file and its
// resources folder is share/<name> (or the folder the file's Resources key names, relative to it).
// Any other program is a bare bundle: its identifier is the executable's file name and it has no
// resource folders.
class MainBundle {
public:
    static const MainBundle& Get();

    bool IsInstallTree() const { return mIsInstallTree; }
    const std::string& Identifier() const { return mIdentifier; }
    const std::string& ExecutableFolder() const { return mExecutableFolder; }
    // The remaining folders are empty for a bare bundle.
    const std::string& ResourcesFolder() const { return mResources; }
    std::string PrivateFrameworksFolder() const;
    std::string SharedFrameworksFolder() const;
    std::string BuiltInPlugInsFolder() const;
    std::string SupportFilesFolder() const;

    // <resources>/<name>.<extension> when it exists; empty otherwise.
    std::string ResourcePath(const std::string& name, const std::string& extension) const;

    // Reads the bundle of the given executable; Get() uses /proc/self/exe.
    static MainBundle ForExecutable(const std::string& executablePath);

private:
    std::string Beside(const char* relative) const;

    bool mIsInstallTree = false;
    std::string mIdentifier;
    std::string mExecutableFolder;
    std::string mPrefix;
    std::string mName;
    std::string mResources;
};

} // namespace platform::bundles
