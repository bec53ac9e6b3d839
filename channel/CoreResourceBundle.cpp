#include "channel/CoreResourceBundle.h"

#include "core/CoreVerify.h"
#include "platform/bundles/PlatformMainBundle.h"
#include "platform/files/PlatformFiles.h"

#include <unistd.h>

namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsReadable(const std::string& path) {
    return ::access(path.c_str(), R_OK) == 0;
}

} // namespace

bool MakeSymbolicLinkFromTo(const char* in_source, const char* in_path) {
    const int posix_result = ::symlink(WithoutTrailingSlashes(in_source).c_str(),
                                       WithoutTrailingSlashes(in_path).c_str());
    bool fOk = false;
    // clang-format off
    VERIFY(fOk = (0==posix_result));
    // clang-format on
    return fOk;
}

bool FileDelete(const char* in_path) {
    bool fOk = false;
    // clang-format off
    VERIFY(fOk = (0==unlink(in_path)));
    // clang-format on
    return fOk;
}

CoreResourceBundle::CoreResourceBundle(const char* fileName, const char* baseName)
    : mFileName(fileName ? fileName : ""), mBaseName(baseName ? baseName : "") {}

CoreResourceBundle::~CoreResourceBundle() = default;

bool CoreResourceBundle::InstallLocation(bool install, int location) {
    if (install && AlreadyInstalledSomewhere()) return true;
    if (!install) mLibrary.Unload();
    const bool done =
        InstallBaseFileNameLocation(mBaseName.c_str(), mFileName.c_str(), install, location);
    mMadeLink = install && done;
    return done;
}

bool CoreResourceBundle::RemoveOwnLink(int location) {
    if (mMadeLink) return InstallLocation(false, location);
    mLibrary.Unload();
    return true;
}

bool CoreResourceBundle::InstallBaseFileNameLocation(const char* baseName, const char* fileName,
                                                     bool install, int location) {
    if (!baseName || !*baseName || !fileName || !*fileName) return false;
    const std::string source =
        platform::bundles::MainBundle::Get().ResourcePath(baseName, "component");
    if (source.empty()) return false;
    // A fresh account has no component folder of its own yet; broadcasting must still install.
    if (install && location == CFBaseDLL::kUserQuickTime) {
        std::string folder;
        platform::files::FindFolder(platform::files::kUserDomain,
                                    platform::files::kQuickTimeComponentsFolderType,
                                    platform::files::kCreateFolder, folder);
    }
    const CoreURL target = CFBaseDLL::URLOfNameInLocation(fileName, location);
    if (!target) return false;
    if (install) {
        if (!IsReadable(source) || IsReadable(*target)) return false;
        return MakeSymbolicLinkFromTo(source.c_str(), target->c_str());
    }
    if (!IsReadable(*target)) return false;
    return FileDelete(target->c_str());
}
