#include "app/menus/NSMenu_NSUISelectorGroup.h"

#include "core/CoreVerify.h"
#include "platform/appkit/NSUserDefaults.h"

#include <functional>

namespace selectorgroup {

namespace {

// Every item of the menu whose action is a member of the group.
void ForEachMember(NSMenu& menu, const Group& group, const std::function<void(NSMenuItem*)>& f) {
    for (NSInteger i = 0; i < menu.numberOfItems(); ++i) {
        NSMenuItem* item = menu.itemAtIndex(i);
        if (group.IsMember(item->action())) f(item);
    }
}

NSMenuItem* FirstMember(NSMenu& menu, const Group& group,
                        const std::function<bool(NSMenuItem*)>& test) {
    NSMenuItem* found = nullptr;
    ForEachMember(menu, group, [&](NSMenuItem* item) {
        if (!found && test(item)) found = item;
    });
    return found;
}

NSUserDefaults& Defaults() {
    return NSUserDefaults::standardUserDefaults();
}

} // namespace

int countItemsForSelectorFromSelectorGroup(NSMenu& menu, SEL selector) {
    int count = 0;
    for (NSInteger i = 0; i < menu.numberOfItems(); ++i)
        if (selector && menu.itemAtIndex(i)->action() == selector) ++count;
    return count;
}

NSMenuItem* firstMenuItemWithSelector_fromSelectorGroup(NSMenu& menu, SEL selector,
                                                        const Group& group) {
    return FirstMember(menu, group, [&](NSMenuItem* item) { return item->action() == selector; });
}

NSMenuItem* selectedMenuItemFromSelectorGroup(NSMenu& menu, const Group& group) {
    return FirstMember(menu, group, [](NSMenuItem* item) { return item->state() == NSOnState; });
}

SEL selectedMenuItemSelectorFromSelectorGroup(NSMenu& menu, const Group& group) {
    NSMenuItem* item = selectedMenuItemFromSelectorGroup(menu, group);
    return item ? item->action() : SEL();
}

NSMenuItem* selectMenuItemWithSelector_fromSelectorGroup(NSMenu& menu, SEL selector,
                                                         const Group& group) {
    NSMenuItem* first = nullptr;
    ForEachMember(menu, group, [&](NSMenuItem* item) {
        const bool on = item->action() == selector;
        item->setState(on ? NSOnState : NSOffState);
        if (on && !first) first = item;
    });
    return first;
}

NSMenuItem* selectFirstFromSelectorGroup(NSMenu& menu, const Group& group) {
    return selectMenuItemWithSelector_fromSelectorGroup(menu, group.FirstSelector(), group);
}

void selectMenuItemWithMenuText_fromSelectorGroup(NSMenu& menu, const std::string& text,
                                                  const Group& group) {
    ForEachMember(menu, group, [&](NSMenuItem* item) {
        item->setState(item->title() == text ? NSOnState : NSOffState);
    });
}

void selectMenuItem_fromSelectorGroup(NSMenu& menu, NSMenuItem* item, const Group& selectorGroup) {
    const SEL theMenuItemAction = item ? item->action() : SEL();
    if (!VERIFY(selectorGroup.IsMember(theMenuItemAction))) return;
    const int count = countItemsForSelectorFromSelectorGroup(menu, theMenuItemAction);
    ForEachMember(menu, selectorGroup, [&](NSMenuItem* member) {
        const bool on = count == 1 ? member->action() == theMenuItemAction : member == item;
        member->setState(on ? NSOnState : NSOffState);
    });
}

void toggleMenuItem_fromSelectorGroup(NSMenu&, NSMenuItem* item, const Group& selectorGroup) {
    if (!VERIFY(selectorGroup.IsToggleGroup())) return;
    const SEL theMenuItemAction = item ? item->action() : SEL();
    if (!VERIFY(selectorGroup.IsMember(theMenuItemAction))) return;
    item->setState(item->state() != NSOffState ? NSOffState : NSOnState);
}

void setMenuItemToggle_withToggle_fromSelectorGroup(NSMenu& menu, SEL selector, bool on,
                                                    const Group& group) {
    if (NSMenuItem* item = firstMenuItemWithSelector_fromSelectorGroup(menu, selector, group))
        setToggleState_fromSelectorGroup(item, on, group);
}

bool isMenuItemToggleOn_fromSelectorGroup(NSMenu& menu, SEL selector, const Group& group) {
    NSMenuItem* item = firstMenuItemWithSelector_fromSelectorGroup(menu, selector, group);
    return item && item->state() == NSOnState;
}

void setGroupToggleState_fromSelectorGroup(NSMenu& menu, bool on, const Group& group) {
    for (int i = 0; i < group.SelectorCount(); ++i)
        setMenuItemToggle_withToggle_fromSelectorGroup(menu, group[i], on, group);
}

bool isOneSelectorPerMenuItem(NSMenu& menu, const Group& group) {
    for (int i = 0; i < group.SelectorCount(); ++i) {
        const int itemCountForThisSelector = countItemsForSelectorFromSelectorGroup(menu, group[i]);
        VERIFY(itemCountForThisSelector);
        if (itemCountForThisSelector >= 2) return false;
    }
    return true;
}

void performMenuItemAction_fromSelectorGroup(NSMenu&, NSMenuItem* menuItem,
                                             const Group& selectorGroup) {
    if (!VERIFY(menuItem)) return;
    if (!VERIFY(selectorGroup.IsMember(menuItem->action()))) return;
    NSObject* menuItemTarget = menuItem->target();
    const SEL menuItemAction = menuItem->action();
    if (!VERIFY(menuItemTarget) || !VERIFY(menuItemAction)) return;
    menuItemTarget->performSelectorOnMainThread_withObject_waitUntilDone(menuItemAction, menuItem,
                                                                         false);
}

void saveSelectorGroupPreferences(NSMenu& menu, const Group& group) {
    if (group.IsToggleGroup())
        saveToggleSelectorGroupPreferences(menu, group);
    else
        saveMutexSelectorGroupPreferences(menu, group);
}

void saveMutexSelectorGroupPreferences(NSMenu& menu, const Group& group) {
    NSMenuItem* selected = selectedMenuItemFromSelectorGroup(menu, group);
    if (!selected || !selected->action()) return;
    const SEL action = selected->action();
    const char* groupName = group.name;
    const std::string selectorName_or_MenuItemText =
        countItemsForSelectorFromSelectorGroup(menu, action) == 1 ? group[action]
                                                                  : selected->title();
    if (!VERIFY(groupName) || !VERIFY(!selectorName_or_MenuItemText.empty())) return;
    Defaults().setObject_forKey(selectorName_or_MenuItemText, groupName);
}

void saveToggleSelectorGroupPreferences(NSMenu& menu, const Group& group) {
    for (int i = 0; i < group.SelectorCount(); ++i) {
        const SEL menuItemSelector = group[i];
        if (!VERIFY(menuItemSelector)) continue;
        NSMenuItem* firstMenuItemWithSelector =
            firstMenuItemWithSelector_fromSelectorGroup(menu, menuItemSelector, group);
        if (!VERIFY(firstMenuItemWithSelector)) continue;
        Defaults().setInteger_forKey(firstMenuItemWithSelector->state(), group.selectors[i].name);
    }
}

void restoreSelectorGroupPreferences(NSMenu& menu, const Group& group) {
    restoreSelectorGroupPreferences_withPerformMenuAction(menu, group, true);
}

void restoreSelectorGroupPreferences_withPerformMenuAction(NSMenu& menu, const Group& group,
                                                           bool perform) {
    if (group.IsToggleGroup())
        restoreToggleSelectorGroupPreferences(menu, group, perform);
    else
        restoreMutexSelectorGroupPreferences(menu, group, perform, SEL());
}

void restoreMutexSelectorGroupPreferences(NSMenu& menu, const Group& selectorGroup, bool perform,
                                          SEL defaultSelector) {
    if (!VERIFY(selectorGroup.name)) return;
    const std::optional<std::string> stored = Defaults().stringForKey(selectorGroup.name);
    if (!stored) {
        NSMenuItem* selectedMenuItem = selectMenuItemWithSelector_fromSelectorGroup(
            menu, defaultSelector ? defaultSelector : selectorGroup.FirstSelector(), selectorGroup);
        if (!VERIFY(selectedMenuItem)) return;
        if (perform) performMenuItemAction_fromSelectorGroup(menu, selectedMenuItem, selectorGroup);
        return;
    }
    NSMenuItem* before = selectedMenuItemFromSelectorGroup(menu, selectorGroup);
    if (selectorGroup.IsMember(stored->c_str()))
        selectMenuItemWithSelector_fromSelectorGroup(
            menu, selectorGroup.SelectorNamed(stored->c_str()), selectorGroup);
    else
        selectMenuItemWithMenuText_fromSelectorGroup(menu, *stored, selectorGroup);
    NSMenuItem* now = selectedMenuItemFromSelectorGroup(menu, selectorGroup);
    if (now == before) return;
    if (perform) performMenuItemAction_fromSelectorGroup(menu, now, selectorGroup);
}

void restoreToggleSelectorGroupPreferences(NSMenu& menu, const Group& group, bool perform) {
    for (int i = 0; i < group.SelectorCount(); ++i) {
        NSMenuItem* item = firstMenuItemWithSelector_fromSelectorGroup(menu, group[i], group);
        if (!item) continue;
        const long stored = Defaults().integerForKey(group.selectors[i].name);
        if (item->state() == stored) continue;
        if (perform)
            performMenuItemAction_fromSelectorGroup(menu, item, group);
        else
            item->setState(stored);
    }
}

void selectSelfFromSelectorGroup(NSObject* self, const Group& group) {
    auto* item = dynamic_cast<NSMenuItem*>(self);
    if (!VERIFY(item)) return;
    NSMenu* menu = item->menu();
    const SEL menuItemAction = item->action();
    if (!VERIFY(menu) || !VERIFY(menuItemAction)) return;
    if (group.IsToggleGroup())
        toggleMenuItem_fromSelectorGroup(*menu, item, group);
    else if (isOneSelectorPerMenuItem(*menu, group))
        selectMenuItemWithSelector_fromSelectorGroup(*menu, menuItemAction, group);
    else
        selectMenuItem_fromSelectorGroup(*menu, item, group);
}

void setToggleState_fromSelectorGroup(NSMenuItem* item, bool on, const Group& selectorGroup) {
    if (!VERIFY(selectorGroup.IsToggleGroup())) return;
    const SEL theMenuItemAction = item ? item->action() : SEL();
    if (!VERIFY(selectorGroup.IsMember(theMenuItemAction))) return;
    item->setState(on ? NSOnState : NSOffState);
}

} // namespace selectorgroup
