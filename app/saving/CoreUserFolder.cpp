#include "app/saving/CoreUserFolder.h"
#include "app/saving/CoreFSRefPath.h"
#include "core/CoreVerify.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>

using namespace platform::files;

namespace {

// An entry of a folder by name, which may not exist yet.
class NestedFolder {
public:
    // The name must be one path component.
    bool Construct(const FSRef* inParent, const char* inName) {
        if (!inParent || !inName || !inName[0] || std::strchr(inName, '/') ||
            !std::strcmp(inName, ".") || !std::strcmp(inName, "..") ||
            std::strlen(inName) > NAME_MAX)
            return false;
        mRef.path = inParent->path + "/" + inName;
        return mRef.path.size() < kCorePathCapacity;
    }
    bool IsFolder() const { return bool_FSRef_IsFolder(mRef); }
    // The folder gets the mode the umask leaves of 0777, like any new folder of the user's.
    bool CreateFolder() const { return ::mkdir(mRef.path.c_str(), 0777) == 0 || IsFolder(); }
    bool GetNormalizedRef(FSRef& out) const {
        char path[kCorePathCapacity];
        if (!IsFolder() || !bool_FSRef_GetUnixPath(mRef, path)) return false;
        out.path = path;
        return true;
    }

private:
    FSRef mRef;
};

} // namespace

CoreUserFolder::CoreUserFolder(const char* inSubFolderName, uint32_t inFindFolderLocation,
                               int16_t inFindFolderDomain)
    : mFindFolderLocation(inFindFolderLocation), mFindFolderDomain(inFindFolderDomain) {
    if (inSubFolderName) mSubFolderName = inSubFolderName;
    FSRef foundFolderRef;
    VERIFY(GetFileRef(foundFolderRef));
}

bool CoreUserFolder::GetFileRef(FSRef& out_foundFolderRef) const {
    const int16_t inFindFolderDomain = mFindFolderDomain;
    const uint32_t inFindFolderLocation = mFindFolderLocation;
    FSRef foundFolderRef;
    if (VERIFY_ERR(FSFindFolder(inFindFolderDomain, inFindFolderLocation, kCreateFolder,
                                &foundFolderRef)) != kNoErr)
        return false;
    if (!mSubFolderName) {
        out_foundFolderRef = foundFolderRef;
        return true;
    }
    const char* inSubFolderName = mSubFolderName->c_str();
    NestedFolder nestedFolder;
    if (!VERIFY(nestedFolder.Construct(&foundFolderRef, inSubFolderName))) return false;
    bool fOk;
    if (nestedFolder.IsFolder()) {
        VERIFY(fOk = nestedFolder.GetNormalizedRef(out_foundFolderRef));
        return fOk;
    }
    if (!VERIFY(nestedFolder.CreateFolder())) return false;
    VERIFY(fOk = nestedFolder.GetNormalizedRef(out_foundFolderRef));
    return fOk;
}

bool CoreUserFolder::GetUnixPath(std::string& outPath) const {
    FSRef ref;
    if (!GetFileRef(ref)) return false;
    outPath = ref.path;
    return true;
}

std::string CoreUserFolder::Problem() const {
    std::string path = StandardFolderPath(Domain(mFindFolderDomain), mFindFolderLocation);
    if (mSubFolderName) path += "/" + *mSubFolderName;
    const std::string why = FolderProblem(path);
    return path + " " + (why.empty() ? "cannot be used" : why);
}
