#pragma once

constexpr const char* kProductName = "Vistrel";
constexpr const char* kProductVersion = "1.705";
// The desktop file's and the themed icon's name.
constexpr const char* kProductIdentifier = "com.tarnwick.Vistrel";
