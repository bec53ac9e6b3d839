#pragma once

// Which vector instructions pixel code may use, chosen once per process: the plain reference
// forms when VISTREL_PIXELS_REFERENCE is set to anything but "" or "0", else the widest level
// this processor runs. The kernel table (kernels/KernelTable.h) is filled from this choice.
namespace CoreVectorUnit {

// AVX-512 here means its foundation and byte/word instructions (F and BW).
enum Level { kReference = 0, kSSE2 = 1, kSSSE3 = 2, kAVX2 = 3, kAVX512 = 4 };
constexpr Level kLevels[] = {kReference, kSSE2, kSSSE3, kAVX2, kAVX512};

// Whether this processor runs the level (kReference and kSSE2 always on x86-64).
bool Runs(Level level);
// The choice for a value of the reference switch (null when it is not set).
Level Choose(const char* referenceSwitch);
// The process's choice; the environment is read on the first call only.
Level Chosen();
// "reference", "sse2", "ssse3", "avx2" or "avx512".
const char* Name(Level level);

} // namespace CoreVectorUnit
