#pragma once

#include <cstdint>

// The platform's system version, read once and kept with its lowest four bits cleared
// (0x1068 reads as 0x1060). Capture paths and component choices branch on it.
namespace CoreSystem {

uint32_t GetVersion();
bool IsAtLeast(uint32_t version);

} // namespace CoreSystem
