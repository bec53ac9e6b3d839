#pragma once

#include <cstdint>
#include <string>

// Writes an A,R,G,B frame as an RGBA PNG. The file appears complete or not at all.
bool WriteArgbPng(const std::string& path, const uint8_t* frame, int width, int height,
                  int rowBytes, std::string& error);
