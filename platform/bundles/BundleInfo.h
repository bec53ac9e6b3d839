#pragma once

#include <map>
#include <string>

namespace platform::bundles {

// A bundle's metadata file: "Key=Value" lines; blank lines and lines starting with '#' are skipped.
class BundleInfo {
public:
    // False when the file cannot be read, is no regular file (a FIFO or device is never read)
    // or is larger than kMaxBytes; Refusal() then says why.
    bool Read(const std::string& path);
    const std::string& Refusal() const { return mRefusal; }
    // The value of a key, or empty.
    std::string Value(const std::string& key) const;

    static constexpr const char* kIdentifierKey = "CFBundleIdentifier";
    static constexpr const char* kExecutableKey = "CFBundleExecutable";
    static constexpr const char* kResourcesKey = "Resources";
    // A few keys take a few hundred bytes: anything far larger is no metadata file.
    static constexpr long kMaxBytes = 64 * 1024;

private:
    std::map<std::string, std::string> mValues;
    std::string mRefusal;
};

// The folder name of this processor's objects inside a bundle: Contents/Linux/<arch>/.
const char* ArchitectureFolder();

} // namespace platform::bundles
