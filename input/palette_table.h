#pragma once

#include <QByteArray>

#include <optional>

namespace tonmiro::input {

// A cell of a grid; -1/-1 stands for "no cell".
struct GridCell {
    int row = -1;
    int column = -1;
    friend bool operator==(const GridCell&, const GridCell&) = default;
};

// What a click on one palette cell writes into the score and sounds.
struct PaletteEntry {
    QByteArray text; // GBK bytes: NoteTokens, or CR LF for a bar line
    int sample = 0;  // 1..26 for S01..S26, 0 for none
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// A picture of GlyphSet.
struct GlyphRef {
    int group = 0;
    int index = 0;
    friend bool operator==(const GlyphRef&, const GlyphRef&) = default;
};

// The layout of the glyph palettes (the main palette and the pop-up's, 5 rows x 37 columns):
// which picture each cell shows and what a click on it does. Row 0 holds nine special pictures
// (dash, rests, centre dots, bar line) in columns 15 to 23; row r = 1..4 shows group r with one
// written duration per row (8, 4, 2, 1 TimeUnits), column n showing picture n. Pure data, safe
// from any thread.
class PaletteTable {
public:
    static constexpr int kRows = 5;
    static constexpr int kColumns = 37;

    // The entry of a cell, or nothing for a blank cell and any position outside the palette.
    static std::optional<PaletteEntry> entry(int row, int column);

    // The picture a cell shows, or nothing for a blank cell and any position outside.
    static std::optional<GlyphRef> picture(int row, int column);
};

// What a palette click and a pick act on. The program implements it over the main window; tests
// record the calls.
class NoteTarget {
public:
    virtual ~NoteTarget() = default;
    virtual void playSample(int sample) = 0;
    virtual void replaceSelection(const QByteArray& text) = 0;
    virtual void focusScore() = 0;
};

// A click on a glyph palette whose current cell is `cell`: when the cell has an entry, its
// sample (if any) starts first, then its text replaces the score's selection; in every case the
// keyboard focus goes back to the score.
void clickPalette(GridCell cell, NoteTarget& target);

// What a pick in the pop-up palette acts on besides the score.
class PickTarget : public NoteTarget {
public:
    virtual GridCell paletteCurrentCell() = 0;
    virtual GridCell sheetCurrentCell() = 0;
    // The picture of a palette cell: empty bytes for a blank cell, nothing outside the palette.
    virtual std::optional<QByteArray> palettePicture(GridCell cell) = 0;
    // Sets a sheet cell: bytes replace the picture, empty bytes blank the cell, nothing or a
    // cell outside the sheet changes nothing.
    virtual void setSheetPicture(GridCell cell, const std::optional<QByteArray>& picture) = 0;
    virtual void hidePicker() = 0;
};

// A pick (the left button was released over the pop-up palette): read the picked cell, then the
// sheet's current cell, copy the picture across, hide the pop-up, then do the palette click.
// Every step runs on every release; a missing cell only makes its own step a no-op.
void pickGlyph(PickTarget& target);

} // namespace tonmiro::input
