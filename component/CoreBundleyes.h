#pragma once

#include <cstddef>

// Questions about the host process's main bundle.
namespace CoreBundleyes {

// Whether the main bundle's identifier equals, ignoring case, one of the list's entries. A host
// without an identifier is no member.
bool IsMainMember(const char* const* list, size_t count);

template <size_t N> bool IsMainMember(const char* const (&list)[N]) {
    return IsMainMember(list, N);
}

} // namespace CoreBundleyes
