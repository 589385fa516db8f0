#include "tests/sound/pitch.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace tonmiro::sound::test {

namespace {

void fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

} // namespace

double measureFundamental(std::span<const float> frames, double rate, double fromSeconds) {
    // About 0.75 s of signal: fine enough for a tonic of 120 Hz, zero-padded 8 times.
    std::size_t window = 1;
    while (static_cast<double>(window) < 0.75 * rate) {
        window <<= 1;
    }
    const auto first = static_cast<std::size_t>(fromSeconds * rate);
    if (first + window > frames.size()) {
        return 0.0;
    }
    std::vector<std::complex<double>> spectrum(8 * window);
    for (std::size_t i = 0; i < window; ++i) {
        const double hann =
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / (window - 1));
        spectrum[i] = frames[first + i] * hann;
    }
    fft(spectrum);
    const std::size_t n = spectrum.size();
    std::vector<double> magnitude(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        magnitude[k] = std::abs(spectrum[k]);
    }
    const double binHz = rate / static_cast<double>(n);
    const auto lowest = static_cast<std::size_t>(50.0 / binHz);
    const double strongest =
        *std::max_element(magnitude.begin() + static_cast<std::ptrdiff_t>(lowest), magnitude.end());
    // The fundamental is the lowest local maximum of at least a fifth of the strongest peak.
    for (std::size_t k = lowest; k + 1 < magnitude.size(); ++k) {
        if (magnitude[k] >= 0.2 * strongest && magnitude[k] >= magnitude[k - 1] &&
            magnitude[k] > magnitude[k + 1]) {
            const double a = std::log(magnitude[k - 1]);
            const double b = std::log(magnitude[k]);
            const double c = std::log(magnitude[k + 1]);
            const double shift = 0.5 * (a - c) / (a - 2.0 * b + c);
            return (static_cast<double>(k) + shift) * binHz;
        }
    }
    return 0.0;
}

double cents(double frequency, double reference) {
    return 1200.0 * std::log2(frequency / reference);
}

} // namespace tonmiro::sound::test
