#pragma once

// The general pasteboard is the X11 CLIPBOARD selection. Types are the platform's names; each
// is offered to other clients under its MIME type ("image/tiff", "image/png"). The data stays
// served for as long as the application runs or until another client takes the clipboard.
#include <cstdint>
#include <string>
#include <vector>

namespace platform::appkit {

class NSObject;

extern const char* const NSTIFFPboardType;
extern const char* const NSPNGPboardType;

class NSPasteboard {
public:
    static NSPasteboard& generalPasteboard();
    // Starts new contents that will offer these types; nothing reaches the clipboard until the
    // first setData. Answers the change count.
    int declareTypes_owner(const std::vector<std::string>& types, NSObject* owner);
    // Puts data for one declared type on the clipboard; false for a type not declared or
    // empty data.
    bool setData_forType(const std::vector<uint8_t>& data, const std::string& type);

private:
    std::vector<std::string> mDeclared;
    int mChangeCount = 0;
};

} // namespace platform::appkit
