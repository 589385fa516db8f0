#include "input/glyph_set.h"
#include "input/keyboard_view.h"
#include "tests/input/keyboard/keyboard_tests.h"

#include <QFontInfo>
#include <QGroupBox>
#include <QSignalSpy>
#include <QTest>

namespace tonmiro::input::tests {

namespace {

// The bounding box of the pixels where two renderings differ.
QRect differenceBox(const QImage& a, const QImage& b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

QImage render(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The rows of a picture that hold ink.
QList<int> inkRows(const QImage& picture) {
    QList<int> rows;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qGray(picture.pixel(x, y)) < 128) {
                rows << y;
                break;
            }
        }
    }
    return rows;
}

QList<int> range(int from, int to) {
    QList<int> r;
    for (int i = from; i <= to; ++i) {
        r << i;
    }
    return r;
}

} // namespace

class KeyboardViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void buttonsInTheGroup();
    void boldCaptionsInSong();
    void captionPlacement_data();
    void captionPlacement();
    void pictures_data();
    void pictures();
    void mirrorOnly();
    void keysWithoutAButtonGreyTheSpaceBar();

private: // NOLINT(readability-redundant-access-specifiers): moc's slots section ends here
    QGroupBox* m_group = nullptr;
    KeyboardView* m_view = nullptr;
};

void KeyboardViewTest::init() {
    m_group = new QGroupBox;
    m_group->setObjectName(QStringLiteral("分组框1"));
    m_group->resize(387, 201);
    m_view = new KeyboardView(m_group);
    m_group->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_group));
}

void KeyboardViewTest::cleanup() {
    delete m_view;
    delete m_group;
}

void KeyboardViewTest::buttonsInTheGroup() {
    const auto buttons = m_group->findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), KeyTable::kButtonCount);
    for (const KeyRow& row : KeyTable::rows()) {
        if (row.face == KeyFace::None) {
            QCOMPARE(m_view->button(row.code), nullptr);
            continue;
        }
        auto* b = m_group->findChild<QPushButton*>(row.buttonName().toString());
        QVERIFY2(b != nullptr, qPrintable(row.buttonName().toString()));
        QCOMPARE(b, m_view->button(row.code));
        QCOMPARE(b->parentWidget(), m_group);
        QCOMPARE(b->geometry(), row.geometry());
        QVERIFY(b->isEnabled());
        QVERIFY(b->isVisible());
        QCOMPARE(b->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        QCOMPARE(b->text(), row.captionText().toString());
    }
}

// 宋体 where it is installed, else a substituted Song face, never the generic sans fallback.
void KeyboardViewTest::boldCaptionsInSong() {
    const QFont font = m_view->button(KeyCode::Tab)->font();
    QVERIFY(font.bold());
    QCOMPARE(font.pixelSize(), 12);
    const QString family = QFontInfo(font).family();
    QVERIFY2(family == u"宋体" || family.contains(u"SimSun") || family.contains(u"UMing") ||
                 family.contains(u"Serif CJK"),
             qPrintable(family));
    // Plain captions keep the window's font.
    QCOMPARE(m_view->button(KeyCode(103))->font(), m_group->font());
}

void KeyboardViewTest::captionPlacement_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("centred");
    QTest::newRow("Tab, bold") << 9 << true;
    QTest::newRow("Ctrl, bold, low row") << 130 << true;
    QTest::newRow("Space, bold, wide") << 32 << true;
    QTest::newRow("B, plain") << 98 << false;
    QTest::newRow("G, plain, two lines") << 103 << false;
    QTest::newRow("equals, plain") << 61 << false;
}

// Where the caption's ink lands: the difference between the button and its bare bevel.
void KeyboardViewTest::captionPlacement() {
    QFETCH(int, code);
    QFETCH(bool, centred);
    KeyButton* b = m_view->button(KeyCode(code));
    const QString caption = b->text();
    const QImage withCaption = render(b);
    b->setText(QString());
    const QImage bare = render(b);
    b->setText(caption);
    const QRect ink = differenceBox(withCaption, bare);
    QVERIFY(!ink.isEmpty());
    QVERIFY(b->rect().contains(ink));
    if (centred) {
        QVERIFY2(qAbs(ink.center().x() - b->rect().center().x()) <= 2, qPrintable(QString::number(ink.x())));
        QVERIFY2(qAbs(ink.center().y() - b->rect().center().y()) <= 2, qPrintable(QString::number(ink.y())));
    } else {
        QVERIFY2(ink.left() <= 6 && ink.top() <= 8,
                 qPrintable(QStringLiteral("%1,%2").arg(ink.x()).arg(ink.y())));
    }
    if (code == 103) { // "G", then " ０": two lines
        QVERIFY(ink.height() > QFontMetrics(b->font()).height());
    }
}

void KeyboardViewTest::pictures_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<int>>("rows"); // rows of the 33 that hold ink
    const QList<int> digit = range(11, 21);
    QTest::newRow("A, middle 1") << 97 << digit;
    QTest::newRow("Z, low 1") << 122 << digit + range(23, 26);
    QTest::newRow("Q, high 1") << 113 << range(6, 9) + digit;
    QTest::newRow("1, super-high 1") << 49 << range(1, 4) + range(6, 9) + digit;
    QTest::newRow("full stop, low 7") << 46 << digit + range(23, 26);
    QTest::newRow("H, centre dot") << 104 << range(14, 17);
}

// A one-bit 9 x 33 picture, the top of the group-1 glyph, drawn black on white at the top left.
void KeyboardViewTest::pictures() {
    QFETCH(int, code);
    QFETCH(QList<int>, rows);
    const KeyRow* row = KeyTable::find(KeyCode(code));
    KeyButton* b = m_view->button(KeyCode(code));
    QCOMPARE(b->face(), KeyFace::Picture);
    const QImage& picture = b->picture();
    QCOMPARE(picture.size(), QSize(9, 33));
    QCOMPARE(picture.depth(), 1);
    QCOMPARE(inkRows(picture), rows);
    const QImage glyph = GlyphSet::image(1, row->glyphIndex);
    for (int y = 0; y < 33; ++y) {
        for (int x = 0; x < 9; ++x) {
            QCOMPARE(qGray(picture.pixel(x, y)) < 128, qGray(glyph.pixel(x, y)) < 128);
        }
    }
    // On screen: exactly the picture inside pictureRect, at the button's top left.
    const QRect at = b->pictureRect();
    QVERIFY(at.left() <= 4 && at.top() <= 4);
    const QImage shown = render(b);
    for (int y = 0; y < 33; ++y) {
        for (int x = 0; x < 9; ++x) {
            const QRgb expected = qGray(picture.pixel(x, y)) < 128 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            QCOMPARE(shown.pixel(at.x() + x, at.y() + y) & 0xFFFFFF, expected & 0xFFFFFF);
        }
    }
    // Greyed while the key is down: the ink is no longer black.
    b->setEnabled(false);
    const QImage grey = render(b);
    b->setEnabled(true);
    QVERIFY(grey != shown);
    QVERIFY(grey.pixel(at.x() + 4, at.y() + rows.first()) != qRgb(0, 0, 0) ||
            grey.pixel(at.x() + 3, at.y() + rows.first()) != qRgb(0, 0, 0));
}

// The mouse neither presses nor clicks a key button.
void KeyboardViewTest::mirrorOnly() {
    KeyButton* b = m_view->button(KeyCode::A);
    QSignalSpy clicked(b, &QPushButton::clicked);
    QSignalSpy pressed(b, &QPushButton::pressed);
    const QImage before = render(b);
    QTest::mousePress(b, Qt::LeftButton);
    QVERIFY(!b->isDown());
    QCOMPARE(render(b), before);
    QTest::mouseRelease(b, Qt::LeftButton);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(clicked.size(), 0);
    QCOMPARE(pressed.size(), 0);
    QVERIFY(b->isEnabled());
}

void KeyboardViewTest::keysWithoutAButtonGreyTheSpaceBar() {
    KeyButton* space = m_view->button(KeyCode::Space);
    m_view->setButtonEnabled(keypadDigitKey(3), false);
    QVERIFY(!space->isEnabled());
    m_view->setButtonEnabled(KeyCode::Esc, true);
    QVERIFY(space->isEnabled());
    m_view->setButtonEnabled(KeyCode::A, false);
    QVERIFY(!m_view->button(KeyCode::A)->isEnabled());
    QVERIFY(space->isEnabled());
}

int runKeyboardViewTests(int argc, char** argv) {
    KeyboardViewTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tonmiro::input::tests

#include "tst_keyboard_view.moc"
