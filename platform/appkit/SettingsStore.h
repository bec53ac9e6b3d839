#pragma once

// The user defaults' file: $XDG_CONFIG_HOME/<domain>.conf (default ~/.config), an INI file with
// the strings under [Strings] and the integers under [Integers], so each value keeps its type.
#include "platform/appkit/NSUserDefaults.h"

#include <string>

namespace platform::appkit {

NSUserDefaultsStore SettingsFileStore(const std::string& domain);
std::string SettingsFilePath(const std::string& domain);

} // namespace platform::appkit
