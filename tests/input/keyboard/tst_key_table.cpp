#include "input/key_table.h"
#include "notation/alphabet.h"
#include "tests/input/keyboard/keyboard_tests.h"

#include <QSet>
#include <QTest>

#include <algorithm>

namespace tonmiro::input::tests {

class KeyTableTest : public QObject {
    Q_OBJECT
private slots:
    void buttonsFormTheKeyboard();
    void sampleKeysWriteTheirSamplesToken();
    void picturesShowTheWrittenNote();
    void keysWithoutAButtonShowOnTheSpaceBar_data();
    void keysWithoutAButtonShowOnTheSpaceBar();
};

// The 58 buttons: named after their code, in one of the five rows, inside 分组框1 and never
// overlapping (which catches a mistyped place or size).
void KeyTableTest::buttonsFormTheKeyboard() {
    QList<const KeyRow*> buttons;
    int previous = -1;
    for (const KeyRow& row : KeyTable::rows()) {
        QVERIFY2(toInt(row.code) > previous, "rows in ascending code order");
        previous = toInt(row.code);
        if (row.face != KeyFace::None) {
            buttons << &row;
        }
    }
    QCOMPARE(buttons.size(), KeyTable::kButtonCount);
    const QRect group(0, 0, 387, 201);
    for (const KeyRow* row : buttons) {
        const QRect r = row->geometry();
        QCOMPARE(row->buttonName(), QStringLiteral("按键%1").arg(toInt(row->code)));
        QVERIFY2(group.contains(r), qPrintable(row->buttonName().toString()));
        const bool lowRow = r.top() == 169 && r.height() == 29;
        const bool upperRows = QList<int>{9, 49, 89, 129}.contains(r.top()) && r.height() == 39;
        QVERIFY2(lowRow || upperRows, qPrintable(row->buttonName().toString()));
        for (const KeyRow* other : buttons) {
            if (other != row) {
                QVERIFY2(
                    !r.intersects(other->geometry()),
                    qPrintable(QStringLiteral("%1 overlaps %2").arg(row->buttonName(), other->buttonName())));
            }
        }
    }
}

// The sample of a key is always the sample of the token it writes, and the 26 keys with a
// sample cover S01 to S26 once each.
void KeyTableTest::sampleKeysWriteTheirSamplesToken() {
    QSet<int> samples;
    for (const KeyRow& row : KeyTable::rows()) {
        const QByteArray text = row.gbkText().toByteArray();
        if (row.sample == 0) {
            QCOMPARE(notation::sampleOf(text), 0);
            continue;
        }
        QCOMPARE(text.size(), 2);
        QCOMPARE(notation::lookupToken(text).sample, row.sample);
        samples.insert(row.sample);
    }
    QCOMPARE(samples.size(), notation::kSampleCount);
    QCOMPARE(*std::min_element(samples.begin(), samples.end()), 1);
    QCOMPARE(*std::max_element(samples.begin(), samples.end()), notation::kSampleCount);
}

// A picture key's glyph (7 * register + degree of group 1) is the note it writes; H's is the
// centre dot.
void KeyTableTest::picturesShowTheWrittenNote() {
    int pictures = 0;
    for (const KeyRow& row : KeyTable::rows()) {
        if (row.face != KeyFace::Picture) {
            QCOMPARE(row.glyphIndex, -1);
            continue;
        }
        ++pictures;
        const QByteArray text = row.gbkText().toByteArray();
        if (row.glyphIndex == 36) {
            QCOMPARE(text, QByteArray(notation::kDot));
            continue;
        }
        const int reg = (row.glyphIndex - 1) / 7;
        const int degree = (row.glyphIndex - 1) % 7 + 1;
        QVERIFY(reg >= 1 && reg <= 4);
        QCOMPARE(text, notation::pitchToken(static_cast<notation::Register>(reg), degree));
        // The hidden caption: the key's legend, a line break, the note glyph.
        QCOMPARE(row.captionText().count(u'\n'), 1);
    }
    QCOMPARE(pictures, 27);
}

void KeyTableTest::keysWithoutAButtonShowOnTheSpaceBar_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("button");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("keypad 0") << 162 << 32 << QByteArray("0");
    QTest::newRow("keypad 9") << 171 << 32 << QByteArray("9");
    QTest::newRow("Esc") << 27 << 32 << QByteArray();
    QTest::newRow("F1") << 138 << 32 << QByteArray();
    QTest::newRow("Up") << 136 << 32 << QByteArray();
    QTest::newRow("keypad Enter") << 160 << 32 << QByteArray();
    QTest::newRow("Num Lock") << 172 << 32 << QByteArray();
    QTest::newRow("Caps Lock has its own") << 173 << 173 << QByteArray();
    QTest::newRow("Space itself") << 32 << 32 << QByteArray(notation::kDash);
    QTest::newRow("Right Ctrl has its own") << 131 << 131 << QByteArray();
}

void KeyTableTest::keysWithoutAButtonShowOnTheSpaceBar() {
    QFETCH(int, code);
    QFETCH(int, button);
    QFETCH(QByteArray, text);
    const auto key = static_cast<KeyCode>(code);
    QCOMPARE(toInt(KeyTable::buttonOf(key)), button);
    QCOMPARE(KeyTable::buttonName(key), QStringLiteral("按键%1").arg(button));
    QCOMPARE(KeyTable::textOf(key).toByteArray(), text);
    QCOMPARE(KeyTable::sampleOf(key), 0);
}

int runKeyTableTests(int argc, char** argv) {
    KeyTableTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tonmiro::input::tests

#include "tst_key_table.moc"
