#pragma once

#include <string>
#include <sys/stat.h>

namespace platform::bundles {

// Opens a file of a bundle for reading only when it is a regular file of at most maxBytes. The
// open does not block and the checks are made on the opened file, so a FIFO or a device put
// where a bundle's file belongs is refused instead of waited on. The descriptor (close-on-exec)
// and the file's status, or -1 with the reason in plain words.
int OpenRegularFile(const std::string& path, off_t maxBytes, struct stat& status,
                    std::string& refusal);
// The reason given for a file past its bound.
std::string TooLarge(const std::string& path, off_t maxBytes);

} // namespace platform::bundles
