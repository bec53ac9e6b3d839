#include "kernels/KernelTable.h"

namespace kernels {

namespace {

using namespace Q_2vuy_scanline;

const Table kTables[] = {
    {CoreVectorUnit::kReference, Reference_2vuy_to_ARGB, Reference_ARGB_to_2vuy, SwizzleReference,
     SwizzleReferenceMirrored, nullptr, nullptr, nullptr, nullptr, BoxRowReference},
    // Below AVX2, pixman's own vector code stretches faster than plain rows would.
    {CoreVectorUnit::kSSE2, SSE2_2vuy_to_ARGB, SSE2_ARGB_to_2vuy, SwizzleSSE2, SwizzleSSE2Mirrored,
     nullptr, nullptr, nullptr, nullptr, BoxRowReference},
    {CoreVectorUnit::kSSSE3, SSE2_2vuy_to_ARGB, SSE2_ARGB_to_2vuy, SwizzleSSSE3,
     SwizzleSSSE3Mirrored, nullptr, nullptr, nullptr, nullptr, BoxRowReference},
    {CoreVectorUnit::kAVX2, AVX2_2vuy_to_ARGB, AVX2_ARGB_to_2vuy, SwizzleAVX2, SwizzleAVX2Mirrored,
     BilinearRowAVX2, BilinearHalfRowAVX2, BilinearColumnsAVX2, BilinearBlendAVX2, BoxRowAVX2},
    {CoreVectorUnit::kAVX512, AVX512_2vuy_to_ARGB, AVX512_ARGB_to_2vuy, SwizzleAVX2,
     SwizzleAVX2Mirrored, BilinearRowAVX2, BilinearHalfRowAVX2, BilinearColumnsAVX2,
     BilinearBlendAVX2, BoxRowAVX2},
};

} // namespace

const Table& ForLevel(CoreVectorUnit::Level level) {
    return kTables[level];
}

const Table& Chosen() {
    static const Table table = ForLevel(CoreVectorUnit::Chosen());
    return table;
}

} // namespace kernels
