#include "notation/gbk_codec.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <cstdint>
#include <memory>

namespace tonmiro::gbk {

namespace {

// Escape characters: one per raw byte, in plane 15 (supplementary private use), which code page
// 936 never decodes to.
constexpr char32_t kEscapeBase = 0xF0000;

// Encode table value of a character that GBK cannot hold.
constexpr std::uint16_t kUnencodable = 0xFFFF;
// Encode table value of the characters written as CR LF.
constexpr std::uint16_t kCrLf = 0x0D0A;

// Characters that a QTextDocument turns into structure (a block break, a frame mark, an object),
// so a decoded score must never contain them as text: the bytes that would decode to them are
// escaped instead. '\n' stands only for a CR LF pair. Other control characters (NUL, TAB, ESC,
// DEL, ...) are kept unchanged by the document and decode as themselves.
bool keptByTextDocument(char32_t c) {
    switch (c) {
    case U'\r':  // a block break
    case U'\n':  // a block break
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
    case 0xFDD0: // QTextBeginningOfFrame
    case 0xFDD1: // QTextEndOfFrame
    case 0xFFFC: // object replacement character
        return false;
    default:
        return true;
    }
}

struct Tables {
    // The decoded character of each byte pair (lead << 8 | trail), 0 when the pair does not
    // decode to a character that encodes back to the same two bytes.
    std::array<char16_t, 0x10000> pair{};
    // The decoded character of each single byte: itself, the character it maps to, or its escape.
    std::array<char32_t, 0x100> single{};
    // The bytes of each BMP character: < 0x100 one byte, otherwise lead << 8 | trail;
    // kUnencodable when GBK cannot hold it.
    std::array<std::uint16_t, 0x10000> encode{};
};

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// Builds all tables with ICU, once. Without converter data only ASCII is known and every other
// byte decodes to its escape, which still keeps every score intact.
Tables buildTables() {
    Tables t;
    t.encode.fill(kUnencodable);
    for (char32_t c = 0; c < 0x80; ++c) {
        t.encode[c] = static_cast<std::uint16_t>(c);
    }

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterCloser> cnv(ucnv_open("windows-936-2000", &status));
    if (U_SUCCESS(status) && cnv) {
        UConverter* c = cnv.get();
        ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);

        // Unicode -> bytes for the whole BMP.
        for (char32_t u = 0x80; u < 0x10000; ++u) {
            if (u >= 0xD800 && u <= 0xDFFF) {
                continue;
            }
            const UChar src = static_cast<UChar>(u);
            char out[8];
            UErrorCode e = U_ZERO_ERROR;
            const int32_t n = ucnv_fromUChars(c, out, sizeof out, &src, 1, &e);
            if (U_SUCCESS(e) && (n == 1 || n == 2)) {
                const auto b0 = static_cast<unsigned char>(out[0]);
                const auto b1 = static_cast<unsigned char>(out[1]);
                // Single bytes above ASCII only from 0x80..0xFF, pairs only with a real lead byte,
                // so the length of a table value is unambiguous.
                if (n == 1 && b0 >= 0x80) {
                    t.encode[u] = b0;
                } else if (n == 2 && b0 >= 0x81 && b0 <= 0xFE) {
                    t.encode[u] = static_cast<std::uint16_t>(b0 << 8 | b1);
                }
            }
        }

        // Bytes -> Unicode for every pair with a lead byte and every single byte above ASCII.
        auto decodeOne = [c](const char* bytes, int32_t length) -> char32_t {
            UChar out[4];
            UErrorCode e = U_ZERO_ERROR;
            const int32_t n = ucnv_toUChars(c, out, 4, bytes, length, &e);
            if (U_FAILURE(e) || n != 1 || (out[0] >= 0xD800 && out[0] <= 0xDFFF)) {
                return 0;
            }
            return out[0];
        };
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0; trail <= 0xFF; ++trail) {
                const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const char32_t u = decodeOne(bytes, 2);
                const auto code = static_cast<std::uint16_t>(lead << 8 | trail);
                if (u != 0 && t.encode[u] == code && keptByTextDocument(u)) {
                    t.pair[code] = static_cast<char16_t>(u);
                }
            }
        }
        for (unsigned b = 0x80; b <= 0xFF; ++b) {
            const char byte = static_cast<char>(b);
            const char32_t u = decodeOne(&byte, 1);
            if (u != 0 && t.encode[u] == b && keptByTextDocument(u)) {
                t.single[b] = u;
            }
        }
    }

    for (unsigned b = 0; b < 0x100; ++b) {
        if (b < 0x80) {
            t.single[b] = keptByTextDocument(b) ? char32_t(b) : kEscapeBase + b;
        } else if (t.single[b] == 0) {
            t.single[b] = kEscapeBase + b;
        }
    }
    t.encode[u'\n'] = kCrLf;
    t.encode[0x2028] = kCrLf;
    t.encode[0x2029] = kCrLf;
    return t;
}

const Tables& tables() {
    static const Tables t = buildTables(); // built once, thread-safe initialisation
    return t;
}

inline void appendCodePoint(QString& out, char32_t c) {
    if (c < 0x10000) {
        out.append(QChar(static_cast<char16_t>(c)));
    } else {
        out.append(QChar(QChar::highSurrogate(c)));
        out.append(QChar(QChar::lowSurrogate(c)));
    }
}

} // namespace

char32_t escapeFor(unsigned char byte) {
    return kEscapeBase + byte;
}

int byteOfEscape(char32_t c) {
    if (c >= kEscapeBase && c < kEscapeBase + 0x100) {
        return static_cast<int>(c - kEscapeBase);
    }
    return -1;
}

QString decode(QByteArrayView bytes) {
    const Tables& t = tables();
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b == '\r' && i + 1 < n && p[i + 1] == '\n') {
            out.append(QChar(u'\n'));
            i += 2;
            continue;
        }
        if (b >= 0x81 && b <= 0xFE && i + 1 < n) {
            const char16_t u = t.pair[static_cast<unsigned>(b) << 8 | p[i + 1]];
            if (u != 0) {
                out.append(QChar(u));
                i += 2;
                continue;
            }
        }
        appendCodePoint(out, t.single[b]);
        ++i;
    }
    return out;
}

QByteArray encode(QStringView text) {
    const Tables& t = tables();
    QByteArray out;
    out.reserve(text.size() * 2);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isSurrogate(u)) {
            if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
                const int byte = byteOfEscape(QChar::surrogateToUcs4(u, text[i + 1].unicode()));
                out.append(byte >= 0 ? static_cast<char>(byte) : '?');
                ++i;
            } else {
                out.append('?');
            }
            continue;
        }
        const std::uint16_t v = t.encode[u];
        if (v == kUnencodable) {
            out.append('?');
        } else if (v < 0x100) {
            out.append(static_cast<char>(v));
        } else {
            out.append(static_cast<char>(v >> 8));
            out.append(static_cast<char>(v & 0xFF));
        }
    }
    return out;
}

int encodedLength(char32_t c) {
    if (c >= 0x10000) {
        return 1; // an escape gives its byte, anything else "?"
    }
    const std::uint16_t v = tables().encode[c];
    return (v == kUnencodable || v < 0x100) ? 1 : 2;
}

qsizetype encodedLength(QStringView text) {
    const Tables& t = tables();
    qsizetype length = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isSurrogate(u)) {
            // A pair is one code point (its escape byte or "?"), a lone surrogate is "?".
            if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
                ++i;
            }
            ++length;
            continue;
        }
        const std::uint16_t v = t.encode[u];
        length += (v == kUnencodable || v < 0x100) ? 1 : 2;
    }
    return length;
}

} // namespace tonmiro::gbk
