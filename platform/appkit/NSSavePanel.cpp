#include "platform/appkit/NSSavePanel.h"

#include <QFileDialog>

namespace platform::appkit {

int NSSavePanel::runModalForDirectory_file(const std::string& directory, const std::string& name) {
    QFileDialog dialog(nullptr, QStringLiteral("Save"),
                       QString::fromStdString(directory + "/" + name));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!mType.empty()) {
        dialog.setDefaultSuffix(QString::fromStdString(mType));
        dialog.setNameFilter(QStringLiteral("*.") + QString::fromStdString(mType));
    }
    mFilename.clear();
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return NSFileHandlingPanelCancelButton;
    mFilename = dialog.selectedFiles().first().toStdString();
    return NSFileHandlingPanelOKButton;
}

} // namespace platform::appkit
