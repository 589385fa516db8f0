#pragma once

#include "notation/playback_controls.h"

#include <stop_token>

namespace tonmiro::notation {

// Plays the score token by token through the controls while the toggle is down.
class PlaybackLoop {
public:
    explicit PlaybackLoop(PlaybackControls& controls) : m_controls(controls) {}

    // One turn of the loop (steps 1 to 6); exposed so tests can drive turns one by one. Runs on the
    // playback thread (from run()), every control request going through PlaybackControls.
    void turn();

    // Runs turns until a stop is requested. Runs on the playback thread.
    void run(std::stop_token stop);

private:
    PlaybackControls& m_controls;
};

// Text-to-integer conversion used for tempo markers: full-width GBK forms of ASCII (A3 A1..A3 FE)
// count as their ASCII character and the ideographic space (A1 A1) as a space; then leading white
// space is skipped, an optional sign is taken and decimal digits are read; no digits give 0.
int textToInt(QByteArrayView text);

// trunc(60000.0 / bpm / 8.0), the slider position a tempo marker asks for. Negative for a negative
// bpm (the slider then stores 0); a bpm of 0 (possible only when the text changes between two
// reads) gives the largest position instead of dividing by zero.
int unitForTempo(int bpm);

} // namespace tonmiro::notation
