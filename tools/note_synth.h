#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tonmiro::sound {

// Synthesis of the 26 built-in note samples: a plucked-string-like tone made of harmonic
// partials, each with its own exponential decay (the upper ones fade first, so the tone
// mellows as it rings), a short soft attack after a stretch of digital silence, and a
// fade to digital silence before the end of the sample.
namespace synth {

constexpr int kSampleCount = 26;
constexpr int kSampleRate = 11025;
constexpr int kFrames = 33404;
constexpr double kTonic = 120.7; // Hz, degree 1 of the low register

// Everything that makes one sample differ from the others.
struct NoteRecipe {
    double frequency = 0.0;    // fundamental in Hz
    double peak = 0.0;         // peak level, fraction of full scale
    int leadFrames = 0;        // digital silence before the attack
    int tailFrames = 0;        // digital silence at the end
    double quietSeconds = 0.0; // time after which the tone stays below 1 % of its peak
};

// Semitones above the tonic of sample 1..26 (S01..S07 low, S08..S14 middle, S15..S21 high,
// S22..S26 super-high degrees 1..5).
int semitones(int sample);
// 120.7 Hz * 2^(semitones / 12).
double nominalFrequency(int sample);
// The recipe of sample 1..26.
NoteRecipe recipe(int sample);

// kFrames frames of the tone described by recipe.
std::vector<std::int16_t> synthesize(const NoteRecipe& recipe);

// A complete RIFF WAVE image (PCM mono 16-bit at 11,025 Hz) of the frames, followed by 8 zero
// bytes that the RIFF size counts.
std::vector<std::uint8_t> waveImage(std::span<const std::int16_t> frames);

} // namespace synth
} // namespace tonmiro::sound
