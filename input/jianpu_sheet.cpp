#include "input/jianpu_sheet.h"

namespace tonmiro::input {

JianpuSheet::JianpuSheet(QWidget* parent) : PictureGrid(kRows, kColumns, parent) {
    setObjectName(QStringLiteral("高级表格1"));
    setRangeSelection(true);
}

void JianpuSheet::setPictureColumns() {
    for (int n = 1; n <= kColumns; ++n)
        setColumnPictureType(n - 1);
}

} // namespace tonmiro::input
