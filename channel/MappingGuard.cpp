#include "channel/MappingGuard.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mapping_guard {
namespace {

// The handler reads the slots at any moment: each field is atomic, and a slot's range is
// published last (base) and withdrawn first.
struct Slot {
    std::atomic<bool> used{false};
    std::atomic<uintptr_t> base{0};
    std::atomic<size_t> size{0}; // whole pages
    std::atomic<int> protection{0};
    std::atomic<bool> faulted{false};
};

Slot sSlots[16];
struct sigaction sPrevious;

Slot* SlotOf(const void* base) {
    for (Slot& slot : sSlots)
        if (base && slot.base.load() == reinterpret_cast<uintptr_t>(base)) return &slot;
    return nullptr;
}

void Chain(int signal, siginfo_t* info, void* context) {
    if (sPrevious.sa_flags & SA_SIGINFO) return sPrevious.sa_sigaction(signal, info, context);
    if (sPrevious.sa_handler != SIG_DFL && sPrevious.sa_handler != SIG_IGN)
        return sPrevious.sa_handler(signal);
    // A sent signal that was ignored stays ignored; a fault always ends the process.
    if (sPrevious.sa_handler == SIG_IGN && info->si_code <= 0) return;
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    // A fault repeats when the handler returns; a sent signal is sent again.
    if (info->si_code <= 0) ::raise(signal);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    // Only a fault the kernel raised for an access (si_code above 0) is ours to repair.
    for (Slot& slot : sSlots) {
        const uintptr_t base = slot.base.load();
        if (info->si_code <= 0 || base == 0 || address - base >= slot.size.load()) continue;
        const int savedErrno = errno;
        const bool repaired =
            MapZeroPages(reinterpret_cast<void*>(base), slot.size.load(), slot.protection.load());
        errno = savedErrno;
        if (!repaired) break;
        slot.faulted.store(true);
        return;
    }
    Chain(signal, info, context);
}

// The handler is installed while a range is guarded. A component is unloaded when its last user
// goes, after its ranges: its handler is taken out then, unless another was installed over it
// (which may chain to it, so it cannot be taken out of the chain).
std::mutex sInstalling;
bool sInstalled = false;

bool IsOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == OnBusError;
}

void Install() {
    const std::lock_guard<std::mutex> hold(sInstalling);
    if (sInstalled) return;
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sInstalled = ::sigaction(SIGBUS, &action, &sPrevious) == 0;
}

void UninstallWhenUnused() {
    const std::lock_guard<std::mutex> hold(sInstalling);
    for (const Slot& slot : sSlots)
        if (slot.used.load()) return;
    struct sigaction current {};
    if (!sInstalled || ::sigaction(SIGBUS, nullptr, &current) != 0 || !IsOurs(current)) return;
    sInstalled = ::sigaction(SIGBUS, &sPrevious, nullptr) != 0;
}

} // namespace

bool Guard(void* base, size_t size, int protection) {
    Install();
    // A range mapped again over its own pages keeps its slot: no moment unguarded.
    if (Slot* slot = SlotOf(base)) {
        slot->protection.store(protection);
        slot->faulted.store(false);
        return true;
    }
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    for (Slot& slot : sSlots) {
        bool free = false;
        if (!slot.used.compare_exchange_strong(free, true)) continue;
        slot.size.store((size + page - 1) / page * page);
        slot.protection.store(protection);
        slot.faulted.store(false);
        slot.base.store(reinterpret_cast<uintptr_t>(base));
        return true;
    }
    return false;
}

void Unguard(void* base) {
    if (Slot* slot = SlotOf(base)) {
        slot->base.store(0);
        slot->used.store(false);
        UninstallWhenUnused();
    }
}

bool Faulted(const void* base) {
    const Slot* slot = SlotOf(base);
    return slot && slot->faulted.load();
}

void ClearFault(void* base) {
    if (Slot* slot = SlotOf(base)) slot->faulted.store(false);
}

bool MapZeroPages(void* base, size_t size, int protection) {
    return ::mmap(base, size, protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
           MAP_FAILED;
}

Drift DriftFrom(const char* path, dev_t device, ino_t inode, size_t mappedSize, const void* base) {
    if (Faulted(base)) return Drift::kShrank;
    struct stat st;
    if (::lstat(path, &st) != 0) return errno == ENOENT ? Drift::kRemoved : Drift::kNone;
    if (st.st_dev != device || st.st_ino != inode) return Drift::kReplaced;
    return st.st_size < off_t(mappedSize) ? Drift::kShrank : Drift::kNone;
}

const char* Words(Drift drift) {
    switch (drift) {
    case Drift::kShrank:
        return "shrank under this process's mapping";
    case Drift::kRemoved:
        return "was removed";
    case Drift::kReplaced:
        return "was replaced by another file";
    default:
        return "is as it was";
    }
}

} // namespace mapping_guard
