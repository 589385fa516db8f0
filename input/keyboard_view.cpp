#include "input/keyboard_view.h"

#include "input/glyph_set.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace tonmiro::input {

namespace {

constexpr int kPictureHeight = 33;
// Inside the button's two-pixel bevel, with one pixel of air.
constexpr QPoint kPictureOffset{3, 3};
// Captions start just inside the bevel: the narrow keys have little room.
constexpr int kCaptionMargin = 2;

void ensureSongSubstitution() {
    static const bool done = [] {
        // 宋体 is on every Chinese Windows; elsewhere use another Song (Ming) face.
        const QString song = QStringLiteral("宋体");
        if (QFont::substitutes(song).isEmpty()) {
            QFont::insertSubstitutions(
                song, {QStringLiteral("SimSun"), QStringLiteral("NSimSun"), QStringLiteral("AR PL UMing CN"),
                       QStringLiteral("AR PL UMing TW"), QStringLiteral("Noto Serif CJK SC")});
        }
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

KeyButton::KeyButton(const KeyRow& row, QWidget* parent) : QPushButton(parent), m_face(row.face) {
    setObjectName(row.buttonName().toString());
    setGeometry(row.geometry());
    setText(row.captionText().toString());
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAutoDefault(false);
    if (m_face == KeyFace::BoldCaption) {
        setFont(KeyboardView::boldCaptionFont());
    }
    if (m_face == KeyFace::Picture) {
        m_picture = KeyboardView::keyPicture(row.glyphIndex);
    }
}

QRect KeyButton::pictureRect() const {
    return {kPictureOffset, QSize(GlyphSet::kWidth, kPictureHeight)};
}

QRect KeyButton::captionRect() const {
    return rect().adjusted(kCaptionMargin, kCaptionMargin, -kCaptionMargin, -kCaptionMargin);
}

void KeyButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);

    switch (m_face) {
    case KeyFace::Picture: {
        if (m_picture.isNull()) {
            break;
        }
        if (isEnabled()) {
            painter.drawImage(pictureRect().topLeft(), m_picture);
        } else {
            const QPixmap grey =
                style()->generatedIconPixmap(QIcon::Disabled, QPixmap::fromImage(m_picture), &option);
            painter.drawPixmap(pictureRect().topLeft(), grey);
        }
        break;
    }
    case KeyFace::BoldCaption:
        style()->drawItemText(&painter, captionRect(), Qt::AlignCenter | Qt::TextWordWrap, palette(),
                              isEnabled(), text(), QPalette::ButtonText);
        break;
    case KeyFace::Caption:
        style()->drawItemText(&painter, captionRect(), Qt::AlignLeft | Qt::AlignTop, palette(), isEnabled(),
                              text(), QPalette::ButtonText);
        break;
    case KeyFace::None:
        break;
    }
}

// The buttons only mirror the keyboard: the mouse neither presses nor clicks them.
void KeyButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
void KeyButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
void KeyButton::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
void KeyButton::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

KeyboardView::KeyboardView(QWidget* group) {
    if (group == nullptr) {
        return; // never as top-level windows
    }
    for (const KeyRow& row : KeyTable::rows()) {
        if (row.face == KeyFace::None) {
            continue;
        }
        m_buttons[toInt(row.code)] = new KeyButton(row, group);
    }
}

KeyButton* KeyboardView::button(KeyCode code) const {
    return m_buttons[toInt(code)];
}

void KeyboardView::setButtonEnabled(KeyCode code, bool enabled) {
    if (KeyButton* b = button(KeyTable::buttonOf(code))) {
        b->setEnabled(enabled);
    }
}

QFont KeyboardView::songFont(int pixelSize) {
    ensureSongSubstitution();
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixelSize);
    return font;
}

QFont KeyboardView::boldCaptionFont() {
    QFont font = songFont(12);
    font.setBold(true);
    return font;
}

QImage KeyboardView::keyPicture(int glyphIndex) {
    const QImage glyph = GlyphSet::image(1, glyphIndex);
    if (glyph.isNull()) {
        return {};
    }
    QImage picture = glyph.copy(0, 0, GlyphSet::kWidth, kPictureHeight)
                         .convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::AvoidDither);
    return picture;
}

} // namespace tonmiro::input
