#include "input/glyph_set.h"

#include <array>
#include <cstdint>
#include <optional>

namespace tonmiro::input {

namespace {

using InkMask = std::array<std::array<bool, GlyphSet::kWidth>, GlyphSet::kHeight>;

constexpr int kDigitTop = 11;
constexpr int kDigitRows = 11;

// The digits 0 to 7 as they stand in rows 11 to 21 of a picture, "#" = ink.
constexpr std::array<std::array<const char*, kDigitRows>, 8> kDigits = {{
    {"...###...", "..##.##..", ".##...##.", ".##...##.", ".##...##.", ".##...##.", ".##...##.", ".##...##.",
     ".##...##.", "..##.##..", "...###..."},
    {"...##....", ".####....", "...##....", "...##....", "...##....", "...##....", "...##....", "...##....",
     "...##....", "...##....", ".######.."},
    {"..#####..", ".##...##.", ".##...##.", ".##...##.", ".....##..", ".....##..", "....##...", "...##....",
     "..##.....", ".##...##.", ".#######."},
    {"..#####..", ".##...##.", ".##...##.", ".....##..", "...###...", ".....##..", "......##.", "......##.",
     ".##...##.", ".##..##..", "..####..."},
    {".....##..", "....###..", "...####..", "..##.##..", "..##.##..", ".##..##..", ".##..##..", ".#######.",
     ".....##..", ".....##..", "...#####."},
    {".#######.", ".##......", ".##......", ".##......", ".#####...", ".###.##..", "......##.", "......##.",
     ".##...##.", ".##..##..", "..####..."},
    {"...####..", "..##.##..", ".##......", ".##......", ".#####...", ".###.##..", ".##...##.", ".##...##.",
     ".##...##.", "..##.##..", "...###..."},
    {".#######.", ".##..##..", ".##..##..", "....##...", "....##...", "...##....", "...##....", "...##....",
     "...##....", "...##....", "...##...."},
}};

// Rows of the underlines, first to third.
constexpr std::array<int, 3> kUnderlineRows = {24, 27, 30};

void setInk(InkMask& mask, int row, int firstColumn, int lastColumn) {
    for (int c = firstColumn; c <= lastColumn; ++c)
        mask[row][c] = true;
}

void drawDigit(InkMask& mask, int digit) {
    for (int r = 0; r < kDigitRows; ++r) {
        for (int c = 0; c < GlyphSet::kWidth; ++c)
            mask[kDigitTop + r][c] = kDigits[digit][r][c] == '#';
    }
}

// A dot is a 4 x 4 rounded blob whose top row is `top`.
void drawDot(InkMask& mask, int top) {
    setInk(mask, top, 3, 4);
    setInk(mask, top + 1, 2, 5);
    setInk(mask, top + 2, 2, 5);
    setInk(mask, top + 3, 3, 4);
}

void drawUnderlines(InkMask& mask, int count) {
    for (int i = 0; i < count; ++i)
        setInk(mask, kUnderlineRows[i], 0, GlyphSet::kWidth - 1);
}

void drawBarLine(InkMask& mask) {
    for (int r = 3; r <= 39; ++r)
        setInk(mask, r, 3, 4);
}

// Rest (index 0) or a pitch (1..35): the digit, the group's underlines and the octave dots.
void drawNote(InkMask& mask, int index, int underlines) {
    drawUnderlines(mask, underlines);
    if (index == 0) {
        drawDigit(mask, 0);
        return;
    }
    drawDigit(mask, (index - 1) % 7 + 1);
    const int reg = (index - 1) / 7; // 0 super-low .. 4 super-high
    const int below = underlines == 0 ? 23 : kUnderlineRows[underlines - 1] + 3;
    switch (reg) {
    case 0:
        drawDot(mask, below);
        drawDot(mask, below + 5);
        break;
    case 1:
        drawDot(mask, below);
        break;
    case 3:
        drawDot(mask, 6);
        break;
    case 4:
        drawDot(mask, 1);
        drawDot(mask, 6);
        break;
    default:
        break;
    }
}

std::optional<InkMask> inkOf(int group, int index) {
    if (index < 0 || index >= GlyphSet::pictureCount(group))
        return std::nullopt;
    InkMask mask{};
    const int underlines = group - 1;
    if (index <= 35) {
        drawNote(mask, index, underlines);
    } else if (index == 36 && group != 4) {
        drawUnderlines(mask, underlines);
        drawDot(mask, 14); // the augmentation dot stands where a digit's middle would be
    } else if (index == 37 && group == 1) {
        setInk(mask, 16, 1, 7);
        setInk(mask, 17, 1, 7);
    } else {
        drawBarLine(mask); // the last picture of every group
    }
    return mask;
}

void putLe16(QByteArray& out, int offset, std::uint16_t v) {
    out[offset] = static_cast<char>(v & 0xFF);
    out[offset + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void putLe32(QByteArray& out, int offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

int GlyphSet::pictureCount(int group) {
    switch (group) {
    case 1:
        return 39;
    case 2:
    case 3:
        return 38;
    case 4:
        return 37;
    default:
        return 0;
    }
}

QByteArray GlyphSet::picture(int group, int index, QRgb background) {
    const std::optional<InkMask> ink = inkOf(group, index);
    if (!ink)
        return {};

    constexpr int kFileHeader = 14;
    constexpr int kInfoHeader = 40;
    constexpr int kPixelOffset = kFileHeader + kInfoHeader;
    constexpr int kRowBytes = (kWidth * 3 + 3) / 4 * 4; // 28: rows padded to 4 bytes
    constexpr int kPixelBytes = kRowBytes * kHeight;    // 1,204
    constexpr int kFileSize = kPixelOffset + kPixelBytes;

    QByteArray out(kFileSize, '\0');
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out, 2, kFileSize);
    putLe32(out, 10, kPixelOffset);
    putLe32(out, 14, kInfoHeader);
    putLe32(out, 18, kWidth);
    putLe32(out, 22, kHeight); // positive: rows stored bottom-up
    putLe16(out, 26, 1);       // planes
    putLe16(out, 28, 24);      // bits per pixel
    putLe32(out, 30, 0);       // BI_RGB, no compression
    putLe32(out, 34, kPixelBytes);

    const char blue = static_cast<char>(qBlue(background));
    const char green = static_cast<char>(qGreen(background));
    const char red = static_cast<char>(qRed(background));
    for (int row = 0; row < kHeight; ++row) {
        const int base = kPixelOffset + (kHeight - 1 - row) * kRowBytes;
        for (int col = 0; col < kWidth; ++col) {
            const int p = base + col * 3;
            if ((*ink)[row][col])
                continue; // ink stays black (zero bytes)
            out[p] = blue;
            out[p + 1] = green;
            out[p + 2] = red;
        }
    }
    return out;
}

QImage GlyphSet::image(int group, int index, QRgb background) {
    const std::optional<InkMask> ink = inkOf(group, index);
    if (!ink)
        return {};
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    const QRgb paper = qRgb(qRed(background), qGreen(background), qBlue(background));
    for (int row = 0; row < kHeight; ++row) {
        for (int col = 0; col < kWidth; ++col)
            img.setPixel(col, row, (*ink)[row][col] ? qRgb(0, 0, 0) : paper);
    }
    return img;
}

} // namespace tonmiro::input
