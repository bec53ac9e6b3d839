#include "platform/appkit/NSApplication.h"

#include "platform/appkit/NSApplicationLaunch.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSNotificationCenter.h"
#include "platform/appkit/NSUserDefaults.h"
#include "platform/appkit/NSUserNotificationCenter.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/QtHost.h"
#include "platform/appkit/SettingsStore.h"
#include "platform/bundles/PlatformMainBundle.h"
#include "platform/quartzdisplay/DisplayBackend.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace platform::appkit {

const char* const NSDefaultRunLoopMode = "kCFRunLoopDefaultMode";
const char* const NSEventTrackingRunLoopMode = "NSEventTrackingRunLoopMode";

namespace {

NSApplication* sShared = nullptr;
int sSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(sSignalPipe[1], &byte, 1);
}

// The display services keep their settings among the user defaults and tell the user through
// desktop notifications.
void InstallDisplayServicesHooks() {
    coregraphics::SetDisplayServicesHooks(
        {[](const std::string& key) {
             return NSUserDefaults::standardUserDefaults().stringForKey(key).value_or("");
         },
         [](const std::string& key, const std::string& value) {
             NSUserDefaults& defaults = NSUserDefaults::standardUserDefaults();
             if (value.empty())
                 defaults.removeObjectForKey(key);
             else
                 defaults.setObject_forKey(value, key);
             // Written at once: the value may be good for one run only, and this one may not end
             // in an orderly quit.
             defaults.synchronize();
         },
         [](const std::string& title, const std::string& text) {
             NSUserNotificationCenter::defaultUserNotificationCenter().deliverNotification(
                 {title, text, "", nullptr});
         }});
}

void AtExit() {
    // exit() from inside the loop (the toolkit does so when the X connection breaks).
    if (sShared) sShared->willTerminate();
}

} // namespace

NSApplication::NSApplication() {
    sShared = this;
    NSMenu::setDefaultTargetChain([this](SEL action) { return targetForAction(action); });
    addAction("terminate:", &NSApplication::terminate);
    addAction("orderFrontStandardAboutPanel:", &NSApplication::orderFrontStandardAboutPanel);
}

NSApplication::~NSApplication() {
    NSMenu::setDefaultTargetChain(nullptr);
    if (sShared == this) sShared = nullptr;
}

NSApplication* NSApplication::sharedApplication() {
    return sShared;
}

void NSApplication::sendEvent(const NSEvent& event) {
    if (event.type() == NSAppKitDefined) mActivationPassedOn = true;
    if (event.type() == NSKeyDown && mMainMenu && mMainMenu->performKeyEquivalent(event)) return;
    if (NSWindow* window = event.window()) window->sendEvent(event);
}

void NSApplication::postPointerEvent(const NSEvent& event) {
    // The window manager hands the focus over just before it lets the click through.
    constexpr auto kActivationClick = std::chrono::seconds(1);
    const Clock::time_point now = Clock::now();
    const bool press = event.type() == NSLeftMouseDown || event.type() == NSRightMouseDown;
    if (press && mCaptures == 0 && now - mActivated < kActivationClick &&
        mActivated - mActivationRequested > kActivationClick) {
        mActivated = {};
        mActivating = true;
        mActivationPassedOn = false;
        sendEvent(NSEvent::mouseEvent(NSAppKitDefined, event.screenLocation(),
                                      event.modifierFlags(), event.window(), 0));
        mActivating = false;
        if (!mActivationPassedOn) return;
    }
    const bool tracked = event.type() == NSLeftMouseDragged || event.type() == NSLeftMouseUp;
    if (mCaptures > 0 && tracked)
        mCaptured.push_back(event);
    else if (mCaptures == 0)
        sendEvent(event);
}

std::optional<NSEvent>
NSApplication::nextEventMatchingMask_untilDate_inMode_dequeue(NSUInteger mask, NSDate until,
                                                              const char*, bool dequeue) {
    const auto take = [&]() -> std::optional<NSEvent> {
        const auto found = std::find_if(mCaptured.begin(), mCaptured.end(), [&](const NSEvent& e) {
            return (mask & NSEventMaskFromType(e.type())) != 0;
        });
        if (found == mCaptured.end()) return std::nullopt;
        NSEvent event = *found;
        if (dequeue) mCaptured.erase(found);
        return event;
    };
    beginCapture();
    std::optional<NSEvent> event = take();
    if (!event && until == NSDate::distantPast) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        event = take();
    }
    while (!event && until == NSDate::distantFuture) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        event = take();
    }
    endCapture();
    return event;
}

void NSApplication::beginCapture() {
    ++mCaptures;
}

void NSApplication::endCapture() {
    if (--mCaptures > 0) return;
    mCaptured.clear();
    for (NSWindow* window : mWindows)
        window->frameChangedByServer();
}

void NSApplication::flushBufferedKeyEvents() {
    mDiscardingKeys = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    mDiscardingKeys = false;
}

bool NSApplication::isActive() const {
    return !mActivating && QApplication::activeWindow() != nullptr;
}

void NSApplication::activateIgnoringOtherApps(bool) {
    noteActivationRequested();
    for (NSWindow* window : mWindows)
        if (window->isVisible() && window->canBecomeKeyWindow()) {
            window->widget()->requestKey();
            return;
        }
}

NSWindow* NSApplication::keyWindow() const {
    for (NSWindow* window : mWindows)
        if (window->isKeyWindow()) return window;
    return nullptr;
}

NSObject* NSApplication::targetForAction(SEL action) const {
    NSWindow* key = keyWindow();
    for (NSObject* candidate :
         {static_cast<NSObject*>(key), key ? key->delegate() : nullptr,
          static_cast<NSObject*>(const_cast<NSApplication*>(this)), mDelegate})
        if (candidate && candidate->respondsToSelector(action)) return candidate;
    return nullptr;
}

void NSApplication::terminate(NSObject*) {
    willTerminate();
    // exit, not quit: the toolkit's quit asks each window to close first, and a shown panel
    // (whose close only orders it out) would cancel it.
    QCoreApplication::exit(0);
}

void NSApplication::orderFrontStandardAboutPanel(NSObject*) {}

void NSApplication::addWindow(NSWindow* window) {
    mWindows.push_back(window);
}

void NSApplication::removeWindow(NSWindow* window) {
    std::erase(mWindows, window);
}

void NSApplication::didFinishLaunching() {
    NSNotification notification(NSApplicationDidFinishLaunchingNotification, this);
    if (mDelegate)
        mDelegate->performSelector(NSSelectorFromString("applicationDidFinishLaunching:"),
                                   &notification);
}

void NSApplication::willTerminate() {
    if (mTerminated) return;
    mTerminated = true;
    NSNotification notification(NSApplicationWillTerminateNotification, this);
    if (mDelegate)
        mDelegate->performSelector(NSSelectorFromString("applicationWillTerminate:"),
                                   &notification);
    for (const NSWindow* window : mWindows)
        if (!window->frameAutosaveName().empty())
            window->saveFrameUsingName(window->frameAutosaveName());
    NSUserDefaults::standardUserDefaults().synchronize();
}

int NSApplication::run() {
    return QApplication::exec();
}

struct NSApplicationHost::Parts {
    Parts(int& argc, char** argv) : qt(argc, argv) {}
    QApplication qt;
    std::unique_ptr<NSApplication> app;
    std::unique_ptr<QSocketNotifier> signalNotifier;
};

NSApplicationHost::NSApplicationHost(int& argc, char** argv, std::unique_ptr<NSApplication> app)
    : mParts(std::make_unique<Parts>(argc, argv)) {
    QApplication::setQuitOnLastWindowClosed(false);
    NSUserDefaults::standardUserDefaults().setStore(
        SettingsFileStore(platform::bundles::MainBundle::Get().Identifier()));
    InstallDisplayServicesHooks();
    mParts->app = std::move(app);
    deferred::SetWaker([] {
        QMetaObject::invokeMethod(
            qApp, [] { deferred::RunDeferredCalls(); }, Qt::QueuedConnection);
    });
    NSApplication* application = mParts->app.get();
    if (sSignalPipe[0] < 0 && ::pipe2(sSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGINT, OnSignal);
    }
    mParts->signalNotifier =
        std::make_unique<QSocketNotifier>(sSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(mParts->signalNotifier.get(), &QSocketNotifier::activated, [application] {
        char drained[16];
        while (::read(sSignalPipe[0], drained, sizeof drained) > 0) {
        }
        application->terminate(nullptr);
    });
    QObject::connect(&mParts->qt, &QGuiApplication::applicationStateChanged,
                     [application](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive) application->noteActivated();
                     });
    QObject::connect(&mParts->qt, &QGuiApplication::commitDataRequest,
                     [application] { application->willTerminate(); });
    QObject::connect(&mParts->qt, &QCoreApplication::aboutToQuit,
                     [application] { application->willTerminate(); });
    static const bool sAtExit = std::atexit(AtExit) == 0;
    (void)sAtExit;
}

NSApplicationHost::~NSApplicationHost() {
    deferred::SetWaker(nullptr);
    mParts->signalNotifier.reset();
    mParts->app.reset();
}

NSApplication& NSApplicationHost::application() const {
    return *mParts->app;
}

bool NSRunLoopRunUntil(double seconds, const std::function<bool()>& done) {
    if (done()) return true;
    QEventLoop loop;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, [&] { loop.quit(); });
    poll.start(5);
    limit.setSingleShot(true);
    limit.start(int(seconds * 1000));
    loop.exec();
    return done();
}

int NSApplicationMain(
    int argc, char** argv, const NSApplicationLaunch& launch,
    const std::function<std::unique_ptr<NSApplication>()>& principalClass,
    const std::function<std::unique_ptr<NSObject>(NSApplication&)>& loadMainInterface) {
    const NSParsedCommandLine commandLine = NSParseCommandLine(argc, argv, launch);
    if (commandLine.exitStatus) return *commandLine.exitStatus;
    if (const std::string why = NSCheckX11Session(); !why.empty()) {
        std::fprintf(stderr, "%s: %s\n", launch.program, why.c_str());
        return 1;
    }
    const std::string& identifier = platform::bundles::MainBundle::Get().Identifier();
    NSLaunchChannel channel(identifier);
    if (int status = 0; !channel.Claim(commandLine.requests, status)) return status;

    NSApplicationHost host(argc, argv, principalClass());
    QGuiApplication::setDesktopFileName(QString::fromStdString(identifier));
    NSApplication& app = host.application();
    std::unique_ptr<NSObject> interface = loadMainInterface(app);
    QMetaObject::invokeMethod(
        qApp, [&app] { app.didFinishLaunching(); }, Qt::QueuedConnection);
    channel.Listen(launch.perform);
    const int result = app.run();
    app.willTerminate();
    interface.reset();
    return result;
}

} // namespace platform::appkit
