#pragma once

// A second client of a test's X server that types with XTEST and holds key grabs of its own.
#include "tests/support/XClient.h"

#include <cstdint>
#include <string>
#include <vector>

struct _XCBKeySymbols;

namespace testsupport {

class XKeyboard : XClient {
public:
    explicit XKeyboard(const std::string& display);
    ~XKeyboard();

    // Connected, and the server has XTEST.
    bool Ok() const;
    // The key code that types the key symbol (0 when the keymap has none).
    uint8_t Keycode(uint32_t keysym) const;
    // Presses the keys in order and releases them in reverse, as a person types a chord, and
    // waits until the server has taken every event.
    bool Chord(const std::vector<uint32_t>& keysyms);
    // The modifier and lock bits the server's keyboard state holds now.
    uint16_t ModifierState() const;
    // A passive grab of the key with exactly these modifiers on the root window; false when
    // another client holds it. Released by Ungrab or when this client goes.
    bool Grab(uint8_t keycode, uint16_t modifiers);
    void Ungrab(uint8_t keycode, uint16_t modifiers);

private:
    _XCBKeySymbols* mSymbols = nullptr;
    bool mTest = false;
};

} // namespace testsupport
