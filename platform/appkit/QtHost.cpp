#include "platform/appkit/QtHost.h"

#include "platform/appkit/DrawingContext.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSNotificationCenter.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowSystemBackend.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWindow>

namespace platform::appkit::host {

namespace {

NSUInteger Modifiers(Qt::KeyboardModifiers m) {
    NSUInteger flags = 0;
    if (m & Qt::ShiftModifier) flags |= NSShiftKeyMask;
    if (m & Qt::ControlModifier) flags |= NSControlKeyMask;
    if (m & Qt::AltModifier) flags |= NSAlternateKeyMask;
    if (m & Qt::MetaModifier) flags |= NSCommandKeyMask;
    return flags;
}

// The platform's characters for a key: its codes for the arrows, Return and Enter; the plain
// character for letters and digits pressed with a modifier (as key equivalents compare them).
std::u32string Characters(const QKeyEvent& e) {
    switch (e.key()) {
    case Qt::Key_Up:
        return {NSUpArrowFunctionKey};
    case Qt::Key_Down:
        return {NSDownArrowFunctionKey};
    case Qt::Key_Left:
        return {NSLeftArrowFunctionKey};
    case Qt::Key_Right:
        return {NSRightArrowFunctionKey};
    case Qt::Key_Return:
        return {NSCarriageReturnCharacter};
    case Qt::Key_Enter:
        return {NSEnterCharacter};
    default:
        break;
    }
    if (e.key() >= Qt::Key_A && e.key() <= Qt::Key_Z)
        return {char32_t('a' + (e.key() - Qt::Key_A))};
    if (e.key() >= Qt::Key_0 && e.key() <= Qt::Key_9)
        return {char32_t('0' + (e.key() - Qt::Key_0))};
    return e.text().toStdU32String();
}

void PostMouse(NSView& view, NSEventType type, const QMouseEvent& e) {
    const QPointF at = e.globalPosition();
    NSApp()->postPointerEvent(NSEvent::mouseEvent(type, screens::FromRootPoint(at.x(), at.y()),
                                                  Modifiers(e.modifiers()), view.window()));
}

} // namespace

void ViewWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    drawing::Scope scope(painter, height());
    const QRect r = event->rect();
    mView.drawRect(NSMakeRect(r.x(), height() - (r.y() + r.height()), r.width(), r.height()));
}

void ViewWidget::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) PostMouse(mView, NSLeftMouseDown, *e);
    if (e->button() == Qt::RightButton) PostMouse(mView, NSRightMouseDown, *e);
}

void ViewWidget::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) PostMouse(mView, NSLeftMouseDragged, *e);
}

void ViewWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) PostMouse(mView, NSLeftMouseUp, *e);
}

WindowWidget::WindowWidget(NSWindow& window, Qt::WindowFlags flags)
    : QWidget(nullptr, flags), mWindow(window) {
    setFocusPolicy(Qt::StrongFocus);
    // Showing a window must not take the focus from the user's window (the window manager would
    // give it to a window mapped again after a grab); only requestKey asks for it.
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void WindowWidget::keyPressEvent(QKeyEvent* e) {
    NSApplication* app = NSApp();
    if (!app || app->discardingKeys()) return;
    app->sendEvent(
        NSEvent::keyEvent(NSKeyDown, Characters(*e), Modifiers(e->modifiers()), &mWindow));
}

void WindowWidget::requestKey() {
    mWantsKey = !isActiveWindow();
    if (NSApplication* app = NSApp(); app && !app->isActive()) app->noteActivationRequested();
    if (QWindow* handle = windowHandle()) {
        handle->removeEventFilter(this);
        handle->installEventFilter(this);
    }
    activateWindow();
    TheWindowSystem().Activate(this);
}

bool WindowWidget::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Expose && mWantsKey && windowHandle() && windowHandle()->isExposed()) {
        mWantsKey = false;
        if (NSApplication* app = NSApp()) app->noteActivationRequested();
        activateWindow();
        TheWindowSystem().Activate(this);
    }
    return QWidget::eventFilter(watched, e);
}

void WindowWidget::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) mWantsKey = false;
        mWindow.becameKey(isActiveWindow());
    }
    QWidget::changeEvent(e);
}

bool WindowWidget::nativeEvent(const QByteArray& type, void* message, qintptr* result) {
    if (TheWindowSystem().IsGeometryChange(type, message)) mWindow.frameChangedByServer();
    return QWidget::nativeEvent(type, message, result);
}

void WindowWidget::closeEvent(QCloseEvent* e) {
    e->ignore();
    NSNotificationCenter::defaultCenter().postNotificationName(NSWindowWillCloseNotification,
                                                               &mWindow);
    mWindow.orderOut(nullptr);
}

} // namespace platform::appkit::host
