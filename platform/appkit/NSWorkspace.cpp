#include "platform/appkit/NSWorkspace.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform::appkit {

NSWorkspace& NSWorkspace::sharedWorkspace() {
    static NSWorkspace workspace;
    return workspace;
}

bool NSWorkspace::openFile(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

} // namespace platform::appkit
