#pragma once

#include "input/palette_table.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace tonmiro::input {

class JianpuSheet;
class PictureGrid;

// The pop-up palette: a top-level window of its own (no owner, not modal, own task-bar button,
// kept on top, fixed size, minimise but no maximise button, empty caption) holding one glyph
// palette 高级表格2 at (0, 0), 595 x 254, filled on creation like the main palette. Esc closes it,
// and closing destroys it. UI thread only.
class PickerWindow : public QWidget {
    Q_OBJECT
public:
    // Opening puts the window's outer top-left corner here relative to the pointer (screen pixels),
    // about centring it under the pointer. Not kept on the screen: near an edge it lies partly off.
    static constexpr QPoint kOffsetFromPointer{-306, 30};

    PickerWindow();

    PictureGrid* palette() const { return m_palette; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    PictureGrid* m_palette;
};

// Opens, feeds and destroys the pop-up for the jianpu sheet. A double-click on the sheet opens it
// (created and filled when absent, shown, then moved under the pointer); a left-button release
// over its palette is a pick (see pickGlyph), whose score side goes to `score`. Whether the window
// exists is asked of the QPointer each time: the user may close (and so destroy) it at any moment.
// UI thread only.
class PickerController : public QObject {
    Q_OBJECT
public:
    PickerController(JianpuSheet& sheet, NoteTarget& score, QObject* parent = nullptr);
    ~PickerController() override;

    // The pop-up, or nullptr while it does not exist.
    PickerWindow* picker() const { return m_picker.data(); }

    void open();
    void pick();
    // Destroys the pop-up if it exists; never creates it.
    void destroyPicker();

private:
    JianpuSheet& m_sheet;
    NoteTarget& m_score;
    QPointer<PickerWindow> m_picker;
};

} // namespace tonmiro::input
