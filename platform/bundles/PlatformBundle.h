#pragma once

#include "platform/bundles/BundleFolders.h"

#include <memory>
#include <string>

namespace platform::bundles {

// A loadable bundle: <path>/Contents/Info.ini names the executable, which lives at
// <path>/Contents/Linux/<arch>/<executable>.so. Loading is dlopen, lookup dlsym, unloading dlclose.
class Bundle {
public:
    static constexpr long kMaxExecutableBytes = 512L * 1024 * 1024;

    // Null when path is not a folder.
    static std::unique_ptr<Bundle> Create(const std::string& path);
    // A bundle an enumeration found, with the metadata it read.
    static std::unique_ptr<Bundle> Create(const FoundBundle& found);
    ~Bundle();
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    const std::string& Path() const { return mPath; }
    const std::string& Identifier() const { return mIdentifier; }
    // Empty when the metadata names no executable.
    std::string ExecutablePath() const;
    // <path>/Contents/Resources/<name>.<type> when it exists; empty otherwise.
    std::string ResourcePath(const std::string& name, const std::string& type) const;
    // A value of the bundle's Info.ini, or empty.
    std::string InfoValue(const std::string& key) const;
    // Why Info.ini was not read, or empty.
    const std::string& InfoRefusal() const { return mInfo.Refusal(); }

    // Only a regular file of at most kMaxExecutableBytes is loaded.
    bool LoadExecutable();
    bool IsExecutableLoaded() const { return mHandle != nullptr; }
    void UnloadExecutable();
    // The loader's words for the last failed load.
    const std::string& LoadError() const { return mLoadError; }

    // Null when not loaded or not exported.
    void* FunctionPointerForName(const char* name) const;

private:
    explicit Bundle(std::string path) : mPath(std::move(path)) {}

    std::string mPath;
    std::string mIdentifier;
    std::string mExecutable;
    BundleInfo mInfo;
    std::string mLoadError;
    void* mHandle = nullptr;
};

} // namespace platform::bundles
