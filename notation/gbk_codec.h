#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tonmiro::gbk {

// Lossless conversion between score bytes (code page 936) and the text the edit box shows.
//
// decode() is total: every byte string decodes, and encode(decode(b)) == b for every b.
// - A CR LF pair becomes '\n' (a line break of the edit box).
// - A GBK character that maps to Unicode and back to the same bytes becomes that character.
// - Every other byte (a lone lead byte, a bad trail byte, a lone CR or LF, a byte the
//   mapping does not round-trip, a control character the edit box would not keep) becomes
//   the escape character escapeFor(byte), which no GBK byte sequence decodes to.
// encode() is the inverse: '\n', U+2028 and U+2029 become CR LF, escape characters become
// their byte, and a character GBK cannot hold (typed or pasted) becomes "?".
//
// Both are safe to call from any thread. The mapping is ICU's "windows-936-2000" (Microsoft code
// page 936), read once into tables on first use (about 25 ms); after that no ICU converter is used.
QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);

// The escape character of a raw byte, and the reverse (-1 when c is not an escape).
char32_t escapeFor(unsigned char byte);
int byteOfEscape(char32_t c);

// Number of bytes encode() writes for the single code point c (1 or 2).
int encodedLength(char32_t c);

// Number of bytes encode(text) would produce, without building them.
qsizetype encodedLength(QStringView text);

} // namespace tonmiro::gbk
