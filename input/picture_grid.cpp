#include "input/picture_grid.h"

#include "input/glyph_set.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>

namespace tonmiro::input {

namespace {

const QColor kGridLine(192, 192, 192);
const QColor kCellBackground(255, 255, 255);
const QColor kSelection(0, 120, 215, 80);

} // namespace

PictureGrid::PictureGrid(int rows, int columns, QWidget* parent)
    : QAbstractScrollArea(parent), m_rows(std::max(rows, 0)), m_columns(std::max(columns, 0)),
      m_pictureColumns(static_cast<std::size_t>(m_columns), false),
      m_cells(static_cast<std::size_t>(m_rows) * static_cast<std::size_t>(m_columns)) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(kCellHeight);
    viewport()->setAutoFillBackground(false);
    setFocusPolicy(Qt::ClickFocus);
    updateScrollRange();
}

void PictureGrid::setRangeSelection(bool on) {
    if (on == m_rangeSelection)
        return;
    m_rangeSelection = on;
    m_current = m_anchor = m_selectionEnd = GridCell{};
    m_dragging = false;
    viewport()->update();
}

void PictureGrid::setColumnPictureType(int column) {
    if (column < 0 || column >= m_columns)
        return;
    m_pictureColumns[static_cast<std::size_t>(column)] = true;
}

bool PictureGrid::isPictureColumn(int column) const {
    return column >= 0 && column < m_columns && m_pictureColumns[static_cast<std::size_t>(column)];
}

std::size_t PictureGrid::cellIndex(int row, int column) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(m_columns) +
           static_cast<std::size_t>(column);
}

bool PictureGrid::inside(int row, int column) const {
    return row >= 0 && row < m_rows && column >= 0 && column < m_columns;
}

void PictureGrid::setCellPicture(int row, int column, const std::optional<QByteArray>& bmp) {
    if (!bmp || !inside(row, column) || !isPictureColumn(column))
        return;
    Cell& cell = m_cells[cellIndex(row, column)];
    // A deep copy, so nothing the caller does later with its array can reach the cell.
    cell.bmp = QByteArray(bmp->constData(), bmp->size());
    cell.image = cell.bmp.isEmpty() ? QImage() : QImage::fromData(cell.bmp, "BMP");
    viewport()->update(cellRect(row, column));
}

std::optional<QByteArray> PictureGrid::cellPicture(int row, int column) const {
    if (!inside(row, column))
        return std::nullopt;
    const QByteArray& bmp = m_cells[cellIndex(row, column)].bmp;
    return QByteArray(bmp.constData(), bmp.size());
}

GridCell PictureGrid::currentCell() const {
    if (!m_rangeSelection)
        return m_current;
    if (m_anchor.row < 0)
        return {};
    return {std::min(m_anchor.row, m_selectionEnd.row), std::min(m_anchor.column, m_selectionEnd.column)};
}

bool PictureGrid::isSelected(int row, int column) const {
    if (!m_rangeSelection)
        return row == m_current.row && column == m_current.column;
    if (m_anchor.row < 0)
        return false;
    const auto [top, bottom] = std::minmax(m_anchor.row, m_selectionEnd.row);
    const auto [left, right] = std::minmax(m_anchor.column, m_selectionEnd.column);
    return row >= top && row <= bottom && column >= left && column <= right;
}

QRect PictureGrid::cellRect(int row, int column) const {
    return {column * kCellWidth - horizontalScrollBar()->value(),
            row * kCellHeight - verticalScrollBar()->value(), kCellWidth, kCellHeight};
}

GridCell PictureGrid::cellAt(QPoint viewportPos) const {
    const int x = viewportPos.x() + horizontalScrollBar()->value();
    const int y = viewportPos.y() + verticalScrollBar()->value();
    if (x < 0 || y < 0)
        return {};
    const int column = x / kCellWidth;
    const int row = y / kCellHeight;
    if (!inside(row, column))
        return {};
    return {row, column};
}

void PictureGrid::updateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    // The viewport's height is the frame's inside (there is never a horizontal bar), known before
    // the scroll area lays out its children, so the bar is shown or hidden right in that layout.
    const int height = std::max(0, this->height() - 2 * frameWidth());
    bar->setPageStep(height);
    bar->setRange(0, std::max(0, m_rows * kCellHeight - height));
}

bool PictureGrid::event(QEvent* event) {
    if (event->type() == QEvent::Resize)
        updateScrollRange();
    return QAbstractScrollArea::event(event);
}

void PictureGrid::scrollContentsBy(int /*dx*/, int /*dy*/) {
    viewport()->update();
}

void PictureGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().color(QPalette::Window));

    const int firstRow = std::max(0, cellAt(event->rect().topLeft()).row);
    for (int row = firstRow; row < m_rows; ++row) {
        const int top = cellRect(row, 0).top();
        if (top > event->rect().bottom())
            break;
        for (int column = 0; column < m_columns; ++column) {
            const QRect r = cellRect(row, column);
            if (!r.intersects(event->rect()))
                continue;
            // Each cell owns its right and bottom line; the 15 x 49 inside is white.
            const QRect inner(r.left(), r.top(), kCellWidth - 1, kCellHeight - 1);
            painter.fillRect(inner, kCellBackground);
            painter.fillRect(QRect(r.right(), r.top(), 1, kCellHeight), kGridLine);
            painter.fillRect(QRect(r.left(), r.bottom(), kCellWidth, 1), kGridLine);
            const QImage& image = m_cells[cellIndex(row, column)].image;
            if (!image.isNull()) {
                // Centred in the cell: a 9 x 43 glyph gets 3 pixels of white on each side.
                const QPoint at(inner.left() + (inner.width() - image.width()) / 2,
                                inner.top() + (inner.height() - image.height()) / 2);
                painter.drawImage(at, image);
            }
            if (isSelected(row, column))
                painter.fillRect(inner, kSelection);
        }
    }
}

void PictureGrid::pressAt(QPoint viewportPos) {
    const GridCell cell = cellAt(viewportPos);
    if (cell.row < 0) {
        m_dragging = false; // the blank area beside the cells keeps the selection
        return;
    }
    m_dragging = true;
    if (m_rangeSelection)
        m_anchor = m_selectionEnd = cell;
    else
        m_current = cell;
    viewport()->update();
}

void PictureGrid::dragTo(QPoint viewportPos) {
    // Past the edge of the cells the drag keeps to the nearest row and column.
    const int x = viewportPos.x() + horizontalScrollBar()->value();
    const int y = viewportPos.y() + verticalScrollBar()->value();
    const GridCell cell{std::clamp(y / kCellHeight, 0, m_rows - 1),
                        std::clamp(x / kCellWidth, 0, m_columns - 1)};
    GridCell& moving = m_rangeSelection ? m_selectionEnd : m_current;
    if (cell == moving)
        return;
    moving = cell;
    viewport()->update();
}

void PictureGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return; // only the left button selects; the others are taken and do nothing
    pressAt(event->position().toPoint());
}

void PictureGrid::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        dragTo(event->position().toPoint());
}

void PictureGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return; // only the left button selects; the others are taken and do nothing
    m_dragging = false;
    if (viewport()->rect().contains(event->position().toPoint()))
        emit leftButtonReleased();
}

void PictureGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return; // only the left button selects; the others are taken and do nothing
    const QPoint pos = event->position().toPoint();
    const QPointer<PictureGrid> self(this);
    emit doubleClicked();
    if (self)
        pressAt(pos); // the second press of a double-click acts as a press
}

PictureGrid* createGlyphPalette(QWidget* parent) {
    auto* grid = new PictureGrid(PaletteTable::kRows, PaletteTable::kColumns, parent);
    grid->setObjectName(QStringLiteral("高级表格2"));
    grid->setRangeSelection(false);
    return grid;
}

void buildGlyphPalette(PictureGrid& grid) {
    for (int column = 0; column < PaletteTable::kColumns; ++column)
        grid.setColumnPictureType(column);
    // Row 0 first, then rows 1..4: the order in which the pictures are taken and set.
    for (int row = 0; row < PaletteTable::kRows; ++row) {
        for (int column = 0; column < PaletteTable::kColumns; ++column) {
            if (const std::optional<GlyphRef> glyph = PaletteTable::picture(row, column))
                grid.setCellPicture(row, column, GlyphSet::picture(glyph->group, glyph->index));
        }
    }
}

} // namespace tonmiro::input
