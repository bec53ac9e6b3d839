#pragma once

// The toolkit's exception for states that must not happen. All instances share one 2048-byte
// message buffer: constructing a second exception replaces the text an earlier one points at.
class CoreException {
public:
    explicit CoreException(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* Message() const { return mMessage; }

    static constexpr int kMessageCapacity = 2048;

private:
    const char* mMessage;
};
