#include "platform/appkit/StatusMenus.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/QtHost.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace platform::appkit {

namespace {

bool HasTarget(const NSMenuItem& item) {
    if (!item.action()) return false;
    NSApplication* app = NSApp();
    NSObject* target = item.target() ? item.target()
                       : app         ? app->targetForAction(item.action())
                                     : nullptr;
    return target && target->respondsToSelector(item.action()) &&
           target->validateMenuItem(const_cast<NSMenuItem*>(&item));
}

QString Title(const NSMenuItem& item) {
    QString title = QString::fromStdString(item.title());
    title.replace('&', "&&"); // the toolkit's mnemonic marker is plain text here
    title.replace('\n', ' ');
    if (item.keyEquivalent().size() == 1)
        title += "\tCtrl+" + QString::fromStdString(item.keyEquivalent()).toUpper();
    return title;
}

void Fill(QMenu& shown, NSMenu& menu) {
    shown.clear();
    for (NSInteger i = 0; i < menu.numberOfItems(); ++i) {
        NSMenuItem* item = menu.itemAtIndex(i);
        if (item->isSeparatorItem()) {
            shown.addSeparator();
            continue;
        }
        if (NSMenu* sub = item->submenu()) {
            QMenu* child = shown.addMenu(Title(*item));
            Fill(*child, *sub);
            continue;
        }
        QAction* action = shown.addAction(Title(*item));
        action->setCheckable(item->state() != NSOffState);
        action->setChecked(item->state() == NSOnState);
        action->setEnabled(item->isEnabled() && HasTarget(*item));
        // The model's state changes only through the item's action. It runs once the menu has
        // closed and gone: an action that hides the menu's window (a whole-screen grab) would
        // otherwise delete the menu under its own signal.
        QObject::connect(action, &QAction::triggered,
                         [item] { deferred::Enqueue([item] { NSMenu::sendAction(item); }); });
    }
}

QIcon TrayPicture(const std::string& name) {
    QPixmap picture(22, 22);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(QPen(QColor(30, 30, 30), 3));
    painter.drawRect(3, 3, 16, 16);
    return QIcon::fromTheme(QString::fromStdString(name), QIcon(picture));
}

} // namespace

void PopUpContextMenu(NSMenu& menu, const NSEvent& event) {
    // Owned by the window too, so that a menu still open when the program ends goes with it.
    auto* shown = new QMenu(event.window() ? event.window()->widget() : nullptr);
    shown->setAttribute(Qt::WA_DeleteOnClose);
    Fill(*shown, menu);
    const screens::RootRect at = screens::ToRoot(NSRect{event.screenLocation(), NSMakeSize(0, 0)});
    shown->popup(QPoint(at.x, at.y));
}

NSStatusItem::NSStatusItem() = default;

NSStatusItem::~NSStatusItem() {
    if (mIcon) delete mIcon->contextMenu();
}

bool NSStatusItem::isAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void NSStatusItem::setMenu(NSMenu* menu) {
    mMenu = menu;
    if (!mIcon) {
        mIcon = std::make_unique<QSystemTrayIcon>(TrayPicture(mImageName));
        auto* shown = new QMenu;
        QObject::connect(shown, &QMenu::aboutToShow, [this, shown] {
            if (mMenu) Fill(*shown, *mMenu);
        });
        mIcon->setContextMenu(shown);
    }
    mIcon->show();
}

void NSStatusItem::setImageName(const std::string& name) {
    mImageName = name;
    if (mIcon) mIcon->setIcon(TrayPicture(name));
}

void NSStatusItem::setToolTip(const std::string& text) {
    if (mIcon) mIcon->setToolTip(QString::fromStdString(text));
}

} // namespace platform::appkit
