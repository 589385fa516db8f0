#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tonmiro::notation {

// The notation alphabet: every time unit of a melody is one two-byte GBK NoteToken.
// Registers, counted as the glyph pictures count them.
enum class Register { SuperLow = 0, Low = 1, Middle = 2, High = 3, SuperHigh = 4 };

inline constexpr char kRest[] = "\xA3\xB0";       // "０"
inline constexpr char kDash[] = "\xA1\xAA";       // "—"  prolongation
inline constexpr char kDot[] = "\xA1\xA4";        // "·"  augmentation dot
inline constexpr char kBarLine[] = "\r\n";        // a line break is a bar line
inline constexpr int kSampleCount = 26;           // S01..S26

// The two bytes of the pitch token of a register and a degree (1..7).
QByteArray pitchToken(Register reg, int degree);

// What playback does with a two-byte piece of score text.
struct TokenInfo {
    int sample = 0;         // 1..26 for S01..S26, 0 for none
    bool takesTime = false; // one TimeUnit
};

// Byte-for-byte lookup in the token-to-sample table. Anything that is not one of the 26 pitch
// tokens with a sample, the rest, the dash or the dot gives {0, false}.
TokenInfo lookupToken(QByteArrayView piece);

// The sample (1..26) a pitch token sounds, 0 when it has none.
inline int sampleOf(QByteArrayView token) { return lookupToken(token).sample; }

// The token of a sample (1..26): S01 is "⒈" ... S26 is "⒂".
QByteArray tokenOfSample(int sample);

} // namespace tonmiro::notation
