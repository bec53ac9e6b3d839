#pragma once

#include <cstddef>

// A path that is the same for every process serving the user at the console: the format's "%@"
// becomes the console user's short name and its "%s" the argument ("%%" is a percent sign). A
// process of another user gets its own user's name instead, so that each user has a path.
// Empty until a path is built; a path that does not fit is not copied at all.
class CoreUserFileName {
public:
    constexpr CoreUserFileName() = default;
    CoreUserFileName(const char* format, const char* argument) {
        if (format) CreateFileName(format, argument);
    }

    void CreateFileName(const char* format, const char* argument);

    operator const char*() const { return mPath; }
    const char* c_str() const { return mPath; }

    static constexpr size_t kCapacity = 4096;

private:
    char mPath[kCapacity] = {};
};
