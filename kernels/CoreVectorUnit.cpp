#include "kernels/CoreVectorUnit.h"

#include <cstdlib>
#include <cstring>

namespace CoreVectorUnit {

bool Runs(Level level) {
    switch (level) {
    case kReference:
    case kSSE2:
        return true;
    case kSSSE3:
        return __builtin_cpu_supports("ssse3");
    case kAVX2:
        return __builtin_cpu_supports("avx2");
    case kAVX512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    }
    return false;
}

Level Choose(const char* referenceSwitch) {
    if (referenceSwitch && *referenceSwitch && std::strcmp(referenceSwitch, "0") != 0)
        return kReference;
    if (Runs(kAVX512)) return kAVX512;
    if (Runs(kAVX2)) return kAVX2;
    return Runs(kSSSE3) ? kSSSE3 : kSSE2;
}

Level Chosen() {
    static const Level chosen = Choose(std::getenv("VISTREL_PIXELS_REFERENCE"));
    return chosen;
}

const char* Name(Level level) {
    static const char* const kNames[] = {"reference", "sse2", "ssse3", "avx2", "avx512"};
    return kNames[level];
}

} // namespace CoreVectorUnit
