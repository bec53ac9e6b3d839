#include "platform/appkit/NSWindowServer.h"
#include "platform/appkit/WindowSystemBackend.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace platform::appkit {

void NSWindowServerSync(double settleSeconds) {
    TheWindowSystem().RoundTrip();
    const QDeadlineTimer settle(qint64(settleSeconds * 1000));
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    TheWindowSystem().RoundTrip();
}

} // namespace platform::appkit
