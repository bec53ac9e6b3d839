#include "platform/appkit/NSWindowServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <xcb/xcb.h>

#include <cstdlib>

namespace platform::appkit {

void NSWindowServerSync(double settleSeconds) {
    auto* x = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x && x->connection()) {
        xcb_connection_t* c = x->connection();
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    const QDeadlineTimer settle(qint64(settleSeconds * 1000));
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    if (x && x->connection())
        std::free(xcb_get_input_focus_reply(x->connection(), xcb_get_input_focus(x->connection()),
                                            nullptr));
}

} // namespace platform::appkit
