#pragma once

#include "platform/PlatformTypes.h"

#include <string>
#include <vector>

namespace platform::files {

using platform::kFnfErr;
using platform::kIoErr;
using platform::kNoErr;
using platform::kParamErr;
using platform::OSErr;

enum Domain : int16_t {
    kSystemDomain = -32766,
    kLocalDomain = -32765,
    kUserDomain = -32763,
};

constexpr bool kCreateFolder = true;
constexpr bool kDontCreateFolder = false;

constexpr uint32_t kLogsFolderType = FourCC("logs");
constexpr uint32_t kQuickTimeComponentsFolderType = FourCC("wcmp");
constexpr uint32_t kFrameworksFolderType = FourCC("fram");
// Our own type: the folders image-filter hosts load plug-in bundles from.
constexpr uint32_t kImageUnitsFolderType = FourCC("iunt");
// The user's own folders, where xdg-user-dirs puts them (user domain only).
constexpr uint32_t kPictureDocumentsFolderType = FourCC("pdoc");
constexpr uint32_t kDesktopFolderType = FourCC("desk");
constexpr uint32_t kDesktopPicturesFolderType = FourCC("dtp\xC4");
constexpr uint32_t kDocumentsFolderType = FourCC("docs");
constexpr uint32_t kMusicDocumentsFolderType = FourCC("mdoc");

// The existing standard folders of a type in a domain, in their order. The user domain has one
// (XDG base and user folders); the local domain's is in this build's install prefix; the system
// domain has one in each prefix <p> whose data folder <p>/share is listed in XDG_DATA_DIRS.
std::vector<std::string> FindFolders(Domain domain, uint32_t folderType);

// The first of them, as an absolute path without a trailing slash. Without kCreateFolder none is
// kFnfErr; with it, the domain's first folder and its parents are made.
OSErr FindFolder(Domain domain, uint32_t folderType, bool createFolder, std::string& path);

// Where the standard folder of a type is, whether or not it exists; empty for an unknown type.
std::string StandardFolderPath(Domain domain, uint32_t folderType);
// Why files cannot be written into the folder, in plain words that follow its path ("is a file,
// not a folder"); empty when they can.
std::string FolderProblem(const std::string& path);

// The folder-reference form of FindFolder, for code written against the folder manager.
struct FSRef {
    std::string path;
};
OSErr FSFindFolder(int16_t domain, uint32_t folderType, bool createFolder, FSRef* folder);

// $HOME, or the password database's home of the effective user when HOME is unset.
std::string HomeFolder();

} // namespace platform::files
