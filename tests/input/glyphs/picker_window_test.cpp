#include "input/glyph_set.h"
#include "input/jianpu_sheet.h"
#include "input/picker_window.h"
#include "input/picture_grid.h"

#include <QCursor>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>

using namespace tonmiro::input;

namespace {

QByteArray gbk(const char* utf8) {
    return QStringEncoder("GBK")(QString::fromUtf8(utf8));
}

class FakeScore : public NoteTarget {
public:
    QStringList calls;
    void playSample(int sample) override { calls << QString("play %1").arg(sample); }
    void replaceSelection(const QByteArray& text) override { calls << "replace " + text.toHex(); }
    void focusScore() override { calls << "focus"; }
};

QString replaced(const char* utf8) {
    return "replace " + gbk(utf8).toHex();
}

QPoint centreOf(const PictureGrid& grid, int row, int column) {
    return grid.cellRect(row, column).center();
}

void click(PictureGrid& grid, QPoint pos) {
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, pos);
}

// Press, release, double-click, release: what the window system delivers for a double-click.
void doubleClick(PictureGrid& grid, QPoint pos) {
    click(grid, pos);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, pos);
}

void dragSelect(PictureGrid& grid, QPoint from, QPoint to) {
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, grid.viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(grid.viewport(), &move);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, to);
}

// The sheet cells that hold a picture, as "row,column".
QStringList filledCells(const JianpuSheet& sheet) {
    QStringList cells;
    for (int r = 0; r < JianpuSheet::kRows; ++r)
        for (int c = 0; c < JianpuSheet::kColumns; ++c)
            if (!sheet.cellPicture(r, c)->isEmpty())
                cells << QString("%1,%2").arg(r).arg(c);
    return cells;
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class PickerWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstDoubleClickCreatesFilledWindow();
    void pickFillsSheetCellAndScore();
    void reopenMovesToPointer_data();
    void reopenMovesToPointer();
    void pickTargetsTheCellCurrentAtPickTime();
    void pickWithoutCurrentCells();
    void blankPaletteCellErasesSheetCell();
    void closingDestroysAndNextDoubleClickBuildsAfresh();
    void destroyPicker_data();
    void destroyPicker();

private: // NOLINT(readability-redundant-access-specifiers): moc needs the slots apart
    std::unique_ptr<JianpuSheet> m_sheet;
    std::unique_ptr<FakeScore> m_score;
    std::unique_ptr<PickerController> m_controller;

    void openAt(int row, int column) { doubleClick(*m_sheet, centreOf(*m_sheet, row, column)); }
    void pickCell(int row, int column) {
        PictureGrid& palette = *m_controller->picker()->palette();
        click(palette, centreOf(palette, row, column));
    }
};

void PickerWindowTest::init() {
    m_sheet = std::make_unique<JianpuSheet>();
    m_sheet->resize(862, 456);
    m_sheet->setPictureColumns();
    m_sheet->show();
    m_score = std::make_unique<FakeScore>();
    m_controller = std::make_unique<PickerController>(*m_sheet, *m_score);
    QCursor::setPos(400, 300);
}

void PickerWindowTest::cleanup() {
    m_controller.reset();
    flushDeletes();
    m_sheet.reset();
    m_score.reset();
}

void PickerWindowTest::firstDoubleClickCreatesFilledWindow() {
    QVERIFY(!m_controller->picker());
    openAt(3, 10);
    PickerWindow* picker = m_controller->picker();
    QVERIFY(picker);
    QVERIFY(picker->isVisible());
    QCOMPARE(picker->pos(), QPoint(94, 330));

    // A top-level window of its own: no parent, not modal, on top, no maximise button, no caption.
    QVERIFY(!picker->parentWidget());
    QVERIFY(!picker->isModal());
    QVERIFY(picker->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(picker->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(picker->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(picker->windowTitle().isEmpty());
    QCOMPARE(picker->size(), QSize(595, 254));
    QCOMPARE(picker->minimumSize(), picker->maximumSize());

    // Its palette is built like the main one and has no current cell yet.
    PictureGrid* palette = picker->palette();
    QCOMPARE(picker->findChild<PictureGrid*>(QStringLiteral("高级表格2")), palette);
    QCOMPARE(palette->geometry(), QRect(0, 0, 595, 254));
    QCOMPARE(palette->cellPicture(2, 19), std::optional<QByteArray>(GlyphSet::picture(2, 19)));
    QCOMPARE(palette->cellPicture(0, 23), std::optional<QByteArray>(GlyphSet::picture(1, 38)));
    QCOMPARE(palette->currentCell(), (GridCell{-1, -1}));

    // Opening alone changes neither the sheet nor the score.
    QVERIFY(filledCells(*m_sheet).isEmpty());
    QVERIFY(m_score->calls.isEmpty());
}

void PickerWindowTest::pickFillsSheetCellAndScore() {
    openAt(3, 10);
    pickCell(2, 19);
    QCOMPARE(m_sheet->cellPicture(3, 10), std::optional<QByteArray>(GlyphSet::picture(2, 19)));
    QCOMPARE(filledCells(*m_sheet), QStringList{"3,10"});
    QCOMPARE(m_score->calls, (QStringList{"play 12", replaced("⑤———"), "focus"}));
    QVERIFY(m_controller->picker());
    QVERIFY(!m_controller->picker()->isVisible());

    // A silent pitch.
    m_score->calls.clear();
    click(*m_sheet, centreOf(*m_sheet, 3, 11));
    openAt(3, 11);
    pickCell(1, 1);
    QCOMPARE(m_sheet->cellPicture(3, 11), std::optional<QByteArray>(GlyphSet::picture(1, 1)));
    QCOMPARE(m_score->calls, (QStringList{replaced("⒒———————"), "focus"}));

    // The row-4 bar line is copied and writes a bar line.
    m_score->calls.clear();
    openAt(3, 12);
    pickCell(4, 36);
    QCOMPARE(m_sheet->cellPicture(3, 12), std::optional<QByteArray>(GlyphSet::picture(4, 36)));
    QCOMPARE(m_score->calls, (QStringList{"replace 0d0a", "focus"}));
}

void PickerWindowTest::reopenMovesToPointer_data() {
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("inside the screen") << QPoint(400, 300) << QPoint(94, 330);
    QTest::newRow("partly off the screen") << QPoint(100, 50) << QPoint(-206, 80);
}

void PickerWindowTest::reopenMovesToPointer() {
    QFETCH(QPoint, pointer);
    QFETCH(QPoint, corner);
    QCursor::setPos(700, 500);
    openAt(3, 10);
    const QPointer<PickerWindow> first = m_controller->picker();
    QCOMPARE(first->pos(), QPoint(394, 530));

    // While shown: only the place changes.
    QCursor::setPos(pointer);
    openAt(3, 10);
    QCOMPARE(m_controller->picker(), first.data());
    QCOMPARE(first->pos(), corner);
    QVERIFY(first->isVisible());

    // After a pick hid it: the same window comes back, at the pointer.
    pickCell(2, 19);
    QVERIFY(!first->isVisible());
    QCursor::setPos(700, 500);
    openAt(3, 10);
    QCOMPARE(m_controller->picker(), first.data());
    QVERIFY(first->isVisible());
    QCOMPARE(first->pos(), QPoint(394, 530));
    QCOMPARE(first->palette()->currentCell(), (GridCell{2, 19})); // hiding keeps its state
}

void PickerWindowTest::pickTargetsTheCellCurrentAtPickTime() {
    openAt(3, 10);
    // Another sheet cell clicked while the pop-up is shown receives the picture.
    click(*m_sheet, centreOf(*m_sheet, 7, 20));
    QVERIFY(m_controller->picker()->isVisible());
    pickCell(3, 22);
    QCOMPARE(filledCells(*m_sheet), QStringList{"7,20"});

    // With a rectangle from (2, 9) to (4, 5) selected only its top-left cell (2, 5) is set.
    openAt(0, 0);
    dragSelect(*m_sheet, centreOf(*m_sheet, 2, 9), centreOf(*m_sheet, 4, 5));
    QVERIFY(m_controller->picker()->isVisible());
    pickCell(1, 15);
    QCOMPARE(filledCells(*m_sheet), (QStringList{"2,5", "7,20"}));
    QCOMPARE(m_sheet->cellPicture(2, 5), std::optional<QByteArray>(GlyphSet::picture(1, 15)));
}

void PickerWindowTest::pickWithoutCurrentCells() {
    // A double-click on the blank strip right of the last column, before any cell was clicked.
    const QPoint strip(JianpuSheet::kColumns * PictureGrid::kCellWidth + 4, 40);
    doubleClick(*m_sheet, strip);
    QVERIFY(m_controller->picker());
    QCOMPARE(m_sheet->currentCell(), (GridCell{-1, -1}));

    // A release on the fresh palette without a press there: nothing at all but hiding and focus.
    PictureGrid& palette = *m_controller->picker()->palette();
    QTest::mouseRelease(palette.viewport(), Qt::LeftButton, {}, centreOf(palette, 2, 19));
    QVERIFY(!m_controller->picker()->isVisible());
    QCOMPARE(m_score->calls, QStringList{"focus"});

    // A real pick: no sheet cell changes, but the note is written and sounded.
    doubleClick(*m_sheet, strip);
    pickCell(4, 8);
    QVERIFY(filledCells(*m_sheet).isEmpty());
    QCOMPARE(m_score->calls, (QStringList{"focus", "play 1", replaced("⒈"), "focus"}));
    QVERIFY(!m_controller->picker()->isVisible());
}

void PickerWindowTest::blankPaletteCellErasesSheetCell() {
    openAt(3, 10);
    pickCell(2, 19);
    QVERIFY(!m_sheet->cellPicture(3, 10)->isEmpty());
    m_score->calls.clear();
    openAt(3, 10);
    pickCell(0, 0);
    QVERIFY(filledCells(*m_sheet).isEmpty());
    QCOMPARE(m_score->calls, QStringList{"focus"});
    QVERIFY(!m_controller->picker()->isVisible());
}

void PickerWindowTest::closingDestroysAndNextDoubleClickBuildsAfresh() {
    openAt(3, 10);
    pickCell(2, 19);
    openAt(3, 10);
    QPointer<PickerWindow> first = m_controller->picker();

    // Esc in the pop-up (its palette has the focus) closes it, and closing destroys it.
    QTest::keyClick(first->palette(), Qt::Key_Escape);
    flushDeletes();
    QVERIFY(!first);
    QVERIFY(!m_controller->picker());

    QCursor::setPos(100, 50);
    openAt(3, 10);
    PickerWindow* second = m_controller->picker();
    QVERIFY(second);
    QVERIFY(second->isVisible());
    QCOMPARE(second->pos(), QPoint(-206, 80));
    QCOMPARE(second->palette()->currentCell(), (GridCell{-1, -1}));
    QCOMPARE(second->palette()->cellPicture(4, 36), std::optional<QByteArray>(GlyphSet::picture(4, 36)));

    // The close button does the same.
    QPointer<PickerWindow> guard = second;
    second->close();
    flushDeletes();
    QVERIFY(!guard);
    QVERIFY(!m_controller->picker());
}

void PickerWindowTest::destroyPicker_data() {
    QTest::addColumn<QString>("state");
    QTest::newRow("never opened") << "none";
    QTest::newRow("shown") << "shown";
    QTest::newRow("hidden") << "hidden";
    QTest::newRow("closed by the user") << "closed";
}

void PickerWindowTest::destroyPicker() {
    QFETCH(QString, state);
    if (state != "none")
        openAt(3, 10);
    if (state == "hidden")
        pickCell(2, 19);
    if (state == "closed") {
        m_controller->picker()->close();
        flushDeletes();
    }
    const QPointer<PickerWindow> before = m_controller->picker();
    m_controller->destroyPicker();
    flushDeletes();
    QVERIFY(!before);
    QVERIFY(!m_controller->picker());
    QVERIFY(QApplication::topLevelWidgets().count(m_sheet.get()) == 1);
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<PickerWindow*>(w));
}

QTEST_MAIN(PickerWindowTest)
#include "picker_window_test.moc"
