#pragma once

// The user's desktop: opening a file or folder in the program the desktop chooses for it.
#include <string>

namespace platform::appkit {

class NSWorkspace {
public:
    static NSWorkspace& sharedWorkspace();
    // False when no program could be started for it.
    bool openFile(const std::string& path);
};

} // namespace platform::appkit
