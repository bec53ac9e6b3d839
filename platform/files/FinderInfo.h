#pragma once

// A file's type and creator codes, kept as extended attributes in the user namespace:
// "user.finder.type" and "user.finder.creator", each the four characters of its code. A file
// system that takes no extended attributes has no codes: reading answers 0 for both and writing
// is skipped, both without error.
#include "platform/PlatformTypes.h"

#include <string>

namespace platform::files {

constexpr const char* kFileTypeAttribute = "user.finder.type";
constexpr const char* kCreatorAttribute = "user.finder.creator";

// A code that is missing (or not four bytes) reads as 0. kFnfErr when there is no such file.
OSErr FSGetFileTypeCreator(const std::string& path, uint32_t& type, uint32_t& creator);
// Writes both codes, leaving every other attribute as it is.
OSErr FSSetFileTypeCreator(const std::string& path, uint32_t type, uint32_t creator);

} // namespace platform::files
