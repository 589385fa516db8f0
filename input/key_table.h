#pragma once

#include "input/key_code.h"

#include <QByteArrayView>
#include <QRect>
#include <QStringView>

#include <span>
#include <string_view>

namespace tonmiro::input {

// How an on-screen key button shows its key.
enum class KeyFace : quint8 {
    None,        // the key has no button of its own
    BoldCaption, // caption centred both ways, 宋体 12 px bold
    Caption,     // caption in the window's default font, top left, several lines
    Picture,     // a 9 x 33 one-bit glyph picture at the top left (the caption is hidden)
};

// One row of the key table: what a key does and how its button looks.
struct KeyRow {
    KeyCode code{};
    std::u16string_view button; // objectName of the button that mirrors the key
    int left = 0;               // place and size inside 分组框1; all 0 without a button
    int top = 0;
    int width = 0;
    int height = 0;
    KeyFace face = KeyFace::None;
    std::u16string_view caption; // for Picture faces the two-line legend the picture hides
    int glyphIndex = -1;         // Picture: index into glyph group 1, -1 otherwise
    int sample = 0;              // 1..26 for S01..S26, 0 for none
    std::string_view text;       // GBK bytes written into the score, empty for none

    QRect geometry() const { return {left, top, width, height}; }
    QStringView buttonName() const { return QStringView(button.data(), qsizetype(button.size())); }
    QStringView captionText() const { return QStringView(caption.data(), qsizetype(caption.size())); }
    QByteArrayView gbkText() const { return QByteArrayView(text.data(), qsizetype(text.size())); }
};

// What each key does: the 58 keys with a button of their own and the ten keypad digits. Every
// other key has no sample and no text and shows on the space bar's button 按键32.
class KeyTable {
public:
    static constexpr int kButtonCount = 58;

    // Every row, in ascending code order.
    static std::span<const KeyRow> rows();

    // The row of a key, or nullptr for a key the table does not list.
    static const KeyRow* find(KeyCode code);

    // The code of the button that mirrors the key: its own, or Space for keys without one.
    static KeyCode buttonOf(KeyCode code);

    // The objectName of that button ("按键97", "按键32", ...).
    static QStringView buttonName(KeyCode code);

    // 1..26, or 0 when the key sounds nothing.
    static int sampleOf(KeyCode code);

    // The GBK text the key writes; empty when it writes nothing.
    static QByteArrayView textOf(KeyCode code);
};

} // namespace tonmiro::input
