#include "app/saving/CoreFSRefPath.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

bool bool_FSRef_ConstructFromPath(platform::files::FSRef& outRef, const char* inPath) {
    struct stat st;
    if (!inPath || !inPath[0] || std::strlen(inPath) >= kCorePathCapacity ||
        ::lstat(inPath, &st) != 0)
        return false;
    outRef.path = inPath;
    return true;
}

bool bool_FSRef_GetUnixPath(const platform::files::FSRef& inRef,
                            char (&outPath)[kCorePathCapacity]) {
    outPath[0] = 0;
    char resolved[PATH_MAX];
    if (inRef.path.empty() || !::realpath(inRef.path.c_str(), resolved) ||
        std::strlen(resolved) >= kCorePathCapacity)
        return false;
    std::strcpy(outPath, resolved);
    return true;
}

bool bool_FSRef_IsFolder(const platform::files::FSRef& inRef) {
    struct stat st;
    return !inRef.path.empty() && ::stat(inRef.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
