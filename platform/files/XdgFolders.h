#pragma once

// Where the XDG conventions put a user's folders.
#include <string>

namespace platform::files {

// An XDG base folder: the variable when it holds an absolute path, else its default under $HOME.
std::string XdgFolder(const char* variable, const char* defaultUnderHome);

// A folder named in $XDG_CONFIG_HOME/user-dirs.dirs (key such as "XDG_PICTURES_DIR"), whose
// values are "$HOME/..." or absolute paths; $HOME/defaultName when the file or the key is
// missing or the value is neither.
std::string XdgUserDir(const char* key, const char* defaultName);

} // namespace platform::files
