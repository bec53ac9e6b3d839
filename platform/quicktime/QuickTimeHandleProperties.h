#pragma once

// Inside the layer only: values attached to a handle that live and die with it.
#include "platform/quicktime/QuickTimeTypes.h"

#include <optional>
#include <string>

namespace platform::quicktime::detail {

// False when the handle is not one of ours.
bool SetHandleProperty(Handle h, uint64_t key, const void* value, size_t size);
std::optional<std::string> GetHandleProperty(Handle h, uint64_t key);

} // namespace platform::quicktime::detail
