#pragma once

#include "input/key_code.h"
#include "input/key_table.h"

#include <QFont>
#include <QImage>
#include <QPushButton>

#include <array>

namespace tonmiro::input {

// One on-screen key button (按键<code>). It only mirrors the keyboard: it takes no focus and
// ignores the mouse (no pressed look, no clicked signal); the disabled look means its key is
// down. It paints its face itself, since a push button can neither align its caption to the top
// left nor show a picture there.
class KeyButton : public QPushButton {
    Q_OBJECT
public:
    KeyButton(const KeyRow& row, QWidget* parent);

    KeyFace face() const { return m_face; }
    // The 9 x 33 one-bit picture of a Picture face (null otherwise) and where it is drawn.
    const QImage& picture() const { return m_picture; }
    QRect pictureRect() const;
    // Where a caption is laid out.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    KeyFace m_face;
    QImage m_picture;
};

// The on-screen keyboard: the 58 key buttons of KeyTable, created at their places inside the
// given group box (分组框1), which owns them. UI thread only; must not outlive the group box.
class KeyboardView {
public:
    explicit KeyboardView(QWidget* group);

    // The button with that code's own face, nullptr for a code without one.
    KeyButton* button(KeyCode code) const;

    // Greys (false) or restores (true) the button that mirrors the code: its own, or 按键32.
    void setButtonEnabled(KeyCode code, bool enabled);

    // 宋体, bold, 12 pixels high (falling back to an installed Song face where 宋体 is missing).
    static QFont boldCaptionFont();
    // 宋体 at the given pixel height, regular weight (the legend labels use it too).
    static QFont songFont(int pixelSize);

    // The key picture of a glyph-group-1 index: its top 33 rows as a one-bit image.
    static QImage keyPicture(int glyphIndex);

private:
    std::array<KeyButton*, 256> m_buttons{};
};

} // namespace tonmiro::input
