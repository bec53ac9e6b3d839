#include "platform/files/XdgFolders.h"
#include "platform/files/PlatformFiles.h"

#include <cstdlib>
#include <fstream>

namespace platform::files {
namespace {

// The value of a line KEY="value" (shell quoting: a backslash keeps the next character), or
// nothing when the line sets another key or is not of that form.
bool QuotedValue(const std::string& line, const std::string& key, std::string& value) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, key.size(), key) != 0) return false;
    at += key.size();
    if (line.compare(at, 2, "=\"") != 0) return false;
    value.clear();
    for (at += 2; at < line.size(); ++at) {
        if (line[at] == '"') return true;
        if (line[at] == '\\' && at + 1 < line.size()) ++at;
        value += line[at];
    }
    return false; // no closing quote
}

} // namespace

std::string XdgFolder(const char* variable, const char* defaultUnderHome) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    return HomeFolder() + "/" + defaultUnderHome;
}

std::string XdgUserDir(const char* key, const char* defaultName) {
    const std::string home = HomeFolder();
    std::ifstream file(XdgFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
    std::string line, value, found;
    // The last assignment wins, as when the file is sourced by a shell.
    while (std::getline(file, line))
        if (QuotedValue(line, key, value)) found = value;
    if (found.rfind("$HOME", 0) == 0 && (found.size() == 5 || found[5] == '/'))
        found = home + found.substr(5);
    else if (found.empty() || found[0] != '/')
        return home + "/" + defaultName;
    while (found.size() > 1 && found.back() == '/')
        found.pop_back();
    return found;
}

} // namespace platform::files
