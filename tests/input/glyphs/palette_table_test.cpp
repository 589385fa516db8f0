#include "input/glyph_set.h"
#include "input/palette_table.h"
#include "notation/alphabet.h"

#include <QStringEncoder>
#include <QTest>

#include <map>

using namespace tonmiro::input;

namespace {

// Expected texts are written as the characters a user sees and encoded with Qt's own GBK
// converter, so the table's hand-written bytes are checked against an independent mapping.
QByteArray gbk(const char* utf8) {
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder(QString::fromUtf8(utf8));
    Q_ASSERT(!encoder.hasError());
    return bytes;
}

// Records every call of a click or a pick, in order.
class Recorder : public PickTarget {
public:
    QStringList calls;
    GridCell palette;
    GridCell sheet;
    std::map<std::pair<int, int>, QByteArray> palettePictures; // blank elsewhere inside 5 x 37

    void playSample(int sample) override { calls << QString("play %1").arg(sample); }
    void replaceSelection(const QByteArray& text) override {
        calls << "replace " + QString::fromLatin1(text.toHex());
    }
    void focusScore() override { calls << "focus"; }
    GridCell paletteCurrentCell() override {
        calls << "palette cell";
        return palette;
    }
    GridCell sheetCurrentCell() override {
        calls << "sheet cell";
        return sheet;
    }
    std::optional<QByteArray> palettePicture(GridCell cell) override {
        calls << QString("picture %1,%2").arg(cell.row).arg(cell.column);
        if (cell.row < 0 || cell.row >= 5 || cell.column < 0 || cell.column >= 37)
            return std::nullopt;
        const auto it = palettePictures.find({cell.row, cell.column});
        return it == palettePictures.end() ? QByteArray() : it->second;
    }
    void setSheetPicture(GridCell cell, const std::optional<QByteArray>& picture) override {
        calls << QString("set %1,%2 %3")
                     .arg(cell.row)
                     .arg(cell.column)
                     .arg(picture ? "[" + QString::fromLatin1(*picture) + "]" : QString("none"));
    }
    void hidePicker() override { calls << "hide"; }
};

QString replaced(const char* utf8) {
    return "replace " + QString::fromLatin1(gbk(utf8).toHex());
}

} // namespace

Q_DECLARE_METATYPE(GridCell)

class PaletteTableTest : public QObject {
    Q_OBJECT
private slots:
    void entries_data();
    void entries();
    void noEntry_data();
    void noEntry();
    void everyRowSpansItsDuration();
    void pictures_data();
    void pictures();
    void click_data();
    void click();
    void pick_data();
    void pick();
};

void PaletteTableTest::entries_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("sample");

    QTest::newRow("1,0 rest") << 1 << 0 << gbk("０———————") << 0;
    QTest::newRow("2,1 super-low 1") << 2 << 1 << gbk("⒒———") << 0;
    QTest::newRow("4,7 super-low 7") << 4 << 7 << gbk("⒘") << 0;
    QTest::newRow("4,8 low 1") << 4 << 8 << gbk("⒈") << 1;
    QTest::newRow("1,14 low 7") << 1 << 14 << gbk("⒎———————") << 7;
    QTest::newRow("4,15 middle 1") << 4 << 15 << gbk("①") << 8;
    QTest::newRow("1,19 middle 5") << 1 << 19 << gbk("⑤———————") << 12;
    QTest::newRow("2,19 middle 5") << 2 << 19 << gbk("⑤———") << 12;
    QTest::newRow("3,19 middle 5") << 3 << 19 << gbk("⑤—") << 12;
    QTest::newRow("4,19 middle 5") << 4 << 19 << gbk("⑤") << 12;
    QTest::newRow("2,21 middle 7") << 2 << 21 << gbk("⑦———") << 14;
    QTest::newRow("3,22 high 1") << 3 << 22 << gbk("⑴—") << 15;
    QTest::newRow("4,28 high 7") << 4 << 28 << gbk("⑺") << 21;
    QTest::newRow("1,29 super-high 1") << 1 << 29 << gbk("⑾———————") << 22;
    QTest::newRow("3,33 super-high 5") << 3 << 33 << gbk("⒂—") << 26;
    QTest::newRow("3,34 super-high 6") << 3 << 34 << gbk("⒃—") << 0;
    QTest::newRow("4,35 super-high 7") << 4 << 35 << gbk("⒄") << 0;
    QTest::newRow("1,36 dot") << 1 << 36 << gbk("·———") << 0;
    QTest::newRow("2,36 dot") << 2 << 36 << gbk("·—") << 0;
    QTest::newRow("3,36 dot") << 3 << 36 << gbk("·") << 0;
    QTest::newRow("4,36 bar line") << 4 << 36 << QByteArray("\r\n") << 0;
    QTest::newRow("0,15 dashes") << 0 << 15 << gbk("————————") << 0;
    QTest::newRow("0,16 rest") << 0 << 16 << gbk("０———————") << 0;
    QTest::newRow("0,17 rest") << 0 << 17 << gbk("０———") << 0;
    QTest::newRow("0,18 rest") << 0 << 18 << gbk("０—") << 0;
    QTest::newRow("0,19 rest") << 0 << 19 << gbk("０") << 0;
    QTest::newRow("0,20 dot") << 0 << 20 << gbk("·———") << 0;
    QTest::newRow("0,21 dot") << 0 << 21 << gbk("·—") << 0;
    QTest::newRow("0,22 dot") << 0 << 22 << gbk("·") << 0;
    QTest::newRow("0,23 bar line") << 0 << 23 << QByteArray("\r\n") << 0;
}

void PaletteTableTest::entries() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QByteArray, text);
    QFETCH(int, sample);
    const std::optional<PaletteEntry> entry = PaletteTable::entry(row, column);
    QVERIFY(entry);
    QCOMPARE(entry->text.toHex(' '), text.toHex(' '));
    QCOMPARE(entry->sample, sample);
}

void PaletteTableTest::noEntry_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    for (int column = 0; column <= 14; ++column)
        QTest::addRow("0,%d", column) << 0 << column;
    for (int column = 24; column <= 36; ++column)
        QTest::addRow("0,%d", column) << 0 << column;
    QTest::newRow("no cell") << -1 << -1;
    QTest::newRow("row 5") << 5 << 0;
    QTest::newRow("column 37") << 1 << 37;
    QTest::newRow("column -1") << 1 << -1;
}

void PaletteTableTest::noEntry() {
    QFETCH(int, row);
    QFETCH(int, column);
    QVERIFY(!PaletteTable::entry(row, column));
}

// Rows 1 to 4 of columns 0 to 35 stand for 8, 4, 2 and 1 TimeUnits: one glyph and its dashes.
// Each row holds the 26 samples once, in rising pitch order.
void PaletteTableTest::everyRowSpansItsDuration() {
    const QByteArray dash = gbk("—");
    const int units[] = {0, 8, 4, 2, 1};
    for (int row = 1; row <= 4; ++row) {
        QList<int> samples;
        for (int column = 0; column <= 35; ++column) {
            const std::optional<PaletteEntry> entry = PaletteTable::entry(row, column);
            QVERIFY(entry);
            QCOMPARE(entry->text.size(), 2 * units[row]);
            QCOMPARE(entry->text.mid(2), dash.repeated(units[row] - 1));
            QCOMPARE(entry->text.left(2), PaletteTable::entry(4, column)->text);
            // The same sample that playback sounds for the glyph.
            QCOMPARE(entry->sample, tonmiro::notation::sampleOf(entry->text.left(2)));
            if (entry->sample != 0)
                samples << entry->sample;
        }
        QList<int> expected;
        for (int s = 1; s <= 26; ++s)
            expected << s;
        QCOMPARE(samples, expected);
    }
}

void PaletteTableTest::pictures_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("group"); // 0: blank
    QTest::addColumn<int>("index");

    QTest::newRow("0,14 blank") << 0 << 14 << 0 << 0;
    QTest::newRow("0,15 dash") << 0 << 15 << 1 << 37;
    QTest::newRow("0,16 rest") << 0 << 16 << 1 << 0;
    QTest::newRow("0,17 rest") << 0 << 17 << 2 << 0;
    QTest::newRow("0,18 rest") << 0 << 18 << 3 << 0;
    QTest::newRow("0,19 rest") << 0 << 19 << 4 << 0;
    QTest::newRow("0,20 dot") << 0 << 20 << 1 << 36;
    QTest::newRow("0,21 dot") << 0 << 21 << 2 << 36;
    QTest::newRow("0,22 dot") << 0 << 22 << 3 << 36;
    QTest::newRow("0,23 bar line") << 0 << 23 << 1 << 38;
    QTest::newRow("0,24 blank") << 0 << 24 << 0 << 0;
    QTest::newRow("0,0 blank") << 0 << 0 << 0 << 0;
    QTest::newRow("1,0") << 1 << 0 << 1 << 0;
    QTest::newRow("2,19") << 2 << 19 << 2 << 19;
    QTest::newRow("3,36") << 3 << 36 << 3 << 36;
    QTest::newRow("4,36 bar line") << 4 << 36 << 4 << 36;
    QTest::newRow("outside") << 5 << 0 << 0 << 0;
    QTest::newRow("column 37") << 1 << 37 << 0 << 0;
}

void PaletteTableTest::pictures() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, group);
    QFETCH(int, index);
    const std::optional<GlyphRef> picture = PaletteTable::picture(row, column);
    if (group == 0) {
        QVERIFY(!picture);
        return;
    }
    QVERIFY(picture);
    QCOMPARE(picture->group, group);
    QCOMPARE(picture->index, index);
    QVERIFY(!GlyphSet::picture(group, index).isEmpty());
}

void PaletteTableTest::click_data() {
    QTest::addColumn<GridCell>("cell");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("sample first, then the text")
        << GridCell{4, 8} << QStringList{"play 1", replaced("⒈"), "focus"};
    QTest::newRow("no sample") << GridCell{1, 0} << QStringList{replaced("０———————"), "focus"};
    QTest::newRow("bar line") << GridCell{0, 23} << QStringList{"replace 0d0a", "focus"};
    QTest::newRow("blank cell") << GridCell{0, 0} << QStringList{"focus"};
    QTest::newRow("no current cell") << GridCell{-1, -1} << QStringList{"focus"};
}

void PaletteTableTest::click() {
    QFETCH(GridCell, cell);
    QFETCH(QStringList, calls);
    Recorder recorder;
    clickPalette(cell, recorder);
    QCOMPARE(recorder.calls, calls);
}

void PaletteTableTest::pick_data() {
    QTest::addColumn<GridCell>("palette");
    QTest::addColumn<GridCell>("sheet");
    QTest::addColumn<QStringList>("calls");

    const QStringList reads = {"palette cell", "sheet cell"};
    QTest::newRow("pitch into a sheet cell")
        << GridCell{2, 19} << GridCell{3, 10}
        << reads + QStringList{"picture 2,19", "set 3,10 [P]", "hide", "play 12", replaced("⑤———"), "focus"};
    QTest::newRow("no sheet cell: text, sound and focus still follow")
        << GridCell{2, 19} << GridCell{-1, -1}
        << reads + QStringList{"picture 2,19", "set -1,-1 [P]", "hide", "play 12", replaced("⑤———"), "focus"};
    QTest::newRow("no palette cell: the sheet gets no picture and nothing is written")
        << GridCell{-1, -1} << GridCell{3, 10}
        << reads + QStringList{"picture -1,-1", "set 3,10 none", "hide", "focus"};
    QTest::newRow("blank palette cell erases the sheet cell")
        << GridCell{0, 0} << GridCell{3, 10}
        << reads + QStringList{"picture 0,0", "set 3,10 []", "hide", "focus"};
    QTest::newRow("picture without an entry is copied, nothing written")
        << GridCell{0, 30} << GridCell{3, 10}
        << reads + QStringList{"picture 0,30", "set 3,10 [Q]", "hide", "focus"};
}

void PaletteTableTest::pick() {
    QFETCH(GridCell, palette);
    QFETCH(GridCell, sheet);
    QFETCH(QStringList, calls);
    Recorder recorder;
    recorder.palette = palette;
    recorder.sheet = sheet;
    recorder.palettePictures[{2, 19}] = "P";
    recorder.palettePictures[{0, 30}] = "Q"; // a cell with a picture but no table entry
    pickGlyph(recorder);
    QCOMPARE(recorder.calls, calls);
}

QTEST_GUILESS_MAIN(PaletteTableTest)
#include "palette_table_test.moc"
