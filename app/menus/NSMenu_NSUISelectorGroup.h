#pragma once

// NSMenu(NSUISelectorGroup) and NSMenuItem(NSUISelectorGroup): marking items by a group's rules,
// saving the marks to the user defaults and restoring them, performing the chosen action later on
// the main event loop. Only items whose action is a member of the group are ever touched.
#include "app/menus/NSUISelectorGroup.h"
#include "platform/appkit/NSMenu.h"

namespace selectorgroup {

using namespace platform::appkit;
using Group = tagNSUISelectorGroup;

int countItemsForSelectorFromSelectorGroup(NSMenu& menu, SEL selector);
NSMenuItem* firstMenuItemWithSelector_fromSelectorGroup(NSMenu& menu, SEL selector,
                                                        const Group& group);
NSMenuItem* selectedMenuItemFromSelectorGroup(NSMenu& menu, const Group& group);
SEL selectedMenuItemSelectorFromSelectorGroup(NSMenu& menu, const Group& group);
NSMenuItem* selectMenuItemWithSelector_fromSelectorGroup(NSMenu& menu, SEL selector,
                                                         const Group& group);
NSMenuItem* selectFirstFromSelectorGroup(NSMenu& menu, const Group& group);
void selectMenuItemWithMenuText_fromSelectorGroup(NSMenu& menu, const std::string& text,
                                                  const Group& group);
void selectMenuItem_fromSelectorGroup(NSMenu& menu, NSMenuItem* item, const Group& group);
void toggleMenuItem_fromSelectorGroup(NSMenu& menu, NSMenuItem* item, const Group& group);
void setMenuItemToggle_withToggle_fromSelectorGroup(NSMenu& menu, SEL selector, bool on,
                                                    const Group& group);
bool isMenuItemToggleOn_fromSelectorGroup(NSMenu& menu, SEL selector, const Group& group);
void setGroupToggleState_fromSelectorGroup(NSMenu& menu, bool on, const Group& group);
bool isOneSelectorPerMenuItem(NSMenu& menu, const Group& group);
void performMenuItemAction_fromSelectorGroup(NSMenu& menu, NSMenuItem* menuItem,
                                             const Group& group);

void saveSelectorGroupPreferences(NSMenu& menu, const Group& group);
void saveMutexSelectorGroupPreferences(NSMenu& menu, const Group& group);
void saveToggleSelectorGroupPreferences(NSMenu& menu, const Group& group);
void restoreSelectorGroupPreferences(NSMenu& menu, const Group& group);
void restoreSelectorGroupPreferences_withPerformMenuAction(NSMenu& menu, const Group& group,
                                                           bool perform);
void restoreMutexSelectorGroupPreferences(NSMenu& menu, const Group& group, bool perform,
                                          SEL defaultSelector);
void restoreToggleSelectorGroupPreferences(NSMenu& menu, const Group& group, bool perform);

// On the sender of a grouped action: marks it by the group's rules.
void selectSelfFromSelectorGroup(NSObject* self, const Group& group);
void setToggleState_fromSelectorGroup(NSMenuItem* item, bool on, const Group& group);

} // namespace selectorgroup
