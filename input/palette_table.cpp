#include "input/palette_table.h"

#include "notation/alphabet.h"

#include <array>

namespace tonmiro::input {

namespace {

constexpr int kSpecialFirst = 15; // row 0, columns 15..23
constexpr int kSpecialLast = 23;
constexpr int kDotColumn = 36;

bool inside(int row, int column) {
    return row >= 0 && row < PaletteTable::kRows && column >= 0 && column < PaletteTable::kColumns;
}

// Dashes after the glyph in rows 1..4, so every entry of a row spans 8, 4, 2 or 1 TimeUnits.
constexpr std::array<int, PaletteTable::kRows> kDashesPerRow = {0, 7, 3, 1, 0};

QByteArray dashes(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += notation::kDash;
    return out;
}

// The two GBK bytes of the glyph of column 0..35: the rest, then the five registers from
// super-low to super-high, degrees 1..7 each. Within a register the trail byte rises by one.
QByteArray columnGlyph(int column) {
    if (column == 0)
        return notation::kRest;
    constexpr std::array<unsigned char, 5> kFirstTrail = {0xBB, 0xB1, 0xD9, 0xC5, 0xCF};
    const int reg = (column - 1) / 7;
    const int degree = (column - 1) % 7;
    QByteArray glyph(2, '\0');
    glyph[0] = static_cast<char>(0xA2);
    glyph[1] = static_cast<char>(kFirstTrail[reg] + degree);
    return glyph;
}

// The sample a column's pitch sounds: S01..S07 for the low register (columns 8..14), on through
// the middle and high registers to S26 for the super-high 5 (column 33); none elsewhere.
int columnSample(int column) {
    return column >= 8 && column <= 33 ? column - 7 : 0;
}

std::optional<PaletteEntry> specialEntry(int column) {
    const QByteArray rest = notation::kRest;
    const QByteArray dot = notation::kDot;
    switch (column) {
    case 15:
        return PaletteEntry{dashes(8), 0};
    case 16:
        return PaletteEntry{rest + dashes(7), 0};
    case 17:
        return PaletteEntry{rest + dashes(3), 0};
    case 18:
        return PaletteEntry{rest + dashes(1), 0};
    case 19:
        return PaletteEntry{rest, 0};
    case 20:
        return PaletteEntry{dot + dashes(3), 0};
    case 21:
        return PaletteEntry{dot + dashes(1), 0};
    case 22:
        return PaletteEntry{dot, 0};
    case 23:
        return PaletteEntry{notation::kBarLine, 0};
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<PaletteEntry> PaletteTable::entry(int row, int column) {
    if (!inside(row, column))
        return std::nullopt;
    if (row == 0)
        return specialEntry(column);
    if (column == kDotColumn) {
        // Rows 1..3 hold the centre dot; row 4 shows a bar line, which inserts one just as the
        // bar line of row 0 does.
        switch (row) {
        case 1:
            return PaletteEntry{QByteArray(notation::kDot) + dashes(3), 0};
        case 2:
            return PaletteEntry{QByteArray(notation::kDot) + dashes(1), 0};
        case 3:
            return PaletteEntry{notation::kDot, 0};
        default:
            return PaletteEntry{notation::kBarLine, 0};
        }
    }
    return PaletteEntry{columnGlyph(column) + dashes(kDashesPerRow[row]), columnSample(column)};
}

std::optional<GlyphRef> PaletteTable::picture(int row, int column) {
    if (!inside(row, column))
        return std::nullopt;
    if (row > 0)
        return GlyphRef{row, column};
    if (column < kSpecialFirst || column > kSpecialLast)
        return std::nullopt;
    constexpr std::array<GlyphRef, kSpecialLast - kSpecialFirst + 1> kSpecials = {{
        {1, 37}, // dash
        {1, 0},  // rests with 0..3 underlines
        {2, 0},
        {3, 0},
        {4, 0},
        {1, 36}, // centre dots with 0..2 underlines
        {2, 36},
        {3, 36},
        {1, 38}, // bar line
    }};
    return kSpecials[column - kSpecialFirst];
}

void clickPalette(GridCell cell, NoteTarget& target) {
    if (const std::optional<PaletteEntry> e = PaletteTable::entry(cell.row, cell.column)) {
        if (e->sample != 0)
            target.playSample(e->sample);
        target.replaceSelection(e->text);
    }
    target.focusScore();
}

void pickGlyph(PickTarget& target) {
    const GridCell picked = target.paletteCurrentCell();
    const GridCell destination = target.sheetCurrentCell();
    target.setSheetPicture(destination, target.palettePicture(picked));
    target.hidePicker();
    clickPalette(picked, target);
}

} // namespace tonmiro::input
