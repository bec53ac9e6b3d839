#include "platform/appkit/NSMenu.h"

#include "platform/appkit/NSEvent.h"

namespace platform::appkit {

namespace {

std::function<NSObject*(SEL)>& TargetChain() {
    static std::function<NSObject*(SEL)> find;
    return find;
}

} // namespace

NSMenuItem::NSMenuItem(std::string title, SEL action, std::string keyEquivalent)
    : mTitle(std::move(title)), mAction(action), mKeyEquivalent(std::move(keyEquivalent)) {}

std::unique_ptr<NSMenuItem> NSMenuItem::separatorItem() {
    auto item = std::make_unique<NSMenuItem>("", SEL(), "");
    item->mSeparator = true;
    item->mEnabled = false;
    return item;
}

void NSMenuItem::setSubmenu(std::unique_ptr<NSMenu> submenu) {
    mSubmenu = std::move(submenu);
}

NSMenuItem* NSMenu::itemAtIndex(NSInteger index) const {
    if (index < 0 || index >= numberOfItems()) return nullptr;
    return mItems[size_t(index)].get();
}

NSMenuItem* NSMenu::addItem(std::unique_ptr<NSMenuItem> item) {
    item->mMenu = this;
    mItems.push_back(std::move(item));
    return mItems.back().get();
}

NSMenuItem* NSMenu::addItemWithTitle(std::string title, SEL action, std::string keyEquivalent) {
    return addItem(
        std::make_unique<NSMenuItem>(std::move(title), action, std::move(keyEquivalent)));
}

NSMenuItem* NSMenu::itemWithTitle(const std::string& title) const {
    for (const auto& item : mItems) {
        if (item->title() == title) return item.get();
        if (item->submenu())
            if (NSMenuItem* found = item->submenu()->itemWithTitle(title)) return found;
    }
    return nullptr;
}

bool NSMenu::sendAction(NSMenuItem* item) {
    if (!item || !item->action()) return false;
    NSObject* target = item->target();
    if (!target && TargetChain()) target = TargetChain()(item->action());
    return target && target->performSelector(item->action(), item);
}

bool NSMenu::performKeyEquivalent(const NSEvent& event) {
    if (event.type() != NSKeyDown || event.characters().empty()) return false;
    // Linux desktops press Control where the platform presses Command for a menu's key.
    const auto modifiers = [](NSUInteger flags) {
        if (flags & NSControlKeyMask) flags = (flags & ~NSControlKeyMask) | NSCommandKeyMask;
        return flags & (NSCommandKeyMask | NSAlternateKeyMask);
    };
    for (const auto& item : mItems) {
        if (item->submenu() && item->submenu()->performKeyEquivalent(event)) return true;
        if (!item->isEnabled() || item->keyEquivalent().size() != 1) continue;
        const char32_t key = char32_t(item->keyEquivalent()[0]);
        if (event.characters()[0] == key &&
            modifiers(event.modifierFlags()) == modifiers(item->keyEquivalentModifierMask()))
            return sendAction(item.get());
    }
    return false;
}

void NSMenu::setDefaultTargetChain(std::function<NSObject*(SEL)> find) {
    TargetChain() = std::move(find);
}

} // namespace platform::appkit
