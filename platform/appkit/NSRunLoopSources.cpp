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

} // namespace platform::appkit
