#pragma once

#include "input/palette_table.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QImage>

#include <optional>
#include <vector>

namespace tonmiro::input {

// A grid of picture cells, the control behind both glyph palettes and the jianpu sheet: rows x
// columns of 16 x 50 pixel cells with silver grid lines, white cells and a sunken edge, no
// headers, nothing editable in place. A picture column's cells each hold a BMP file image (kept
// as the bytes given) or nothing. Rows that do not fit scroll vertically.
//
// Current cell. With range selection off (the default) a left press on a cell makes it current
// and dragging with the button held moves it along; with range selection on a press selects the
// cell, a drag selects the rectangle from there, and the current cell is the rectangle's top-left
// corner. In both modes it is -1/-1 until the first press on a cell, and a press on the blank area
// beside the cells changes nothing.
//
// UI thread only.
class PictureGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kCellWidth = 16;
    static constexpr int kCellHeight = 50;

    PictureGrid(int rows, int columns, QWidget* parent = nullptr);

    int rowCount() const { return m_rows; }
    int columnCount() const { return m_columns; }

    void setRangeSelection(bool on);
    bool rangeSelection() const { return m_rangeSelection; }

    // Makes every cell of a column hold a picture. A column outside the grid is ignored.
    void setColumnPictureType(int column);
    bool isPictureColumn(int column) const;

    // Bytes replace the cell's picture (the grid keeps its own copy); empty bytes blank the cell;
    // nothing, a position outside the grid or a column that is not a picture column changes nothing.
    void setCellPicture(int row, int column, const std::optional<QByteArray>& bmp);
    // The cell's picture bytes, empty for a blank cell, nothing for a position outside the grid.
    std::optional<QByteArray> cellPicture(int row, int column) const;

    int currentRow() const { return currentCell().row; }
    int currentColumn() const { return currentCell().column; }
    GridCell currentCell() const;

    // Where a cell is drawn, in viewport coordinates (scrolling included).
    QRect cellRect(int row, int column) const;
    // The cell under a viewport position, -1/-1 on the blank area.
    GridCell cellAt(QPoint viewportPos) const;

signals:
    // The left button was released over the grid; the press has already set the current cell.
    void leftButtonReleased();
    // The left button was double-clicked on the cells or the blank area (not on a scroll bar).
    // Raised before the grid handles the click as a press.
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    struct Cell {
        QByteArray bmp;
        QImage image; // decoded once for painting; null when the bytes are not a readable BMP
    };

    bool inside(int row, int column) const;
    std::size_t cellIndex(int row, int column) const; // row-major; inside the grid only
    void pressAt(QPoint viewportPos);
    void dragTo(QPoint viewportPos);
    void updateScrollRange();
    bool isSelected(int row, int column) const;

    int m_rows;
    int m_columns;
    bool m_rangeSelection = false;
    std::vector<bool> m_pictureColumns;
    std::vector<Cell> m_cells; // row-major

    bool m_dragging = false;
    GridCell m_current;      // range selection off
    GridCell m_anchor;       // range selection on: where the press was
    GridCell m_selectionEnd; // ... and where the drag is now
};

// The glyph palette 高级表格2: a PictureGrid of PaletteTable::kRows x kColumns, range selection
// off, not yet filled.
PictureGrid* createGlyphPalette(QWidget* parent);

// Fills a glyph palette: columns 0..36 become picture columns, then row 0's special pictures
// (columns 15 to 23 in order), then rows 1 to 4, each column 0 to 36, all on white. A picture
// GlyphSet cannot give leaves its cell blank.
void buildGlyphPalette(PictureGrid& grid);

} // namespace tonmiro::input
