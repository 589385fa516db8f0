#include "input/picker_window.h"

#include "input/jianpu_sheet.h"
#include "input/picture_grid.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace tonmiro::input {

namespace {

constexpr QSize kPaletteSize(595, 254);
constexpr QSize kOuterSize(601, 279); // the palette plus a classic fixed frame and title bar

// The pick's view of the sheet and the pop-up; the score side is passed through.
class SheetPick final : public PickTarget {
public:
    SheetPick(JianpuSheet& sheet, PickerWindow& picker, NoteTarget& score)
        : m_sheet(sheet), m_picker(picker), m_score(score) {}

    GridCell paletteCurrentCell() override { return m_picker.palette()->currentCell(); }
    GridCell sheetCurrentCell() override { return m_sheet.currentCell(); }
    std::optional<QByteArray> palettePicture(GridCell cell) override {
        return m_picker.palette()->cellPicture(cell.row, cell.column);
    }
    void setSheetPicture(GridCell cell, const std::optional<QByteArray>& picture) override {
        m_sheet.setCellPicture(cell.row, cell.column, picture);
    }
    void hidePicker() override { m_picker.hide(); }
    void playSample(int sample) override { m_score.playSample(sample); }
    void replaceSelection(const QByteArray& text) override { m_score.replaceSelection(text); }
    void focusScore() override { m_score.focusScore(); }

private:
    JianpuSheet& m_sheet;
    PickerWindow& m_picker;
    NoteTarget& m_score;
};

} // namespace

PickerWindow::PickerWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      m_palette(createGlyphPalette(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false); // the pop-up never ends the program
    setWindowTitle(QString());
    setFixedSize(kPaletteSize);
    m_palette->setGeometry(QRect(QPoint(0, 0), kPaletteSize));
    buildGlyphPalette(*m_palette);
    // Created centred on the screen; opening moves it under the pointer right after showing it.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.left() + (area.width() - kOuterSize.width()) / 2,
             area.top() + (area.height() - kOuterSize.height()) / 2);
    }
}

void PickerWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

PickerController::PickerController(JianpuSheet& sheet, NoteTarget& score, QObject* parent)
    : QObject(parent), m_sheet(sheet), m_score(score) {
    connect(&m_sheet, &PictureGrid::doubleClicked, this, &PickerController::open);
}

PickerController::~PickerController() {
    destroyPicker();
}

void PickerController::open() {
    if (!m_picker) {
        m_picker = new PickerWindow;
        connect(m_picker->palette(), &PictureGrid::leftButtonReleased, this, &PickerController::pick);
    }
    m_picker->show();
    // Each coordinate is read from the pointer just before it is used.
    const int left = QCursor::pos().x() + PickerWindow::kOffsetFromPointer.x();
    const int top = QCursor::pos().y() + PickerWindow::kOffsetFromPointer.y();
    m_picker->move(left, top);
}

void PickerController::pick() {
    if (!m_picker)
        return;
    SheetPick target(m_sheet, *m_picker, m_score);
    pickGlyph(target);
}

void PickerController::destroyPicker() {
    delete m_picker.data();
}

} // namespace tonmiro::input
