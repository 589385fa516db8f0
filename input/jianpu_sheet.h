#pragma once

#include "input/picture_grid.h"

namespace tonmiro::input {

// The jianpu sheet 高级表格1: 20 rows x 52 columns of picture cells with range selection on, on
// which the user lays out a melody one glyph picture per cell (picked from the pop-up palette).
// Nothing reads it back: it is not drawn from the score and not saved. UI thread only.
class JianpuSheet : public PictureGrid {
    Q_OBJECT
public:
    static constexpr int kRows = 20;
    static constexpr int kColumns = 52;

    explicit JianpuSheet(QWidget* parent = nullptr);

    // Makes columns 0 to 51 picture columns, in that order (a start-up step).
    void setPictureColumns();
};

} // namespace tonmiro::input
