#include "platform/quicktime/QuickTimeMemory.h"

#include "platform/quicktime/QuickTimeHandleProperties.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform::quicktime {
namespace {

// The master pointer is the block's first member: a handle is its address.
struct HandleBlock {
    char* master = nullptr;
    size_t size = 0;
    SInt8 state = 0;
    std::map<uint64_t, std::string> properties;
};

thread_local OSErr sMemError = noErr;

std::mutex& HandlesLock() {
    static std::mutex sLock;
    return sLock;
}

std::unordered_map<Handle, std::unique_ptr<HandleBlock>>& Handles() {
    static std::unordered_map<Handle, std::unique_ptr<HandleBlock>> sHandles;
    return sHandles;
}

// The block of one of our handles, or null; the lock must be held.
HandleBlock* BlockOf(Handle h) {
    if (!h) return nullptr;
    auto found = Handles().find(h);
    return found == Handles().end() ? nullptr : found->second.get();
}

// A block never has a null master pointer, even at size 0, so that *h is always usable.
char* Allocate(size_t size, bool clear) {
    return static_cast<char*>(clear ? std::calloc(size ? size : 1, 1)
                                    : std::malloc(size ? size : 1));
}

Handle NewHandleOf(Size byteCount, bool clear) {
    if (byteCount < 0) {
        sMemError = paramErr;
        return nullptr;
    }
    auto block = std::make_unique<HandleBlock>();
    block->master = Allocate(size_t(byteCount), clear);
    if (!block->master) {
        sMemError = memFullErr;
        return nullptr;
    }
    block->size = size_t(byteCount);
    Handle h = &block->master;
    std::lock_guard<std::mutex> lock(HandlesLock());
    Handles().emplace(h, std::move(block));
    sMemError = noErr;
    return h;
}

} // namespace

Handle NewHandle(Size byteCount) {
    return NewHandleOf(byteCount, false);
}

Handle NewHandleClear(Size byteCount) {
    return NewHandleOf(byteCount, true);
}

void DisposeHandle(Handle h) {
    std::unique_ptr<HandleBlock> block;
    {
        std::lock_guard<std::mutex> lock(HandlesLock());
        auto found = h ? Handles().find(h) : Handles().end();
        if (found == Handles().end()) {
            sMemError = nilHandleErr;
            return;
        }
        block = std::move(found->second);
        Handles().erase(found);
    }
    std::free(block->master);
    sMemError = noErr;
}

Size GetHandleSize(Handle h) {
    std::lock_guard<std::mutex> lock(HandlesLock());
    HandleBlock* block = BlockOf(h);
    sMemError = block ? noErr : nilHandleErr;
    return block ? Size(block->size) : 0;
}

void SetHandleSize(Handle h, Size newSize) {
    std::lock_guard<std::mutex> lock(HandlesLock());
    HandleBlock* block = BlockOf(h);
    if (!block) {
        sMemError = nilHandleErr;
        return;
    }
    if (newSize < 0) {
        sMemError = paramErr;
        return;
    }
    const size_t size = size_t(newSize);
    if (size > block->size) {
        // A locked block must stay where it is, and growing may move it.
        if (block->state & kHandleLockedBit) {
            sMemError = memFullErr;
            return;
        }
        char* grown = static_cast<char*>(std::realloc(block->master, size));
        if (!grown) {
            sMemError = memFullErr;
            return;
        }
        block->master = grown;
    }
    block->size = size;
    sMemError = noErr;
}

void HLock(Handle h) {
    HSetState(h, SInt8(HGetState(h) | kHandleLockedBit));
}

SInt8 HGetState(Handle h) {
    std::lock_guard<std::mutex> lock(HandlesLock());
    HandleBlock* block = BlockOf(h);
    sMemError = block ? noErr : nilHandleErr;
    return block ? block->state : 0;
}

void HSetState(Handle h, SInt8 flags) {
    std::lock_guard<std::mutex> lock(HandlesLock());
    HandleBlock* block = BlockOf(h);
    sMemError = block ? noErr : nilHandleErr;
    if (block) block->state = flags;
}

OSErr MemError() {
    return sMemError;
}

namespace detail {

bool SetHandleProperty(Handle h, uint64_t key, const void* value, size_t size) {
    std::lock_guard<std::mutex> lock(HandlesLock());
    HandleBlock* block = BlockOf(h);
    if (!block) return false;
    block->properties[key].assign(static_cast<const char*>(value), size);
    return true;
}

std::optional<std::string> GetHandleProperty(Handle h, uint64_t key) {
    std::lock_guard<std::mutex> lock(HandlesLock());
    HandleBlock* block = BlockOf(h);
    if (!block) return std::nullopt;
    auto found = block->properties.find(key);
    if (found == block->properties.end()) return std::nullopt;
    return found->second;
}

} // namespace detail

} // namespace platform::quicktime
