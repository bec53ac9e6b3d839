// Menu selector groups on the menu model alone: marking by the group's rules, saving and
// restoring through the user defaults, and restored actions performed on a later pass.
#include "app/menus/NSMenu_NSUISelectorGroup.h"
#include "app/menus/VistrelSelectorGroups.h"
#include "platform/appkit/NSUserDefaults.h"
#include "tests/support/VerifyReports.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform::appkit;
using namespace selectorgroup;

namespace {

// Records the actions it receives and marks the sender, as every grouped action does.
struct Target : NSObject {
    explicit Target(const tagNSUISelectorGroup& group) {
        for (int i = 0; i < group.SelectorCount(); ++i)
            addAction(group.selectors[i].name, [this, &group, i](NSObject* sender) {
                selectSelfFromSelectorGroup(sender, group);
                performed.push_back(std::string(group.selectors[i].name) + " " +
                                    static_cast<NSMenuItem*>(sender)->title());
            });
    }
    std::vector<std::string> performed;
};

struct SelectorGroups : ::testing::Test {
    void SetUp() override { NSUserDefaults::standardUserDefaults().setStore({}); }
    void TearDown() override { deferred::RunDeferredCalls(); }

    // A menu of the items (title, action) in the states given as States() gives them.
    NSMenu& Build(const std::vector<std::pair<const char*, const char*>>& items,
                  const std::string& states, NSObject* target) {
        menus.push_back(std::make_unique<NSMenu>("menu"));
        for (size_t i = 0; i < items.size(); ++i) {
            NSMenuItem* item = menus.back()->addItemWithTitle(
                items[i].first, NSSelectorFromString(items[i].second), "");
            item->setState(states[i] - '0');
            item->setTarget(target);
        }
        return *menus.back();
    }
    // The states of the menu's items, one character each.
    static std::string States(NSMenu& menu) {
        std::string states;
        for (NSInteger i = 0; i < menu.numberOfItems(); ++i)
            states += char('0' + menu.itemAtIndex(i)->state());
        return states;
    }
    std::vector<std::unique_ptr<NSMenu>> menus;
};

// A size menu where several fixed sizes share one action, plus an item of another group.
NSMenu& SizeMenu(SelectorGroups& t, NSObject* target) {
    return t.Build({{"Any Size", "selectGrabberSizeResizeable:"},
                    {"320 x 240", "menuSelectGrabberSizeFromSenderText:"},
                    {"640 x 480", "selectGrabberSizeWidthHeight:"},
                    {"800 x 600", "menuSelectGrabberSizeFromSenderText:"},
                    {"Custom...", "selectGrabberSizeCustom:"},
                    {"Float Above Menus", "menuGrabberFloatAboveMenus:"}},
                   "100001", target);
}

TEST_F(SelectorGroups, MarkingByTheGroupsRules) {
    Target sizes(GrabberSizeGroup);
    Target toggles(GrabberToggleGroup);
    NSMenu& menu = SizeMenu(*this, &sizes);
    // Items sharing an action: exactly the chosen one is marked; the toggle keeps its state.
    NSMenu::sendAction(menu.itemAtIndex(3));
    EXPECT_EQ(States(menu), "000101");
    NSMenu::sendAction(menu.itemAtIndex(1));
    EXPECT_EQ(States(menu), "010001");
    // One item per action: marked by selector.
    NSMenu& constrain =
        Build({{"None", "selectGrabberConstrainNone:"}, {"16:9", "selectGrabberConstrain16x9:"}},
              "10", nullptr);
    selectSelfFromSelectorGroup(constrain.itemAtIndex(1), GrabberConstrainGroup);
    EXPECT_EQ(States(constrain), "01");
    // A toggle flips.
    menu.itemAtIndex(5)->setTarget(&toggles);
    NSMenu::sendAction(menu.itemAtIndex(5));
    EXPECT_EQ(menu.itemAtIndex(5)->state(), NSOffState);
}

// (A first launch marking and performing each group's first entry is the program's test.)
TEST_F(SelectorGroups, SaveAndRestoreByNameOrTitle) {
    Target sizes(GrabberSizeGroup);
    NSMenu& saved = SizeMenu(*this, &sizes);
    NSMenu::sendAction(saved.itemAtIndex(3));
    saveSelectorGroupPreferences(saved, GrabberSizeGroup);
    saveSelectorGroupPreferences(saved, GrabberToggleGroup);
    NSUserDefaults& defaults = NSUserDefaults::standardUserDefaults();
    // Several items share the action: the title is kept; the toggle as an integer.
    EXPECT_EQ(defaults.stringForKey("GrabberSizeGroup"), "800 x 600");
    EXPECT_EQ(std::get<long>(*defaults.objectForKey("menuGrabberFloatAboveMenus:")), 1);

    NSMenu& restored = SizeMenu(*this, &sizes);
    sizes.performed.clear();
    restoreSelectorGroupPreferences(restored, GrabberSizeGroup);
    deferred::RunDeferredCalls();
    EXPECT_EQ(States(restored), "000101");
    EXPECT_EQ(sizes.performed,
              std::vector<std::string>{"menuSelectGrabberSizeFromSenderText: 800 x 600"});

    // A stored member name restores by selector whatever the titles; the same mark as before
    // performs nothing.
    defaults.setObject_forKey("selectGrabberSizeWidthHeight:", "GrabberSizeGroup");
    restoreSelectorGroupPreferences(restored, GrabberSizeGroup);
    restoreSelectorGroupPreferences(restored, GrabberSizeGroup);
    sizes.performed.clear();
    EXPECT_EQ(deferred::RunDeferredCalls(), 1);
    EXPECT_EQ(sizes.performed, std::vector<std::string>{"selectGrabberSizeWidthHeight: 640 x 480"});

    // A title that matches nothing unmarks the group and performs nothing, with a report.
    defaults.setObject_forKey("1600 x 1200", "GrabberSizeGroup");
    const std::string reports = testsupport::VerifyReports(
        [&] { restoreSelectorGroupPreferences(restored, GrabberSizeGroup); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "menuItem")) << reports;
    EXPECT_EQ(States(restored), "000001");
    EXPECT_EQ(deferred::RunDeferredCalls(), 0);
}

} // namespace
