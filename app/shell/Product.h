#pragma once

constexpr const char* kProductName = "Vistrel";
constexpr const char* kProductVersion = "1.705";
