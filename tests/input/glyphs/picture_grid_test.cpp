#include "input/glyph_set.h"
#include "input/jianpu_sheet.h"
#include "input/picture_grid.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace tonmiro::input;

namespace {

QPoint centreOf(const PictureGrid& grid, int row, int column) {
    return grid.cellRect(row, column).center();
}

// A move with the left button held (QTest's own move does not carry the button state).
void dragTo(PictureGrid& grid, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, grid.viewport()->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(grid.viewport(), &move);
}

void press(PictureGrid& grid, QPoint pos) {
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, pos);
}
void release(PictureGrid& grid, QPoint pos) {
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, pos);
}

// What the window system delivers for a double-click: press, release, double-click, release
// (QTest's own double-click sends the double-click event alone).
void doubleClickAt(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(widget, button, {}, pos);
    QTest::mouseRelease(widget, button, {}, pos);
    QTest::mouseDClick(widget, button, {}, pos);
    QTest::mouseRelease(widget, button, {}, pos);
}

} // namespace

class PictureGridTest : public QObject {
    Q_OBJECT
private slots:
    void cellPictures();
    void currentCellWithSelectionOff();
    void currentCellWithSelectionOn();
    void doubleClick();
    void sheetScrollsVertically();
    void drawsCellsLinesAndPictures();
    void glyphPaletteBuild_data();
    void glyphPaletteBuild();
    void glyphPaletteFitsWithoutScrollBar();
};

void PictureGridTest::cellPictures() {
    PictureGrid grid(3, 4);
    const QByteArray picture = GlyphSet::picture(1, 19);

    // Only picture columns take pictures; a column outside the grid is ignored.
    grid.setCellPicture(1, 2, picture);
    QCOMPARE(grid.cellPicture(1, 2), std::optional<QByteArray>(QByteArray()));
    grid.setColumnPictureType(2);
    grid.setColumnPictureType(4);
    grid.setColumnPictureType(-1);
    QVERIFY(grid.isPictureColumn(2));
    QVERIFY(!grid.isPictureColumn(4));

    // The grid keeps its own copy.
    QByteArray mine = picture;
    grid.setCellPicture(1, 2, mine);
    mine[60] = 'x';
    mine.clear();
    QCOMPARE(grid.cellPicture(1, 2), std::optional<QByteArray>(picture));

    // Outside the grid: no picture value at all, and setting there changes nothing.
    QCOMPARE(grid.cellPicture(3, 0), std::nullopt);
    QCOMPARE(grid.cellPicture(0, 4), std::nullopt);
    QCOMPARE(grid.cellPicture(-1, -1), std::nullopt);
    grid.setCellPicture(-1, -1, picture);
    grid.setCellPicture(3, 2, picture);

    // The no-picture value changes nothing; empty bytes blank the cell.
    grid.setCellPicture(1, 2, std::nullopt);
    QCOMPARE(grid.cellPicture(1, 2), std::optional<QByteArray>(picture));
    grid.setCellPicture(1, 2, QByteArray());
    QCOMPARE(grid.cellPicture(1, 2), std::optional<QByteArray>(QByteArray()));

    // Reading outside one grid and setting the result into another changes nothing there.
    grid.setCellPicture(0, 2, picture);
    grid.setCellPicture(0, 2, grid.cellPicture(9, 9));
    QCOMPARE(grid.cellPicture(0, 2), std::optional<QByteArray>(picture));
}

void PictureGridTest::currentCellWithSelectionOff() {
    PictureGrid grid(5, 37);
    grid.resize(595, 254);
    grid.show();
    QSignalSpy released(&grid, &PictureGrid::leftButtonReleased);
    QCOMPARE(grid.currentCell(), (GridCell{-1, -1}));

    press(grid, centreOf(grid, 2, 19));
    QCOMPARE(grid.currentCell(), (GridCell{2, 19}));
    QCOMPARE(released.count(), 0);
    dragTo(grid, centreOf(grid, 3, 21));
    QCOMPARE(grid.currentCell(), (GridCell{3, 21}));
    release(grid, centreOf(grid, 3, 21));
    QCOMPARE(released.count(), 1);
    QCOMPARE(grid.currentRow(), 3);
    QCOMPARE(grid.currentColumn(), 21);

    // A right press does not move the current cell.
    QTest::mousePress(grid.viewport(), Qt::RightButton, {}, centreOf(grid, 0, 0));
    QTest::mouseRelease(grid.viewport(), Qt::RightButton, {}, centreOf(grid, 0, 0));
    QCOMPARE(grid.currentCell(), (GridCell{3, 21}));
    QCOMPARE(released.count(), 1);
}

void PictureGridTest::currentCellWithSelectionOn() {
    JianpuSheet sheet;
    sheet.resize(862, 456);
    sheet.show();
    QVERIFY(sheet.rangeSelection());
    QCOMPARE(sheet.currentCell(), (GridCell{-1, -1}));

    // A press on the blank strip right of the last column selects nothing.
    const QPoint blank(JianpuSheet::kColumns * PictureGrid::kCellWidth + 3, 20);
    QVERIFY(blank.x() < sheet.viewport()->width());
    press(sheet, blank);
    release(sheet, blank);
    QCOMPARE(sheet.currentCell(), (GridCell{-1, -1}));

    // Dragging from (2, 9) to (4, 5): the current cell is the rectangle's top-left corner.
    press(sheet, centreOf(sheet, 2, 9));
    QCOMPARE(sheet.currentCell(), (GridCell{2, 9}));
    dragTo(sheet, centreOf(sheet, 4, 5));
    release(sheet, centreOf(sheet, 4, 5));
    QCOMPARE(sheet.currentCell(), (GridCell{2, 5}));

    // The blank area leaves that selection as it was; a new press starts a new one.
    press(sheet, blank);
    release(sheet, blank);
    QCOMPARE(sheet.currentCell(), (GridCell{2, 5}));
    press(sheet, centreOf(sheet, 6, 30));
    release(sheet, centreOf(sheet, 6, 30));
    QCOMPARE(sheet.currentCell(), (GridCell{6, 30}));

    // A drag past the cells' edge stays on the last column.
    press(sheet, centreOf(sheet, 1, 50));
    dragTo(sheet, blank + QPoint(0, 60));
    release(sheet, blank + QPoint(0, 60));
    QCOMPARE(sheet.currentCell(), (GridCell{1, 50}));
}

void PictureGridTest::doubleClick() {
    JianpuSheet sheet;
    sheet.resize(862, 456);
    sheet.show();
    QSignalSpy spy(&sheet, &PictureGrid::doubleClicked);
    GridCell seen;
    connect(&sheet, &PictureGrid::doubleClicked, this, [&] { seen = sheet.currentCell(); });

    // By the time the signal comes, the first press has made its selection.
    doubleClickAt(sheet.viewport(), centreOf(sheet, 3, 10));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(seen, (GridCell{3, 10}));

    // On the blank area too, which leaves the selection.
    doubleClickAt(sheet.viewport(), QPoint(sheet.viewport()->width() - 2, 30));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(sheet.currentCell(), (GridCell{3, 10}));

    // Not on the scroll bar, nor for another button.
    QScrollBar* bar = sheet.verticalScrollBar();
    QVERIFY(bar->isVisible());
    doubleClickAt(bar, QPoint(bar->width() / 2, bar->height() / 2));
    doubleClickAt(sheet.viewport(), centreOf(sheet, 1, 1), Qt::RightButton);
    QCOMPARE(spy.count(), 2);
}

void PictureGridTest::sheetScrollsVertically() {
    JianpuSheet sheet;
    sheet.resize(862, 456);
    sheet.show();
    QScrollBar* bar = sheet.verticalScrollBar();
    // 20 rows of 50 pixels; the 52 columns fit the width with the scroll bar beside them.
    QCOMPARE(bar->maximum(), 1000 - sheet.viewport()->height());
    QVERIFY(sheet.viewport()->width() >= 52 * 16);
    QVERIFY(!sheet.horizontalScrollBar()->isVisible());

    bar->setValue(bar->maximum());
    press(sheet, QPoint(5, sheet.viewport()->height() - 5));
    release(sheet, QPoint(5, sheet.viewport()->height() - 5));
    QCOMPARE(sheet.currentCell(), (GridCell{19, 0}));
}

void PictureGridTest::drawsCellsLinesAndPictures() {
    PictureGrid grid(2, 3);
    grid.setColumnPictureType(1);
    grid.setCellPicture(1, 1, GlyphSet::picture(1, 38)); // bar line: columns 3-4, rows 3-39
    grid.resize(100, 150);
    grid.show();
    const QImage shot = grid.viewport()->grab().toImage();
    const QRgb silver = qRgb(192, 192, 192);
    const QRgb white = qRgb(255, 255, 255);
    const QRgb black = qRgb(0, 0, 0);
    const auto at = [&](int x, int y) { return shot.pixel(x, y) | 0xFF000000u; };

    QCOMPARE(at(15, 10), silver); // right line of cell (0, 0)
    QCOMPARE(at(5, 49), silver);  // bottom line of cell (0, 0)
    QCOMPARE(at(5, 10), white);   // inside
    // The 9 x 43 picture sits 3 pixels in from the cell's corner (16, 50).
    QCOMPARE(at(16 + 3 + 3, 50 + 3 + 3), black);
    QCOMPARE(at(16 + 3 + 4, 50 + 3 + 39), black);
    QCOMPARE(at(16 + 3 + 2, 50 + 3 + 3), white);
    QCOMPARE(at(16 + 3 + 3, 50 + 3 + 2), white);
    QCOMPARE(at(16 + 3 + 5, 50 + 3 + 20), white);
}

void PictureGridTest::glyphPaletteBuild_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QByteArray>("picture");
    QTest::newRow("0,0 blank") << 0 << 0 << QByteArray();
    QTest::newRow("0,15 dash") << 0 << 15 << GlyphSet::picture(1, 37);
    QTest::newRow("0,19 rest, three underlines") << 0 << 19 << GlyphSet::picture(4, 0);
    QTest::newRow("0,22 dot, two underlines") << 0 << 22 << GlyphSet::picture(3, 36);
    QTest::newRow("0,23 bar line") << 0 << 23 << GlyphSet::picture(1, 38);
    QTest::newRow("0,36 blank") << 0 << 36 << QByteArray();
    QTest::newRow("1,0") << 1 << 0 << GlyphSet::picture(1, 0);
    QTest::newRow("2,19") << 2 << 19 << GlyphSet::picture(2, 19);
    QTest::newRow("1,36 dot") << 1 << 36 << GlyphSet::picture(1, 36);
    QTest::newRow("4,36 bar line") << 4 << 36 << GlyphSet::picture(4, 36);
}

void PictureGridTest::glyphPaletteBuild() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QByteArray, picture);
    std::unique_ptr<PictureGrid> palette(createGlyphPalette(nullptr));
    QCOMPARE(palette->objectName(), QStringLiteral("高级表格2"));
    QCOMPARE(palette->rowCount(), 5);
    QCOMPARE(palette->columnCount(), 37);
    QVERIFY(!palette->rangeSelection());
    buildGlyphPalette(*palette);
    for (int c = 0; c < 37; ++c)
        QVERIFY(palette->isPictureColumn(c));
    QCOMPARE(palette->cellPicture(row, column), std::optional<QByteArray>(picture));
}

// Five 50-pixel rows fill the 254-pixel palette inside its 2-pixel edge exactly: no scroll bar, at
// once when shown, so the last column can be clicked before any event has been processed.
void PictureGridTest::glyphPaletteFitsWithoutScrollBar() {
    QWidget page;
    PictureGrid* palette = createGlyphPalette(&page);
    palette->setGeometry(4, 23, 595, 254);
    page.show();
    QVERIFY(!palette->verticalScrollBar()->isVisible());
    QCOMPARE(palette->viewport()->size(), QSize(591, 250));
    QCOMPARE(palette->cellAt(centreOf(*palette, 4, 36)), (GridCell{4, 36}));
}

QTEST_MAIN(PictureGridTest)
#include "picture_grid_test.moc"
