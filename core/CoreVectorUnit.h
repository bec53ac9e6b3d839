#pragma once

// Which vector instructions pixel code may use, chosen once per process and shared by every
// pixel routine so that one switch selects the plain forms everywhere: the plain reference
// forms when VISTREL_PIXELS_REFERENCE is set to anything but "" or "0", else the widest level
// this processor runs. Depends on nothing, so the drawing layer below the toolkit can use it.
namespace CoreVectorUnit {

// AVX-512 here means its foundation and byte/word instructions (F and BW).
enum Level { kReference = 0, kSSE2 = 1, kSSSE3 = 2, kAVX2 = 3, kAVX512 = 4 };

// Whether this processor runs the level (kReference and kSSE2 always on x86-64).
bool Runs(Level level);
// The process's choice; the environment is read on the first call only.
Level Chosen();
// "reference", "sse2", "ssse3", "avx2" or "avx512".
const char* Name(Level level);

} // namespace CoreVectorUnit
