#include "app/score_edit.h"
#include "notation/gbk_codec.h"

#include <QApplication>
#include <QClipboard>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using tonmiro::app::ScoreEdit;

namespace {

// GBK bytes of UTF-8 text, CR LF kept as the score's line break.
QByteArray gbk(const char* utf8) {
    return tonmiro::gbk::encode(
        QString::fromUtf8(utf8).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

} // namespace

class TestScoreEdit : public QObject {
    Q_OBJECT
private slots:
    void roundTripsBytes_data();
    void roundTripsBytes();
    void storedSelectionModel_data();
    void storedSelectionModel();
    void boundaryInsideCharacterStillMovesForward();
    void replaceSelectionIsOneUndoableEdit();
    void lengthsStayRightThroughRandomEdits();
    void characterFilter();
    void copyAndPasteStillWork();
    void selectionStaysHighlightedWithoutFocus();
};

void TestScoreEdit::roundTripsBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("tokens and bar lines") << gbk("①②③\r\n④———\r\n120\r\n⑤");
    QTest::newRow("lone CR and LF") << QByteArray("\xA2\xD9\r\xA2\xDA\n\n\r\r\n", 11);
    QTest::newRow("invalid GBK") << QByteArray("\x81\x20\xFF\xA2", 4);
    QTest::newRow("trailing CR LF") << gbk("①\r\n");
    QTest::newRow("control bytes and tab") << QByteArray("\x01\x02\t\x1f\x7f\x80", 6);
}

void TestScoreEdit::roundTripsBytes() {
    QFETCH(QByteArray, bytes);
    ScoreEdit edit;
    QSignalSpy changed(&edit, &ScoreEdit::scoreChanged);
    edit.setText(bytes);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(edit.text(), bytes);
    QCOMPARE(edit.textLength(), bytes.size());
}

void TestScoreEdit::storedSelectionModel_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qsizetype>("start");
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<QByteArray>("selected");
    QTest::addColumn<qsizetype>("liveStart");
    const QByteArray score = gbk("①②\r\n③");
    QTest::newRow("first token") << score << qsizetype(0) << qsizetype(2) << gbk("①") << qsizetype(0);
    QTest::newRow("second token") << score << qsizetype(2) << qsizetype(2) << gbk("②") << qsizetype(2);
    QTest::newRow("bar line") << score << qsizetype(4) << qsizetype(2) << QByteArray("\r\n") << qsizetype(4);
    QTest::newRow("after bar line") << score << qsizetype(6) << qsizetype(2) << gbk("③") << qsizetype(6);
    QTest::newRow("marker length") << gbk("120\r\n①") << qsizetype(0) << qsizetype(3) << QByteArray("120")
                                   << qsizetype(0);
    QTest::newRow("runs past the end") << score << qsizetype(6) << qsizetype(5) << gbk("③") << qsizetype(6);
    QTest::newRow("starts past the end")
        << score << qsizetype(40) << qsizetype(2) << QByteArray() << qsizetype(8);
    QTest::newRow("zero length") << score << qsizetype(2) << qsizetype(0) << QByteArray() << qsizetype(2);
}

void TestScoreEdit::storedSelectionModel() {
    QFETCH(QByteArray, text);
    QFETCH(qsizetype, start);
    QFETCH(qsizetype, length);
    QFETCH(QByteArray, selected);
    QFETCH(qsizetype, liveStart);
    ScoreEdit edit;
    edit.setText(text);
    // Writing the length selects from the stored start (still 0), then the start re-selects.
    edit.setSelectionLength(length);
    edit.setSelectionStart(start);
    QCOMPARE(edit.selectedText(), selected);
    QCOMPARE(edit.selectionStart(), liveStart);
    QCOMPARE(edit.storedSelectionStart(), start);
    QCOMPARE(edit.storedSelectionLength(), length);
}

void TestScoreEdit::boundaryInsideCharacterStillMovesForward() {
    // "a①b": single-byte characters put two-byte steps out of step with the tokens.
    ScoreEdit edit;
    edit.setText(QByteArray("a") + gbk("①") + QByteArray("b"));
    edit.setSelectionLength(2);
    qsizetype stored = 0;
    int steps = 0;
    while (stored < edit.textLength() && steps < 10) {
        edit.setSelectionStart(stored);
        const qsizetype live = edit.selectionStart();
        QVERIFY(live <= stored);
        QVERIFY(!edit.selectedText().isEmpty());
        stored = live + 2;
        ++steps;
    }
    QVERIFY(stored >= edit.textLength());
    // Start 2 falls inside "①" (bytes 1..2): the selection widens to the whole character.
    edit.setSelectionStart(2);
    QCOMPARE(edit.selectionStart(), qsizetype(1));
    QCOMPARE(edit.selectedText(), gbk("①b"));
}

void TestScoreEdit::replaceSelectionIsOneUndoableEdit() {
    ScoreEdit edit;
    edit.setText(gbk("①②③"));
    edit.setSelectionLength(2);
    edit.setSelectionStart(2); // "②" selected
    QSignalSpy changed(&edit, &ScoreEdit::scoreChanged);
    edit.replaceSelection(gbk("⑤———\r\n"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(edit.text(), gbk("①⑤———\r\n③"));
    QCOMPARE(edit.selectionStart(), qsizetype(12)); // the caret ends after the inserted text
    QCOMPARE(edit.selectedText(), QByteArray());
    edit.undo();
    QCOMPARE(edit.text(), gbk("①②③"));
}

void TestScoreEdit::lengthsStayRightThroughRandomEdits() {
    // Byte positions are kept per line through every kind of edit; compare with the encoded text.
    const QByteArray pieces[] = {
        gbk("①"),    gbk("—"),        QByteArray("\r\n"), QByteArray("1"), QByteArray("\x81", 1),
        gbk("⒒———"), QByteArray("\r")};
    QRandomGenerator rng(20261211);
    ScoreEdit edit;
    for (int i = 0; i < 400; ++i) {
        const qsizetype len = edit.textLength();
        const qsizetype a = rng.bounded(int(len + 1));
        const qsizetype b = rng.bounded(int(len + 1));
        edit.setSelectionLength(0);
        edit.setSelectionStart(std::min(a, b));
        edit.setSelectionLength(std::abs(a - b));
        if (rng.bounded(4) == 0) {
            edit.replaceSelection(QByteArray());
        } else {
            edit.replaceSelection(pieces[rng.bounded(int(std::size(pieces)))]);
        }
        const QByteArray bytes = edit.text();
        QCOMPARE(edit.textLength(), bytes.size());
        // Every character boundary maps to the byte count of the text before it.
        int probe = rng.bounded(edit.document()->characterCount());
        const QString plain = edit.toPlainText();
        if (probe > 0 && probe < plain.size() && plain.at(probe).isLowSurrogate()) {
            --probe; // never between the halves of one character
        }
        const QString before = plain.left(probe);
        QCOMPARE(edit.bytePosition(probe), tonmiro::gbk::encode(before).size());
        QCOMPARE(edit.charPosition(edit.bytePosition(probe)), probe);
    }
}

void TestScoreEdit::characterFilter() {
    ScoreEdit edit;
    edit.show();
    edit.setText(gbk("①②"));
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, "abc 123;");
    QCOMPARE(edit.text(), gbk("①②"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), gbk("①"));
    QTest::keyClick(&edit, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(edit.text(), gbk("①\r\n"));
    QTest::keyClick(&edit, Qt::Key_Tab);
    QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit.text(), gbk("①\r\n"));
    QTest::keyClick(&edit, Qt::Key_Left);
    QTest::keyClick(&edit, Qt::Key_Delete);
    QCOMPARE(edit.text(), gbk("①"));
}

void TestScoreEdit::copyAndPasteStillWork() {
    ScoreEdit edit;
    edit.show();
    edit.setText(gbk("①②"));
    edit.setSelectionLength(2);
    edit.setSelectionStart(0);
    QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("①"));
    edit.moveCursor(QTextCursor::End);
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit.text(), gbk("①②①"));
}

void TestScoreEdit::selectionStaysHighlightedWithoutFocus() {
    ScoreEdit edit;
    const QPalette pal = edit.palette();
    QCOMPARE(pal.color(QPalette::Inactive, QPalette::Highlight),
             pal.color(QPalette::Active, QPalette::Highlight));
    QCOMPARE(edit.objectName(), QString::fromUtf8("编辑框1"));
}

QTEST_MAIN(TestScoreEdit)
#include "test_score_edit.moc"
