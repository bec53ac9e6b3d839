#include "app/saving/CoreNumberedFilename.h"
#include "core/CoreVerify.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

using namespace platform::files;

uint32_t LocationFromEnum(folder_enum_t inFolderEnum) {
    switch (inFolderEnum) {
    case folder_Pictures:
        return kPictureDocumentsFolderType;
    case folder_DesktopPictures:
        return kDesktopPicturesFolderType;
    case folder_Documents:
        return kDocumentsFolderType;
    case folder_Music:
        return kMusicDocumentsFolderType;
    case folder_Desktop:
    default:
        return kDesktopFolderType;
    }
}

bool CoreIsNumberFormat(const char* format) {
    if (!format) return false;
    int conversions = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        if (*++p == '%') continue;
        p += std::strspn(p, "-+ #0");
        p += std::strspn(p, "0123456789");
        if (*p == '.') p += 1 + std::strspn(p + 1, "0123456789");
        if (*p != 'd' && *p != 'i') return false;
        ++conversions;
    }
    return conversions == 1;
}

void CoreNumberedFilename::Empty() {
    sUserDefaultFolder = FSRef();
    sUserDefaultFolderPath[0] = 0;
}

bool CoreNumberedFilename::Construct(folder_enum_t inFolderEnum) {
    return VERIFY(Construct(LocationFromEnum(inFolderEnum)));
}

bool CoreNumberedFilename::Construct(uint32_t inFolderLocation) {
    Empty();
    const int16_t domain = kUserDomain;
    if (VERIFY_ERR(FSFindFolder(domain, inFolderLocation, kDontCreateFolder,
                                &sUserDefaultFolder)) != kNoErr) {
        Empty();
        return false;
    }
    bool fOk;
    // clang-format off
    if (!VERIFY(fOk=bool_FSRef_GetUnixPath(sUserDefaultFolder, sUserDefaultFolderPath))) Empty();
    // clang-format on
    return fOk;
}

bool CoreNumberedFilename::Construct(const char* inFolderUnixPath) {
    Empty();
    if (!VERIFY(bool_FSRef_ConstructFromPath(sUserDefaultFolder, inFolderUnixPath)) ||
        !VERIFY(bool_FSRef_IsFolder(sUserDefaultFolder)) ||
        !VERIFY(bool_FSRef_GetUnixPath(sUserDefaultFolder, sUserDefaultFolderPath))) {
        Empty();
        return false;
    }
    return true;
}

bool CoreNumberedFilename::IsConstructed() const {
    return sUserDefaultFolderPath[0] && bool_FSRef_IsFolder(sUserDefaultFolder);
}

const char* CoreNumberedFilename::DefaultFolderPath() const {
    VERIFY(IsConstructed());
    return sUserDefaultFolderPath;
}

bool CoreNumberedFilename::FindFirstAvailableNamedPathNumber(char (&outPath)[kCorePathCapacity],
                                                             const char* inNameFormat,
                                                             const char* inExtension,
                                                             int* outNumber,
                                                             const char* inOtherExtension) const {
    std::memset(outPath, 0, sizeof outPath);
    if (outNumber) *outNumber = 0;
    if (!VERIFY(IsConstructed())) return false;
    if (inOtherExtension && inExtension && std::strcmp(inOtherExtension, inExtension) == 0)
        inOtherExtension = nullptr;
    if (!VERIFY(CoreIsNumberFormat(inNameFormat)) ||
        !VERIFY(inExtension && !std::strchr(inExtension, '/')) ||
        !VERIFY(!inOtherExtension || !std::strchr(inOtherExtension, '/')))
        return false;
    for (int n = 0; n < kMaxNumberedNames; ++n) {
        char name[NAME_MAX + 1];
        const int nameLength = std::snprintf(name, sizeof name, inNameFormat, n);
        char path[kCorePathCapacity];
        bool taken = false;
        // The main extension last, so that a free name leaves its path behind.
        for (const char* extension : {inOtherExtension, inExtension}) {
            if (!extension || taken) continue;
            if (!VERIFY(nameLength > 0 &&
                        size_t(nameLength) + 1 + std::strlen(extension) <= NAME_MAX &&
                        !std::strchr(name, '/')))
                return false;
            const int pathLength = std::snprintf(path, sizeof path, "%s/%s.%s",
                                                 sUserDefaultFolderPath, name, extension);
            if (!VERIFY(pathLength > 0 && size_t(pathLength) < sizeof path)) return false;
            struct stat st;
            taken = ::lstat(path, &st) == 0;
            if (!taken && !VERIFY(errno == ENOENT)) return false;
        }
        if (taken) continue;
        std::memcpy(outPath, path, std::strlen(path) + 1);
        if (outNumber) *outNumber = n;
        return true;
    }
    return false;
}

bool CoreNumberedFilename::FindFirstAvailableNamedPath(char (&outPath)[kCorePathCapacity],
                                                       const char* inNameFormat,
                                                       const char* inExtension,
                                                       const char* inOtherExtension) const {
    return FindFirstAvailableNamedPathNumber(outPath, inNameFormat, inExtension, nullptr,
                                             inOtherExtension);
}

bool CoreNumberedFilename::FindFirstAvailableNamedFileNumber(const char* inNameFormat,
                                                             const char* inExtension,
                                                             int* outNumber) const {
    char path[kCorePathCapacity];
    return FindFirstAvailableNamedPathNumber(path, inNameFormat, inExtension, outNumber);
}
