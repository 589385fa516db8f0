#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>

namespace tonmiro::input {

// The four built-in groups of 9 x 43 jianpu glyph pictures (group 1: no underline ... group 4:
// three underlines), addressed by (group, index). Stateless; safe from any thread.
class GlyphSet {
public:
    static constexpr int kWidth = 9;
    static constexpr int kHeight = 43;

    // 39, 38, 38, 37 for groups 1 to 4; 0 for any other group.
    static int pictureCount(int group);

    // A complete 24-bit BMP file of the picture: ink black, every other pixel the background.
    // Empty for a group or index out of range.
    static QByteArray picture(int group, int index, QRgb background = 0xFFFFFF);

    // The same picture as an image (Format_RGB32); a null image when out of range.
    static QImage image(int group, int index, QRgb background = 0xFFFFFF);
};

} // namespace tonmiro::input
