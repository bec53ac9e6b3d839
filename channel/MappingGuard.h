#pragma once

#include <cstddef>
#include <sys/types.h>

// Keeps a process alive when a file it maps shrinks under it, and tells its owner when the file
// at the path is no longer the one mapped.
//
// Why a guarded access and not a check before each access: any process of the user may truncate
// the channel's files at any moment, and the frame buffers are handed to code we do not control
// (a host's copy, a drawing context), so no check could close the window between itself and the
// access. Instead a SIGBUS raised by an access inside a guarded range maps zero pages over the
// whole range, at the same address and with the same protection, and marks the range faulted;
// the access then goes on over those pages, and the owner, seeing the mark, reopens the file
// over the same range (so that addresses handed out stay valid). Faults elsewhere, and SIGBUS
// sent by a process, go to the handler that was there before (a host's own, or the default).
namespace mapping_guard {

// False when every slot is taken (the range is then unguarded). Guarding a guarded range again
// sets its protection and clears its mark.
bool Guard(void* base, size_t size, int protection);
void Unguard(void* base);
// Whether the range starting at base faulted since it was guarded or last cleared.
bool Faulted(const void* base);
void ClearFault(void* base);
// Zero pages over the range: what a fault leaves, made on purpose.
bool MapZeroPages(void* base, size_t size, int protection);

// How the file now at a path differs from the one mapped from there (its device and inode, the
// length mapped, the range's fault mark).
enum class Drift { kNone, kShrank, kRemoved, kReplaced };
Drift DriftFrom(const char* path, dev_t device, ino_t inode, size_t mappedSize, const void* base);
const char* Words(Drift drift);

} // namespace mapping_guard
