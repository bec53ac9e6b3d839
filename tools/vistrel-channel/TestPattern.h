#pragma once

#include <cstdint>

// A moving test frame in the camera's A,R,G,B byte order. The frame counter is written as 32
// black or white blocks across the top 16 rows, most significant bit first, so that any reader
// (or a person looking at a saved picture) can tell which frame arrived.
namespace TestPattern {

constexpr int kCounterRows = 16;

void Draw(uint8_t* frame, int width, int height, int rowBytes, uint32_t counter);
uint32_t ReadCounter(const uint8_t* frame, int width, int rowBytes);
// FNV-1a over the frame's bytes.
uint64_t Checksum(const uint8_t* frame, int height, int rowBytes);

} // namespace TestPattern
