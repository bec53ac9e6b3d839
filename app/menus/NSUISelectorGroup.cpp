#include "app/menus/NSUISelectorGroup.h"

#include "core/CoreVerify.h"

#include <cstring>

int tagNSUISelectorGroup::SelectorCount() const {
    int count = 0;
    while (selectors && selectors[count].name)
        ++count;
    return count;
}

SEL tagNSUISelectorGroup::operator[](int selectorIndex) const {
    const int selectorCount = SelectorCount();
    // The reports carry these expressions as written.
    // clang-format off
    if (!VERIFY(selectorCount>0) || !VERIFY(selectorIndex<selectorCount)) return SEL();
    // clang-format on
    if (selectorIndex < 0) return SEL();
    return selectors[selectorIndex].selector;
}

const char* tagNSUISelectorGroup::operator[](SEL selector) const {
    if (!selector) return nullptr;
    for (int i = 0; selectors && selectors[i].name; ++i)
        if (selectors[i].selector == selector) return selectors[i].name;
    return nullptr;
}

SEL tagNSUISelectorGroup::SelectorNamed(const char* name) const {
    if (!name) return SEL();
    for (int i = 0; selectors && selectors[i].name; ++i)
        if (std::strcmp(selectors[i].name, name) == 0) return selectors[i].selector;
    return SEL();
}

bool tagNSUISelectorGroup::IsMember(SEL selector) const {
    return (*this)[selector] != nullptr;
}

bool tagNSUISelectorGroup::IsMember(const char* name) const {
    return static_cast<bool>(SelectorNamed(name));
}
