#include "platform/appkit/NSPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>

namespace platform::appkit {

const char* const NSTIFFPboardType = "NSTIFFPboardType";
const char* const NSPNGPboardType = "Apple PNG pasteboard type";

namespace {

QString MimeType(const std::string& type) {
    if (type == NSTIFFPboardType) return QStringLiteral("image/tiff");
    if (type == NSPNGPboardType) return QStringLiteral("image/png");
    return QString::fromStdString(type);
}

} // namespace

NSPasteboard& NSPasteboard::generalPasteboard() {
    static NSPasteboard general;
    return general;
}

int NSPasteboard::declareTypes_owner(const std::vector<std::string>& types, NSObject*) {
    mDeclared = types;
    return ++mChangeCount;
}

bool NSPasteboard::setData_forType(const std::vector<uint8_t>& data, const std::string& type) {
    if (data.empty() || std::find(mDeclared.begin(), mDeclared.end(), type) == mDeclared.end())
        return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    // The contents so far are kept when this change count already put some of its types up.
    auto* contents = new QMimeData;
    const QMimeData* current = clipboard->ownsClipboard() ? clipboard->mimeData() : nullptr;
    if (current && current->property("vistrelChange").toInt() == mChangeCount)
        for (const QString& format : current->formats())
            contents->setData(format, current->data(format));
    contents->setProperty("vistrelChange", mChangeCount);
    contents->setData(MimeType(type), QByteArray(reinterpret_cast<const char*>(data.data()),
                                                 qsizetype(data.size())));
    clipboard->setMimeData(contents, QClipboard::Clipboard);
    return true;
}

} // namespace platform::appkit
