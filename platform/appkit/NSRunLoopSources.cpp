#include "platform/appkit/NSRunLoopSources.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>

namespace platform::appkit {

bool NSRunLoopWatchDescriptor(int fd, std::function<bool()> readable) {
    if (fd < 0 || !QCoreApplication::instance()) return false;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, readable = std::move(readable)] {
                         if (readable()) return;
                         notifier->setEnabled(false);
                         notifier->deleteLater();
                     });
    return true;
}

void NSRunLoopAddBeforeWaitCall(std::function<void()> call) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher,
                     std::move(call));
}

struct NSRunLoopDescriptorSource::Watch {
    QSocketNotifier notifier;
    QMetaObject::Connection beforeWait;
    explicit Watch(int fd) : notifier(fd, QSocketNotifier::Read) {}
};

NSRunLoopDescriptorSource::NSRunLoopDescriptorSource(int fd, std::function<void()> call)
    : mWatch(std::make_unique<Watch>(fd)) {
    mWatch->notifier.setEnabled(false);
    QObject::connect(&mWatch->notifier, &QSocketNotifier::activated, call);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        mWatch->beforeWait = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                                              [this, call = std::move(call)] {
                                                  if (mEnabled) call();
                                              });
}

NSRunLoopDescriptorSource::~NSRunLoopDescriptorSource() {
    QObject::disconnect(mWatch->beforeWait);
}

void NSRunLoopDescriptorSource::setEnabled(bool enabled) {
    mEnabled = enabled;
    mWatch->notifier.setEnabled(enabled);
}

} // namespace platform::appkit
