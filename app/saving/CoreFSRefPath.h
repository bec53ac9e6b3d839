#pragma once

// Folder references and the POSIX paths they stand for, within the toolkit's 1024-byte limit.
#include "platform/files/PlatformFiles.h"

#include <cstddef>

constexpr size_t kCorePathCapacity = 1024;

// Refers to an existing file-system object; false when there is none or the path is too long.
bool bool_FSRef_ConstructFromPath(platform::files::FSRef& outRef, const char* inPath);
// The object's normalised absolute path (symbolic links resolved), NUL-terminated; false when
// the object is gone or the path would not fit, leaving the output empty.
bool bool_FSRef_GetUnixPath(const platform::files::FSRef& inRef,
                            char (&outPath)[kCorePathCapacity]);
// Whether the reference names an existing folder.
bool bool_FSRef_IsFolder(const platform::files::FSRef& inRef);
