#pragma once

// Menus and their items as the system's code sees them: titles, states, actions by selector,
// targets, tags, key equivalents and submenus. The model holds no toolkit objects; the
// application layer builds the on-screen menu from it each time a menu opens.
#include "platform/appkit/AppKitTypes.h"
#include "platform/appkit/NSObject.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::appkit {

class NSEvent;
class NSMenu;

class NSMenuItem : public NSObject {
public:
    NSMenuItem(std::string title, SEL action, std::string keyEquivalent);
    static std::unique_ptr<NSMenuItem> separatorItem();

    const std::string& title() const { return mTitle; }
    void setTitle(std::string title) { mTitle = std::move(title); }
    NSInteger state() const { return mState; }
    void setState(NSInteger state) { mState = state; }
    SEL action() const { return mAction; }
    void setAction(SEL action) { mAction = action; }
    NSObject* target() const { return mTarget; }
    void setTarget(NSObject* target) { mTarget = target; }
    NSInteger tag() const { return mTag; }
    void setTag(NSInteger tag) { mTag = tag; }
    // One character; the modifiers default to Command.
    const std::string& keyEquivalent() const { return mKeyEquivalent; }
    NSUInteger keyEquivalentModifierMask() const { return mKeyModifiers; }
    bool isEnabled() const { return mEnabled; }
    void setEnabled(bool enabled) { mEnabled = enabled; }
    bool isSeparatorItem() const { return mSeparator; }
    NSMenu* submenu() const { return mSubmenu.get(); }
    void setSubmenu(std::unique_ptr<NSMenu> submenu);
    NSMenu* menu() const { return mMenu; }

private:
    friend class NSMenu;
    std::string mTitle;
    NSInteger mState = NSOffState;
    SEL mAction;
    NSObject* mTarget = nullptr;
    NSInteger mTag = 0;
    std::string mKeyEquivalent;
    NSUInteger mKeyModifiers = NSCommandKeyMask;
    bool mEnabled = true;
    bool mSeparator = false;
    std::unique_ptr<NSMenu> mSubmenu;
    NSMenu* mMenu = nullptr;
};

class NSMenu : public NSObject {
public:
    explicit NSMenu(std::string title) : mTitle(std::move(title)) {}

    const std::string& title() const { return mTitle; }
    NSInteger numberOfItems() const { return NSInteger(mItems.size()); }
    NSMenuItem* itemAtIndex(NSInteger index) const;
    NSMenuItem* addItem(std::unique_ptr<NSMenuItem> item);
    NSMenuItem* addItemWithTitle(std::string title, SEL action, std::string keyEquivalent);
    // The first item, depth first through submenus, with that title.
    NSMenuItem* itemWithTitle(const std::string& title) const;

    // Runs the item's action on its target, or when it has none on the first object of the
    // application's action chain that responds; false when nobody did.
    static bool sendAction(NSMenuItem* item);
    // Runs the enabled item whose key equivalent and modifiers match the key-down event, in this
    // menu or its submenus; false when none matched.
    bool performKeyEquivalent(const NSEvent& event);
    // Where an item without a target sends its action (the application sets it).
    static void setDefaultTargetChain(std::function<NSObject*(SEL)> find);

private:
    friend class NSMenuItem;
    std::string mTitle;
    std::vector<std::unique_ptr<NSMenuItem>> mItems;
};

} // namespace platform::appkit
