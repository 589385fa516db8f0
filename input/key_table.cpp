#include "input/key_table.h"

#include <array>

namespace tonmiro::input {

namespace {

// Text bytes are GBK: "—" A1AA, "·" A1A4, "０" A3B0, the pitch glyphs A2B1.. (low "⒈".."⒎"),
// A2D9.. (middle "①".."⑦"), A2C5.. (high "⑴".."⑺") and A2CF.. (super-high "⑾".."⒂").
// A picture key's glyph index is 7 * register + degree (1 low, 2 middle, 3 high, 4 super-high);
// 36 is the centre dot.
constexpr KeyRow kRows[] = {
    {KeyCode(8), u"按键8", 342, 9, 41, 39, KeyFace::BoldCaption, u"←  Back", -1, 0, ""},
    {KeyCode(9), u"按键9", 4, 49, 41, 39, KeyFace::BoldCaption, u"Tab", -1, 0, ""},
    {KeyCode(13), u"按键13", 336, 89, 47, 39, KeyFace::BoldCaption, u"Enter", -1, 0, ""},
    {KeyCode(32), u"按键32", 106, 169, 160, 29, KeyFace::BoldCaption, u"—", -1, 0, "\xA1\xAA"},
    {KeyCode(39), u"按键39", 310, 89, 26, 39, KeyFace::Caption, u"\" '", -1, 0, ""},
    {KeyCode(44), u"按键44", 248, 129, 26, 39, KeyFace::Picture, u"< ,\n⒍", 13, 6, "\xA2\xB6"},
    {KeyCode(45), u"按键45", 290, 9, 26, 39, KeyFace::Caption, u"－-", -1, 0, ""},
    {KeyCode(46), u"按键46", 274, 129, 26, 39, KeyFace::Picture, u"> .\n⒎", 14, 7, "\xA2\xB7"},
    {KeyCode(47), u"按键47", 300, 129, 23, 39, KeyFace::Caption, u"? /", -1, 0, ""},
    {KeyCode(48), u"按键48", 264, 9, 26, 39, KeyFace::Caption, u") 0", -1, 0, ""},
    {KeyCode(49), u"按键49", 30, 9, 26, 39, KeyFace::Picture, u"! 1\n⑾", 29, 22, "\xA2\xCF"},
    {KeyCode(50), u"按键50", 56, 9, 26, 39, KeyFace::Picture, u"@ 2\n⑿", 30, 23, "\xA2\xD0"},
    {KeyCode(51), u"按键51", 82, 9, 26, 39, KeyFace::Picture, u"# 3\n⒀", 31, 24, "\xA2\xD1"},
    {KeyCode(52), u"按键52", 108, 9, 26, 39, KeyFace::Picture, u"$ 4\n⒁", 32, 25, "\xA2\xD2"},
    {KeyCode(53), u"按键53", 134, 9, 26, 39, KeyFace::Caption, u"% 5", -1, 0, ""},
    {KeyCode(54), u"按键54", 160, 9, 26, 39, KeyFace::Caption, u"^ 6", -1, 0, ""},
    {KeyCode(55), u"按键55", 186, 9, 26, 39, KeyFace::Picture, u"& 7\n⒂", 33, 26, "\xA2\xD3"},
    {KeyCode(56), u"按键56", 212, 9, 26, 39, KeyFace::Caption, u"* 8", -1, 0, ""},
    {KeyCode(57), u"按键57", 238, 9, 26, 39, KeyFace::Caption, u"( 9", -1, 0, ""},
    {KeyCode(59), u"按键59", 284, 89, 26, 39, KeyFace::Caption, u": ;", -1, 0, ""},
    {KeyCode(61), u"按键61", 316, 9, 26, 39, KeyFace::Caption, u"+ =", -1, 0, ""},
    {KeyCode(91), u"按键91", 305, 49, 26, 39, KeyFace::Caption, u"{ [", -1, 0, ""},
    {KeyCode(92), u"按键92", 357, 49, 26, 39, KeyFace::Caption, u"| \\", -1, 0, ""},
    {KeyCode(93), u"按键93", 331, 49, 26, 39, KeyFace::Caption, u"} ]", -1, 0, ""},
    {KeyCode(96), u"按键96", 4, 9, 26, 39, KeyFace::Caption, u"~  `", -1, 0, ""},
    {KeyCode(97), u"按键97", 50, 89, 26, 39, KeyFace::Picture, u"A\n①", 15, 8, "\xA2\xD9"},
    {KeyCode(98), u"按键98", 170, 129, 26, 39, KeyFace::Caption, u"B", -1, 0, ""},
    {KeyCode(99), u"按键99", 118, 129, 26, 39, KeyFace::Picture, u"C\n⒊", 10, 3, "\xA2\xB3"},
    {KeyCode(100), u"按键100", 102, 89, 26, 39, KeyFace::Picture, u"D\n③", 17, 10, "\xA2\xDB"},
    {KeyCode(101), u"按键101", 97, 49, 26, 39, KeyFace::Picture, u"E\n⑶", 24, 17, "\xA2\xC7"},
    {KeyCode(102), u"按键102", 128, 89, 26, 39, KeyFace::Picture, u"F\n④", 18, 11, "\xA2\xDC"},
    {KeyCode(103), u"按键103", 154, 89, 26, 39, KeyFace::Caption, u"G\n ０", -1, 0, "\xA3\xB0"},
    {KeyCode(104), u"按键104", 180, 89, 26, 39, KeyFace::Picture, u"H\n·", 36, 0, "\xA1\xA4"},
    {KeyCode(105), u"按键105", 227, 49, 26, 39, KeyFace::Picture, u"I\n⑹", 27, 20, "\xA2\xCA"},
    {KeyCode(106), u"按键106", 206, 89, 26, 39, KeyFace::Picture, u"J\n⑤", 19, 12, "\xA2\xDD"},
    {KeyCode(107), u"按键107", 232, 89, 26, 39, KeyFace::Picture, u"K\n⑥", 20, 13, "\xA2\xDE"},
    {KeyCode(108), u"按键108", 258, 89, 26, 39, KeyFace::Picture, u"L\n⑦", 21, 14, "\xA2\xDF"},
    {KeyCode(109), u"按键109", 222, 129, 26, 39, KeyFace::Picture, u"M\n⒌", 12, 5, "\xA2\xB5"},
    {KeyCode(110), u"按键110", 196, 129, 26, 39, KeyFace::Caption, u"N", -1, 0, ""},
    {KeyCode(111), u"按键111", 253, 49, 26, 39, KeyFace::Picture, u"O\n⑺", 28, 21, "\xA2\xCB"},
    {KeyCode(112), u"按键112", 279, 49, 26, 39, KeyFace::Caption, u"P", -1, 0, ""},
    {KeyCode(113), u"按键113", 45, 49, 26, 39, KeyFace::Picture, u"Q\n⑴", 22, 15, "\xA2\xC5"},
    {KeyCode(114), u"按键114", 123, 49, 26, 39, KeyFace::Picture, u"R\n⑷", 25, 18, "\xA2\xC8"},
    {KeyCode(115), u"按键115", 76, 89, 26, 39, KeyFace::Picture, u"S\n②", 16, 9, "\xA2\xDA"},
    {KeyCode(116), u"按键116", 149, 49, 26, 39, KeyFace::Caption, u"T", -1, 0, ""},
    {KeyCode(117), u"按键117", 201, 49, 26, 39, KeyFace::Picture, u"U\n⑸", 26, 19, "\xA2\xC9"},
    {KeyCode(118), u"按键118", 144, 129, 26, 39, KeyFace::Picture, u"V\n⒋", 11, 4, "\xA2\xB4"},
    {KeyCode(119), u"按键119", 71, 49, 26, 39, KeyFace::Picture, u"W\n⑵", 23, 16, "\xA2\xC6"},
    {KeyCode(120), u"按键120", 92, 129, 26, 39, KeyFace::Picture, u"X\n⒉", 9, 2, "\xA2\xB2"},
    {KeyCode(121), u"按键121", 175, 49, 26, 39, KeyFace::Caption, u"Y", -1, 0, ""},
    {KeyCode(122), u"按键122", 66, 129, 26, 39, KeyFace::Picture, u"Z\n⒈", 8, 1, "\xA2\xB1"},
    {KeyCode(128), u"按键128", 4, 129, 62, 39, KeyFace::BoldCaption, u"———", -1, 0,
     "\xA1\xAA\xA1\xAA\xA1\xAA"},
    {KeyCode(129), u"按键129", 323, 129, 60, 39, KeyFace::BoldCaption, u"————", -1, 0,
     "\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA"},
    {KeyCode(130), u"按键130", 4, 169, 36, 29, KeyFace::BoldCaption, u"Ctrl", -1, 0, ""},
    {KeyCode(131), u"按键131", 347, 169, 36, 29, KeyFace::BoldCaption, u"Ctrl", -1, 0, ""},
    {KeyCode(132), u"按键132", 73, 169, 33, 29, KeyFace::BoldCaption, u"Alt", -1, 0, ""},
    {KeyCode(133), u"按键133", 267, 169, 33, 29, KeyFace::BoldCaption, u"Alt", -1, 0, ""},
    {KeyCode(162), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "0"},
    {KeyCode(163), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "1"},
    {KeyCode(164), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "2"},
    {KeyCode(165), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "3"},
    {KeyCode(166), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "4"},
    {KeyCode(167), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "5"},
    {KeyCode(168), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "6"},
    {KeyCode(169), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "7"},
    {KeyCode(170), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "8"},
    {KeyCode(171), u"按键32", 0, 0, 0, 0, KeyFace::None, u"", -1, 0, "9"},
    {KeyCode(173), u"按键173", 4, 89, 46, 39, KeyFace::BoldCaption, u"Caps Lock", -1, 0, ""},
};

constexpr quint8 kNoRow = 0xFF;
constexpr auto kIndex = [] {
    std::array<quint8, 256> index{};
    index.fill(kNoRow);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        index[toInt(kRows[i].code)] = static_cast<quint8>(i);
    }
    return index;
}();

constexpr int countButtons() {
    int n = 0;
    for (const KeyRow& row : kRows) {
        n += row.face != KeyFace::None ? 1 : 0;
    }
    return n;
}
static_assert(countButtons() == KeyTable::kButtonCount);

} // namespace

std::span<const KeyRow> KeyTable::rows() {
    return kRows;
}

const KeyRow* KeyTable::find(KeyCode code) {
    const quint8 i = kIndex[toInt(code)];
    return i == kNoRow ? nullptr : &kRows[i];
}

KeyCode KeyTable::buttonOf(KeyCode code) {
    const KeyRow* row = find(code);
    return (row != nullptr && row->face != KeyFace::None) ? code : KeyCode::Space;
}

QStringView KeyTable::buttonName(KeyCode code) {
    return find(buttonOf(code))->buttonName();
}

int KeyTable::sampleOf(KeyCode code) {
    const KeyRow* row = find(code);
    return row != nullptr ? row->sample : 0;
}

QByteArrayView KeyTable::textOf(KeyCode code) {
    const KeyRow* row = find(code);
    return row != nullptr ? row->gbkText() : QByteArrayView();
}

} // namespace tonmiro::input
