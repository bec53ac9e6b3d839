#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace testsupport {

// Bytes whose end touches an inaccessible page: any access past the end faults.
class GuardedBytes {
public:
    explicit GuardedBytes(size_t size) : mSize(size) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mMapped = (size + page - 1) / page * page + page;
        mBase = static_cast<uint8_t*>(
            mmap(nullptr, mMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (mBase == MAP_FAILED) std::abort();
        if (mprotect(mBase + mMapped - page, page, PROT_NONE) != 0) std::abort();
        mData = mBase + mMapped - page - size;
    }
    ~GuardedBytes() { munmap(mBase, mMapped); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    uint8_t* data() const { return mData; }
    size_t size() const { return mSize; }
    bool operator==(const GuardedBytes& other) const {
        return mSize == other.mSize && std::memcmp(mData, other.mData, mSize) == 0;
    }

private:
    size_t mSize;
    uint8_t* mBase;
    size_t mMapped;
    uint8_t* mData;
};

} // namespace testsupport
