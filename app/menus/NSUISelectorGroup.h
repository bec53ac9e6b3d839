#pragma once

// A selector group: a static table of menu actions that belong together, either mutually
// exclusive (exactly one item marked) or independent toggles. Items are recognised by action.
#include "platform/appkit/NSObject.h"

using platform::appkit::SEL;

struct tagNSUISelector {
    const char* name;
    // Resolved from the name when the program starts.
    SEL selector;
};

// A table ends with an entry whose name is null.
#define NSUI_SELECTOR(text)                                                                        \
    tagNSUISelector {                                                                              \
        text, platform::appkit::NSSelectorFromString(text)                                         \
    }
#define NSUI_SELECTOR_END                                                                          \
    tagNSUISelector {                                                                              \
        nullptr, SEL()                                                                             \
    }

struct tagNSUISelectorGroup {
    bool mutex;
    const char* name;
    const tagNSUISelector* selectors;

    SEL FirstSelector() const { return (*this)[0]; }
    int SelectorCount() const;
    // None, reported, for a bad index.
    SEL operator[](int selectorIndex) const;
    // The entry name of a selector, or null.
    const char* operator[](SEL selector) const;
    // The selector of an entry name, or none.
    SEL SelectorNamed(const char* name) const;
    bool IsMember(SEL selector) const;
    // Only when the name is in the table and its selector is set.
    bool IsMember(const char* name) const;
    bool IsToggleGroup() const { return !mutex; }
};
