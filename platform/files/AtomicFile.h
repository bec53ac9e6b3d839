#pragma once

// A file written whole or not at all: the bytes go to a hidden temporary file in the target's
// folder, which Commit flushes to disk and renames over the target (replacing any file there).
// Until then, and whenever anything fails, the target is untouched and the temporary file is
// removed, so a failed write leaves no partial file behind. A writer killed on the way leaves its
// temporary file, which RemoveStale takes away later; the writer holds a lock on it meanwhile.
#include "platform/PlatformTypes.h"

#include <ctime>
#include <string>

namespace platform::files {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile() { Abandon(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file beside path. kFnfErr when the folder does not exist.
    OSErr Open(const std::string& path);
    // The temporary file's descriptor, open for reading and writing; -1 when not open.
    int Descriptor() const { return mFd; }
    // Syncs the data, gives the file the mode a new file gets under the process's umask, and
    // renames it to the target. On failure the temporary file is removed.
    OSErr Commit();
    // Removes the temporary file, if there is one.
    void Abandon();
    // Abandons the write for the reason in errno; kIoErr.
    OSErr Fail();
    // The errno of this thread's last failed write (0 when none failed, or the cause is unknown).
    static int LastError();

    // Removes the temporary files that writes of this user never finished in the folder: only
    // our names, only files last changed before the time, never one a live writer holds. The
    // number removed.
    static int RemoveStale(const std::string& folder, std::time_t before);

private:
    std::string mPath, mTemporary;
    int mFd = -1;
};

} // namespace platform::files
