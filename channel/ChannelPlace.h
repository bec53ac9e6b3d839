#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

// Where this user's channel lives. Its documented names are the region file in /tmp and the two
// lock records in /dev/shm; both folders are world-writable and sticky, so another user who
// creates an entry at one of those names first could stop us for good: we may neither use nor
// remove it. When any of the three names is taken by another user, the whole channel (file and
// locks, so that no other user can plant the locks either) lives in a folder only this user can
// write: $XDG_RUNTIME_DIR, else ~/.cache/vistrel of the account's home. Every process decides by
// looking at the same three names, so the writer and its readers agree without talking.
struct ChannelPlace {
    std::string file;       // the region file; empty when the names are taken and there is no
                            // private folder
    std::string lockFolder; // the lock records are "<lockFolder>/sem.<name>"
    std::string taken;      // the documented name another user holds; empty when none is
    uid_t takenBy = 0;
    // The one line that says where the channel went and why; empty at the documented names.
    std::string Explanation() const;
};

// The place of the channel whose documented file is publicFile.
ChannelPlace ResolveChannelPlace(const std::string& publicFile);

// The folder only this user can write, created when missing: $XDG_RUNTIME_DIR when it is a folder
// of this user that no one else may enter, else <home>/.cache/vistrel (home from the account, so
// that every process of the user finds the same one). Empty when neither can be had.
std::string PrivateChannelFolder();

// Why an entry at one of the channel's names (its file or a lock record) cannot be used, in plain
// words, from what lstat says of it now, else from the error its open gave: a symbolic link, not
// a regular file, another user's, more than one hard link, shorter than minimumBytes.
std::string RefusalReason(const char* path, int error, size_t minimumBytes = 0);
