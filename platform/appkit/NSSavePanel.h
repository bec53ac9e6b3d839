#pragma once

// The save panel: a modal file dialog that asks for one file name, with a required extension.
#include <string>

namespace platform::appkit {

constexpr int NSFileHandlingPanelCancelButton = 0;
constexpr int NSFileHandlingPanelOKButton = 1;

class NSSavePanel {
public:
    static NSSavePanel savePanel() { return {}; }
    // The extension ("png") the chosen name gets when it has none.
    void setRequiredFileType(const std::string& type) { mType = type; }
    // Runs the panel modally, starting in the folder with the name proposed; answers which
    // button ended it.
    int runModalForDirectory_file(const std::string& directory, const std::string& name);
    // The chosen path, with the required extension; empty after a cancel.
    const std::string& filename() const { return mFilename; }

private:
    std::string mType;
    std::string mFilename;
};

} // namespace platform::appkit
