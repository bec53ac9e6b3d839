#pragma once

// Kernels of the filter kernel language, compiled only as far as finding what a text declares:
// "kernel <type> <name>(<parameters>) { ... }". Nothing here runs a kernel.
#include "platform/coreimage/CoreVideo.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::coreimage {

class CI_API CIKernel {
public:
    // The kernels in declaration order; none when the text declares none or a declaration is
    // malformed (like a compilation that fails).
    static std::vector<std::shared_ptr<CIKernel>> kernelsWithString(const std::string& text);

    const std::string& name() const { return mName; }
    const std::string& returnType() const { return mReturnType; }
    // Each parameter's declaration, blanks trimmed ("sampler src").
    const std::vector<std::string>& parameters() const { return mParameters; }

private:
    std::string mName;
    std::string mReturnType;
    std::vector<std::string> mParameters;
};

} // namespace platform::coreimage
