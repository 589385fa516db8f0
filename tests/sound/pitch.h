#pragma once

#include <span>

namespace tonmiro::sound::test {

// The fundamental frequency (Hz) of a tone: the lowest strong peak of the spectrum of a
// Hann-windowed stretch starting at fromSeconds, zero-padded and refined by interpolating the
// log magnitude around the peak. Returns 0 when no peak is found.
double measureFundamental(std::span<const float> frames, double rate, double fromSeconds = 0.25);

// The interval from reference to frequency in cents.
double cents(double frequency, double reference);

} // namespace tonmiro::sound::test
