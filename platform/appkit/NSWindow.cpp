#include "platform/appkit/NSWindow.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSNotificationCenter.h"
#include "platform/appkit/NSUserDefaults.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/QtHost.h"
#include "platform/appkit/WindowSystemBackend.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <QCursor>
#include <QRegion>
#include <cmath>
#include <cstdio>

namespace platform::appkit {

namespace {

Qt::WindowFlags FlagsFor(NSUInteger style) {
    Qt::WindowFlags flags = Qt::Window;
    if (style == NSBorderlessWindowMask) flags |= Qt::FramelessWindowHint;
    return flags;
}

} // namespace

NSWindow::NSWindow(NSRect contentRect, NSUInteger styleMask, NSUInteger, bool)
    : mFrame(contentRect), mBorderless(styleMask == NSBorderlessWindowMask),
      mWidget(std::make_unique<host::WindowWidget>(*this, FlagsFor(styleMask))) {
    setContentView(
        std::make_unique<NSView>(NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height)));
    applyFrame();
    if (NSApplication* app = NSApp()) app->addWindow(this);
}

NSWindow::~NSWindow() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    if (NSApplication* app = NSApp()) app->removeWindow(this);
    mContentView.reset();
}

void NSWindow::applyFrame() {
    const screens::RootRect r = screens::ToRoot(mFrame);
    mWidget->setGeometry(r.x, r.y, r.width, r.height);
}

void NSWindow::setFrame_display_animate(NSRect frame, bool display, bool) {
    mFrame = frame;
    applyFrame();
    if (mContentView) mContentView->setFrameSize(frame.size);
    if (display) this->display();
}

void NSWindow::setFrameOrigin(NSPoint origin) {
    mFrame.origin = origin;
    const screens::RootRect r = screens::ToRoot(mFrame);
    mWidget->move(r.x, r.y);
}

namespace {

std::string FrameKey(const std::string& name) {
    return "NSWindow Frame " + name;
}

} // namespace

void NSWindow::saveFrameUsingName(const std::string& name) const {
    char text[128];
    std::snprintf(text, sizeof text, "%g %g %g %g", mFrame.origin.x, mFrame.origin.y,
                  mFrame.size.width, mFrame.size.height);
    NSUserDefaults::standardUserDefaults().setObject_forKey(text, FrameKey(name));
}

bool NSWindow::setFrameUsingName(const std::string& name) {
    const std::optional<std::string> text =
        NSUserDefaults::standardUserDefaults().stringForKey(FrameKey(name));
    NSRect f{};
    if (!text || std::sscanf(text->c_str(), "%lf %lf %lf %lf", &f.origin.x, &f.origin.y,
                             &f.size.width, &f.size.height) != 4)
        return false;
    const bool finite = std::isfinite(f.origin.x) && std::isfinite(f.origin.y) &&
                        std::isfinite(f.size.width) && std::isfinite(f.size.height);
    if (!finite || f.size.width < 1 || f.size.height < 1 || !NSScreen::screenForRect(f))
        return false;
    setFrame_display_animate(f, false, false);
    return true;
}

void NSWindow::orderFront(NSObject*) {
    orderFrontRegardless();
}

void NSWindow::orderFrontRegardless() {
    if (!mWidget->testAttribute(Qt::WA_WState_Created))
        mWidget->setWindowFlag(Qt::WindowDoesNotAcceptFocus, !canBecomeKeyWindow());
    invalidateShape();
    mWidget->show();
    applyFrame(); // a window manager may have placed the window on its own when it mapped it
    applyLevel();
    mWidget->raise();
}

void NSWindow::orderOut(NSObject*) {
    mWidget->hide();
}

void NSWindow::makeKeyAndOrderFront(NSObject* sender) {
    orderFront(sender);
    if (canBecomeKeyWindow()) mWidget->requestKey();
}

bool NSWindow::isVisible() const {
    return mWidget->isVisible();
}

bool NSWindow::canBecomeKeyWindow() const {
    return !mBorderless;
}

void NSWindow::setLevel(NSWindowLevel level) {
    mLevel = level;
    applyLevel();
}

void NSWindow::applyLevel() {
    const bool above =
        mLevel > coregraphics::CGWindowLevelForKey(coregraphics::kCGNormalWindowLevelKey);
    Qt::WindowFlags flags = mWidget->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, above);
    if (!mWidget->testAttribute(Qt::WA_WState_Created)) {
        mWidget->setWindowFlags(flags);
        return;
    }
    // Changing the widget's flags would unmap it, and the toolkit's window makes a new X window
    // on its next show once its stays-on-top flag changed: the manager alone is told.
    mWidget->overrideWindowFlags(flags);
    TheWindowSystem().SetAbove(mWidget.get(), above);
}

NSPoint NSWindow::convertBaseToScreen(NSPoint p) const {
    return NSMakePoint(p.x + mFrame.origin.x, p.y + mFrame.origin.y);
}

NSPoint NSWindow::convertScreenToBase(NSPoint p) const {
    return NSMakePoint(p.x - mFrame.origin.x, p.y - mFrame.origin.y);
}

NSPoint NSWindow::mouseLocationOutsideOfEventStream() const {
    const QPoint at = QCursor::pos();
    return convertScreenToBase(screens::FromRootPoint(at.x(), at.y()));
}

std::optional<NSScreen> NSWindow::screen() const {
    return NSScreen::screenForRect(mFrame);
}

void NSWindow::setContentView(std::unique_ptr<NSView> view) {
    mContentView = std::move(view);
    if (!mContentView) return;
    mContentView->mSuperview = nullptr;
    mContentView->setNextResponder(this);
    mContentView->mWidget->setParent(mWidget.get());
    mContentView->setWindow(this);
    mContentView->setFrame(NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height));
    mContentView->mWidget->show();
    invalidateShape();
}

void NSWindow::setTitle(std::string title) {
    mTitle = std::move(title);
    mWidget->setWindowTitle(QString::fromStdString(mTitle));
}

void NSWindow::setBackgroundColor(NSColor color) {
    mClear = color.alpha == 0;
    QPalette palette = mWidget->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(color.red, color.green, color.blue,
                                                        mClear ? 1 : color.alpha));
    mWidget->setPalette(palette);
    mWidget->setAutoFillBackground(!mClear);
    invalidateShape();
}

void NSWindow::setOpaque(bool opaque) {
    mOpaque = opaque;
    invalidateShape();
}

void NSWindow::setAlphaValue(CGFloat alpha) {
    mWidget->setWindowOpacity(alpha);
}

void NSWindow::setFloatingPanel(bool floating) {
    mFloatingPanel = floating;
    if (!mWidget->testAttribute(Qt::WA_WState_Created)) mWidget->setWindowFlag(Qt::Tool, floating);
}

void NSWindow::sendEvent(const NSEvent& event) {
    switch (event.type()) {
    case NSLeftMouseDown:
    case NSRightMouseDown: {
        NSView* view = mContentView ? mContentView->hitTest(event.locationInWindow()) : nullptr;
        if (!view) return;
        if (event.type() == NSRightMouseDown) return view->rightMouseDown(event);
        mMouseDownView = view;
        return view->mouseDown(event);
    }
    case NSLeftMouseDragged:
        if (mMouseDownView) mMouseDownView->mouseDragged(event);
        return;
    case NSLeftMouseUp:
        if (mMouseDownView) mMouseDownView->mouseUp(event);
        mMouseDownView = nullptr;
        return;
    case NSKeyDown:
        return keyDown(event);
    default:
        return;
    }
}

void NSWindow::display() {
    mWidget->repaint();
}

namespace {

void CollectShape(const NSView& view, const QWidget* top, QRegion& region) {
    if (view.isHidden()) return;
    if (view.drawsContent())
        region += QRect(view.widget()->mapTo(top, QPoint(0, 0)), view.widget()->size());
    for (const auto& sub : view.subviews())
        CollectShape(*sub, top, region);
}

} // namespace

void NSWindow::invalidateShape() {
    if (!mWidget) return;
    if (mOpaque || !mClear || !mContentView) {
        TheWindowSystem().SetShape(mWidget.get(), QRegion());
        return;
    }
    QRegion region;
    CollectShape(*mContentView, mWidget.get(), region);
    // An empty mask would mean no shape at all: keep one pixel instead.
    if (region.isEmpty()) region = QRegion(0, 0, 1, 1);
    TheWindowSystem().SetShape(mWidget.get(), region);
}

unsigned long NSWindow::windowNumber() const {
    return mWidget->testAttribute(Qt::WA_WState_Created) ? mWidget->winId() : 0;
}

void NSWindow::becameKey(bool key) {
    if (key == mKey) return;
    mKey = key;
    NSNotificationCenter::defaultCenter().postNotificationName(
        key ? NSWindowDidBecomeKeyNotification : NSWindowDidResignKeyNotification, this);
}

void NSWindow::frameChangedByServer() {
    NSApplication* app = NSApp();
    if (app && app->isCapturing()) return;
    const std::optional<QRect> real = TheWindowSystem().PlaceOnScreen(mWidget.get());
    if (!real) return;
    const NSRect frame = screens::FromRoot({real->x(), real->y(), real->width(), real->height()});
    if (NSEqualRects(frame, mFrame)) return;
    mFrame = frame;
    if (mContentView) mContentView->setFrameSize(frame.size);
    display();
}

} // namespace platform::appkit
