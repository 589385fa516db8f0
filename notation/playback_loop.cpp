#include "notation/playback_loop.h"

#include "notation/alphabet.h"

#include <cmath>
#include <limits>

namespace tonmiro::notation {

namespace {

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

int textToInt(QByteArrayView text) {
    // Fold the full-width forms of ASCII and the ideographic space to single bytes first.
    QByteArray folded;
    folded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (b == 0xA3 && next >= 0xA1 && next <= 0xFE) {
                folded.append(static_cast<char>(next - 0x80));
                ++i;
                continue;
            }
            if (b == 0xA1 && next == 0xA1) {
                folded.append(' ');
                ++i;
                continue;
            }
        }
        folded.append(static_cast<char>(b));
    }

    qsizetype i = 0;
    while (i < folded.size() && isSpace(folded[i])) {
        ++i;
    }
    bool negative = false;
    if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) {
        negative = folded[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that the most negative int is reachable; saturate.
    constexpr int kMin = std::numeric_limits<int>::min();
    int value = 0;
    for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
        const int digit = folded[i] - '0';
        if (value < (kMin + digit) / 10) {
            value = kMin;
        } else {
            value = value * 10 - digit;
        }
    }
    if (negative) {
        return value;
    }
    return value == kMin ? std::numeric_limits<int>::max() : -value;
}

int unitForTempo(int bpm) {
    if (bpm == 0) {
        return 32767; // what the slider stores for an endless unit
    }
    return static_cast<int>(60000.0 / bpm / 8.0);
}

void PlaybackLoop::turn() {
    PlaybackControls& c = m_controls;

    // 1. The toggle is the command: up means idle.
    if (!c.toggleChecked()) {
        c.idle();
        return;
    }

    // 2. Select the two bytes at the stored start.
    c.setSelectionLength(2);

    // 3. A bar line takes no time.
    if (c.selectedText() != kBarLine) {
        // 4. A piece that reads as a number other than 0 starts a tempo marker.
        if (textToInt(c.selectedText()) != 0) {
            c.setSelectionLength(3);
            const int bpm = textToInt(c.selectedText());
            c.setSpeedPosition(unitForTempo(bpm));
            const qsizetype start = c.selectionStart();
            c.setSelectionStart(static_cast<qsizetype>(static_cast<double>(start) + 3.0));
        } else {
            // 5. A token: sound its sample, wait one unit.
            const TokenInfo token = lookupToken(c.selectedText());
            if (token.sample != 0) {
                c.playSample(token.sample);
            }
            if (token.takesTime) {
                const int position = c.speedPosition();
                c.wait(static_cast<qint64>(position * 1000.0));
            }
        }
    }

    // 6. Move on from the live start (the user may have clicked or typed during the wait), or end.
    const qsizetype length = c.textLength();
    const qsizetype start = c.selectionStart();
    if (start < length) {
        c.setSelectionStart(static_cast<qsizetype>(static_cast<double>(start) + 2.0));
    } else {
        c.setToggleChecked(false);
        c.setToggleCaption(QStringLiteral("播放"));
        c.setSelectionStart(0);
    }
}

// A stop token is passed by value, as std::jthread hands it over.
void PlaybackLoop::run(std::stop_token stop) { // NOLINT(performance-unnecessary-value-param)
    while (!stop.stop_requested()) {
        turn();
    }
}

} // namespace tonmiro::notation
