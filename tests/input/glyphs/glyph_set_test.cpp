#include "input/glyph_set.h"

#include <QTest>

#include <map>

using tonmiro::input::GlyphSet;

namespace {

// Reads one pixel of a 24-bit bottom-up BMP file independently of the code under test.
QRgb bmpPixel(const QByteArray& bmp, int row, int col) {
    const auto u8 = [&](int i) { return static_cast<unsigned char>(bmp.at(i)); };
    const int offset = u8(10) | (u8(11) << 8);
    const int p = offset + (GlyphSet::kHeight - 1 - row) * 28 + col * 3;
    return qRgb(u8(p + 2), u8(p + 1), u8(p));
}

// The picture as 43 strings: '#' black, '.' the background, '?' anything else.
QStringList rowsOf(const QByteArray& bmp, QRgb background) {
    QStringList rows;
    for (int r = 0; r < GlyphSet::kHeight; ++r) {
        QString line;
        for (int c = 0; c < GlyphSet::kWidth; ++c) {
            const QRgb px = bmpPixel(bmp, r, c);
            line += px == qRgb(0, 0, 0) ? '#' : px == (background | 0xFF000000u) ? '.' : '?';
        }
        rows << line;
    }
    return rows;
}

using Ink = std::map<int, QString>; // row -> pattern; every other row is blank

QStringList expand(const Ink& ink) {
    QStringList rows;
    for (int r = 0; r < GlyphSet::kHeight; ++r)
        rows << (ink.count(r) ? ink.at(r) : QString("........."));
    return rows;
}

Ink merge(std::initializer_list<Ink> parts) {
    Ink out;
    for (const Ink& part : parts)
        out.insert(part.begin(), part.end());
    return out;
}

Ink digit(const QStringList& rows11to21) {
    Ink ink;
    for (int i = 0; i < rows11to21.size(); ++i)
        ink[11 + i] = rows11to21[i];
    return ink;
}

Ink dotAt(int top) {
    return {{top, "...##...."}, {top + 1, "..####..."}, {top + 2, "..####..."}, {top + 3, "...##...."}};
}

Ink underlines(int count) {
    Ink ink;
    for (int i = 0; i < count; ++i)
        ink[24 + 3 * i] = "#########";
    return ink;
}

const QStringList kZero = {"...###...", "..##.##..", ".##...##.", ".##...##.", ".##...##.", ".##...##.",
                           ".##...##.", ".##...##.", ".##...##.", "..##.##..", "...###..."};
const QStringList kOne = {"...##....", ".####....", "...##....", "...##....", "...##....", "...##....",
                          "...##....", "...##....", "...##....", "...##....", ".######.."};
const QStringList kTwo = {"..#####..", ".##...##.", ".##...##.", ".##...##.", ".....##..", ".....##..",
                          "....##...", "...##....", "..##.....", ".##...##.", ".#######."};
const QStringList kThree = {"..#####..", ".##...##.", ".##...##.", ".....##..", "...###...", ".....##..",
                            "......##.", "......##.", ".##...##.", ".##..##..", "..####..."};
const QStringList kFour = {".....##..", "....###..", "...####..", "..##.##..", "..##.##..", ".##..##..",
                           ".##..##..", ".#######.", ".....##..", ".....##..", "...#####."};
const QStringList kFive = {".#######.", ".##......", ".##......", ".##......", ".#####...", ".###.##..",
                           "......##.", "......##.", ".##...##.", ".##..##..", "..####..."};
const QStringList kSix = {"...####..", "..##.##..", ".##......", ".##......", ".#####...", ".###.##..",
                          ".##...##.", ".##...##.", ".##...##.", "..##.##..", "...###..."};
const QStringList kSeven = {".#######.", ".##..##..", ".##..##..", "....##...", "....##...", "...##....",
                            "...##....", "...##....", "...##....", "...##....", "...##...."};

Ink barLine() {
    Ink ink;
    for (int r = 3; r <= 39; ++r)
        ink[r] = "...##....";
    return ink;
}

} // namespace

class GlyphSetTest : public QObject {
    Q_OBJECT
private slots:
    void pictureCounts();
    void header();
    void pixels_data();
    void pixels();
    void outOfRange_data();
    void outOfRange();
    void backgroundOnlyInTransparentPixels();
    void imageMatchesPicture();
};

void GlyphSetTest::pictureCounts() {
    QCOMPARE(GlyphSet::pictureCount(1), 39);
    QCOMPARE(GlyphSet::pictureCount(2), 38);
    QCOMPARE(GlyphSet::pictureCount(3), 38);
    QCOMPARE(GlyphSet::pictureCount(4), 37);
    QCOMPARE(GlyphSet::pictureCount(0), 0);
    QCOMPARE(GlyphSet::pictureCount(5), 0);
}

void GlyphSetTest::header() {
    const QByteArray bmp = GlyphSet::picture(2, 19);
    QCOMPARE(bmp.size(), 54 + 1204);
    // File header: "BM", file size 1258, reserved 0, pixels at 54.
    QCOMPARE(bmp.left(14), QByteArray::fromHex("424D"
                                               "EA040000"
                                               "00000000"
                                               "36000000"));
    // Info header: size 40, 9 x 43 (bottom-up), 1 plane, 24 bpp, BI_RGB, 1204 bytes of pixels.
    QCOMPARE(bmp.mid(14, 24), QByteArray::fromHex("28000000"
                                                  "09000000"
                                                  "2B000000"
                                                  "0100"
                                                  "1800"
                                                  "00000000"
                                                  "B4040000"));
    // The padding byte at the end of each 28-byte row is zero.
    for (int row = 0; row < 43; ++row)
        QCOMPARE(bmp.at(54 + row * 28 + 27), '\0');
}

void GlyphSetTest::pixels_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("1/0 rest") << 1 << 0 << expand(digit(kZero));
    QTest::newRow("3/0 rest, two underlines") << 3 << 0 << expand(merge({digit(kZero), underlines(2)}));
    QTest::newRow("4/1 super-low 1, three underlines")
        << 4 << 1 << expand(merge({digit(kOne), underlines(3), dotAt(33), dotAt(38)}));
    QTest::newRow("2/1 super-low 1, one underline")
        << 2 << 1 << expand(merge({digit(kOne), underlines(1), dotAt(27), dotAt(32)}));
    QTest::newRow("1/8 low 1") << 1 << 8 << expand(merge({digit(kOne), dotAt(23)}));
    QTest::newRow("2/10 low 3, one underline")
        << 2 << 10 << expand(merge({digit(kThree), underlines(1), dotAt(27)}));
    QTest::newRow("3/13 low 6, two underlines")
        << 3 << 13 << expand(merge({digit(kSix), underlines(2), dotAt(30)}));
    QTest::newRow("1/16 middle 2") << 1 << 16 << expand(digit(kTwo));
    QTest::newRow("1/21 middle 7") << 1 << 21 << expand(digit(kSeven));
    QTest::newRow("4/21 middle 7, three underlines")
        << 4 << 21 << expand(merge({digit(kSeven), underlines(3)}));
    QTest::newRow("1/25 high 4") << 1 << 25 << expand(merge({digit(kFour), dotAt(6)}));
    QTest::newRow("2/22 high 1, one underline")
        << 2 << 22 << expand(merge({digit(kOne), dotAt(6), underlines(1)}));
    QTest::newRow("1/33 super-high 5") << 1 << 33 << expand(merge({digit(kFive), dotAt(1), dotAt(6)}));
    QTest::newRow("4/35 super-high 7, three underlines")
        << 4 << 35 << expand(merge({digit(kSeven), dotAt(1), dotAt(6), underlines(3)}));
    QTest::newRow("1/36 centre dot") << 1 << 36 << expand(dotAt(14));
    QTest::newRow("3/36 centre dot, two underlines") << 3 << 36 << expand(merge({dotAt(14), underlines(2)}));
    QTest::newRow("1/37 dash") << 1 << 37 << expand({{16, ".#######."}, {17, ".#######."}});
    QTest::newRow("1/38 bar line") << 1 << 38 << expand(barLine());
    QTest::newRow("2/37 bar line, no underline") << 2 << 37 << expand(barLine());
    QTest::newRow("3/37 bar line, no underline") << 3 << 37 << expand(barLine());
    QTest::newRow("4/36 bar line, not a centre dot") << 4 << 36 << expand(barLine());
}

void GlyphSetTest::pixels() {
    QFETCH(int, group);
    QFETCH(int, index);
    QFETCH(QStringList, expected);
    const QByteArray bmp = GlyphSet::picture(group, index);
    QCOMPARE(bmp.size(), 1258);
    QCOMPARE(rowsOf(bmp, 0xFFFFFF), expected);
}

void GlyphSetTest::outOfRange_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("index");
    QTest::newRow("4/37") << 4 << 37;
    QTest::newRow("2/38") << 2 << 38;
    QTest::newRow("3/38") << 3 << 38;
    QTest::newRow("1/39") << 1 << 39;
    QTest::newRow("1/-1") << 1 << -1;
    QTest::newRow("group 0") << 0 << 0;
    QTest::newRow("group 5") << 5 << 0;
}

void GlyphSetTest::outOfRange() {
    QFETCH(int, group);
    QFETCH(int, index);
    QVERIFY(GlyphSet::picture(group, index).isEmpty());
    QVERIFY(GlyphSet::image(group, index).isNull());
}

void GlyphSetTest::backgroundOnlyInTransparentPixels() {
    const QRgb background = 0x123456;
    for (int group = 1; group <= 4; ++group) {
        for (int index = 0; index < GlyphSet::pictureCount(group); ++index) {
            const QStringList onWhite = rowsOf(GlyphSet::picture(group, index), 0xFFFFFF);
            const QStringList onColour = rowsOf(GlyphSet::picture(group, index, background), background);
            QCOMPARE(onColour, onWhite);
            QVERIFY(!onWhite.join("").contains('?'));
        }
    }
}

void GlyphSetTest::imageMatchesPicture() {
    for (int group = 1; group <= 4; ++group) {
        for (int index = 0; index < GlyphSet::pictureCount(group); ++index) {
            const QByteArray bmp = GlyphSet::picture(group, index, 0xFFEEDD);
            const QImage image = GlyphSet::image(group, index, 0xFFEEDD);
            QCOMPARE(image.size(), QSize(9, 43));
            // A standard reader takes the file as written.
            QCOMPARE(QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32), image);
            for (int r = 0; r < 43; ++r)
                for (int c = 0; c < 9; ++c)
                    QCOMPARE(image.pixel(c, r), bmpPixel(bmp, r, c));
        }
    }
}

QTEST_GUILESS_MAIN(GlyphSetTest)
#include "glyph_set_test.moc"
