#include "notation/alphabet.h"

namespace tonmiro::notation {

namespace {

constexpr unsigned char kPitchLead = 0xA2;

// The trail byte of degree 1 of each register; degrees 2..7 follow one by one.
constexpr unsigned char kFirstTrail[] = {
    0xBB, // super-low  ⒒..⒘
    0xB1, // low        ⒈..⒎  S01..S07
    0xD9, // middle     ①..⑦  S08..S14
    0xC5, // high       ⑴..⑺  S15..S21
    0xCF, // super-high ⑾..⒄  S22..S26 for degrees 1..5
};

// The sample of degree 1 of each register, 0 for the super-low register, which has none.
constexpr int kFirstSample[] = {0, 1, 8, 15, 22};

bool equals(QByteArrayView piece, const char (&token)[3]) {
    return piece.size() == 2 && piece[0] == token[0] && piece[1] == token[1];
}

} // namespace

QByteArray pitchToken(Register reg, int degree) {
    const int r = static_cast<int>(reg);
    if (r < 0 || r > 4 || degree < 1 || degree > 7) {
        return {};
    }
    QByteArray token(2, Qt::Uninitialized);
    token[0] = static_cast<char>(kPitchLead);
    token[1] = static_cast<char>(kFirstTrail[r] + degree - 1);
    return token;
}

TokenInfo lookupToken(QByteArrayView piece) {
    if (piece.size() != 2) {
        return {};
    }
    if (equals(piece, kRest) || equals(piece, kDash) || equals(piece, kDot)) {
        return {0, true};
    }
    if (static_cast<unsigned char>(piece[0]) != kPitchLead) {
        return {};
    }
    const auto trail = static_cast<unsigned char>(piece[1]);
    for (int r = 1; r <= 4; ++r) {
        if (trail >= kFirstTrail[r] && trail < kFirstTrail[r] + 7) {
            const int sample = kFirstSample[r] + (trail - kFirstTrail[r]);
            if (sample > kSampleCount) {
                return {}; // ⒃ and ⒄ have no sample and take no time
            }
            return {sample, true};
        }
    }
    return {}; // the super-low register and everything else
}

QByteArray tokenOfSample(int sample) {
    if (sample < 1 || sample > kSampleCount) {
        return {};
    }
    for (int r = 4; r >= 1; --r) {
        if (sample >= kFirstSample[r]) {
            return pitchToken(static_cast<Register>(r), sample - kFirstSample[r] + 1);
        }
    }
    return {};
}

} // namespace tonmiro::notation
