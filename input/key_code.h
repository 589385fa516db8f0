#pragma once

#include <QtGlobal>

namespace tonmiro::input {

// The number of a physical key position, as engraved on a US keyboard. It does not depend on
// the keyboard layout, on Shift or on Caps Lock: the A key is always 97, and each Shift, Ctrl
// and Alt key has a code of its own. Codes of shifted characters (33, 65 to 90, ...) belong to
// the range but no key reports them.
enum class KeyCode : quint8 {
    Backspace = 8,
    Tab = 9,
    Enter = 13,
    Esc = 27,
    Space = 32,
    Apostrophe = 39,
    Comma = 44,
    Minus = 45,
    FullStop = 46,
    Slash = 47,
    Digit0 = 48, // the main block's digits 0 to 9 are 48 to 57
    Digit9 = 57,
    Semicolon = 59,
    Equals = 61,
    LeftBracket = 91,
    Backslash = 92,
    RightBracket = 93,
    Grave = 96,
    A = 97, // letters A to Z are 97 to 122
    Z = 122,
    LeftShift = 128,
    RightShift = 129,
    LeftCtrl = 130,
    RightCtrl = 131,
    LeftAlt = 132,
    RightAlt = 133,
    Left = 134,
    Right = 135,
    Up = 136,
    Down = 137,
    F1 = 138, // F1 to F12 are 138 to 149
    F12 = 149,
    Insert = 150,
    Delete = 151,
    Home = 152,
    End = 153,
    PageUp = 154,
    PageDown = 155,
    KeypadSlash = 156,
    KeypadStar = 157,
    KeypadMinus = 158,
    KeypadPlus = 159,
    KeypadEnter = 160,
    KeypadFullStop = 161,
    Keypad0 = 162, // keypad digits 0 to 9 are 162 to 171
    Keypad9 = 171,
    NumLock = 172,
    CapsLock = 173,
    ScrollLock = 174,
    PrintScreen = 175,
};

// The codes the device goes through, in this order, at every sample.
inline constexpr int kFirstKeyCode = 8;
inline constexpr int kLastKeyCode = 176;

constexpr int toInt(KeyCode code) {
    return static_cast<int>(code);
}

// Letter 'A'..'Z' or 'a'..'z'.
constexpr KeyCode letterKey(char letter) {
    const char upper = (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter;
    return static_cast<KeyCode>(toInt(KeyCode::A) + (upper - 'A'));
}
constexpr KeyCode digitKey(int digit) {
    return static_cast<KeyCode>(toInt(KeyCode::Digit0) + digit);
}
constexpr KeyCode keypadDigitKey(int digit) {
    return static_cast<KeyCode>(toInt(KeyCode::Keypad0) + digit);
}
constexpr KeyCode functionKey(int n) {
    return static_cast<KeyCode>(toInt(KeyCode::F1) + n - 1);
}

// True for the codes that some physical key reports (the numbering without the shifted
// characters' codes).
bool isReportedKeyCode(int code);

// The state of one key, one byte.
enum class KeyState : quint8 {
    Idle = 0,     // up, and already reported as released
    Released = 1, // went up at the last sample
    Pressed = 2,  // went down at the last sample
    Held = 3,     // down for more than one sample
};

// One reported change of a key's state.
struct KeyChange {
    KeyCode code{};
    KeyState state{};
    friend bool operator==(const KeyChange&, const KeyChange&) = default;
};

} // namespace tonmiro::input
