#pragma once

#include <map>
#include <string>

namespace platform::bundles {

// A bundle's metadata file: "Key=Value" lines; blank lines and lines starting with '#' are skipped.
class BundleInfo {
public:
    // False when the file cannot be read or is no regular file (a FIFO or device is never
    // opened for reading).
    bool Read(const std::string& path);
    // The value of a key, or empty.
    std::string Value(const std::string& key) const;

    static constexpr const char* kIdentifierKey = "CFBundleIdentifier";
    static constexpr const char* kExecutableKey = "CFBundleExecutable";
    static constexpr const char* kResourcesKey = "Resources";

private:
    std::map<std::string, std::string> mValues;
};

// The folder name of this processor's objects inside a bundle: Contents/Linux/<arch>/.
const char* ArchitectureFolder();

} // namespace platform::bundles
