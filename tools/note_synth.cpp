#include "tools/note_synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace tonmiro::sound::synth {

namespace {

constexpr double kNyquist = kSampleRate / 2.0;
constexpr double kAttackSeconds = 0.065;
constexpr double kFadeSeconds = 0.25;
constexpr double kPluckPosition = 0.18; // fraction of the string length
constexpr int kMaxPartials = 10;

// A fraction in [0, 1) that differs from sample to sample but is the same on every run.
double spread(int sample, int multiplier) {
    return static_cast<double>((sample * multiplier) % kSampleCount) / kSampleCount;
}

struct Partial {
    double omega;     // radians per frame
    double amplitude; // relative
    double decay;     // per-frame factor of the slow part of the envelope
    double fastDecay; // per-frame factor of the prompt part
};

// The tone before levelling, with the slow decay time constant of the fundamental tau (s).
std::vector<double> render(const NoteRecipe& r, double tau) {
    std::vector<double> out(kFrames, 0.0);
    std::vector<Partial> partials;
    for (int n = 1; n <= kMaxPartials; ++n) {
        const double f = n * r.frequency;
        // Keep clear of the Nyquist frequency, and roll the top partials off gently.
        if (f > 0.9 * kNyquist) {
            break;
        }
        double amplitude = std::sin(std::numbers::pi * n * kPluckPosition) / std::pow(n, 1.1);
        if (f > 3000.0) {
            const double x = (f - 3000.0) / (0.9 * kNyquist - 3000.0);
            amplitude *= 0.5 * (1.0 + std::cos(std::numbers::pi * x));
        }
        // Upper partials decay faster; higher notes also lose their brightness sooner.
        const double tauN = tau / (1.0 + 0.35 * (n - 1) * std::sqrt(r.frequency / kTonic));
        partials.push_back({2.0 * std::numbers::pi * f / kSampleRate, amplitude,
                            std::exp(-1.0 / (tauN * kSampleRate)),
                            std::exp(-1.0 / (0.25 * tauN * kSampleRate))});
    }

    const int attackFrames = static_cast<int>(kAttackSeconds * kSampleRate);
    const int end = kFrames - r.tailFrames;
    const int fadeFrames = static_cast<int>(kFadeSeconds * kSampleRate);
    for (const Partial& p : partials) {
        double slow = 0.75 * p.amplitude;
        double fast = 0.25 * p.amplitude;
        for (int i = r.leadFrames; i < end; ++i) {
            const int k = i - r.leadFrames;
            out[i] += (slow + fast) * std::sin(p.omega * k);
            slow *= p.decay;
            fast *= p.fastDecay;
        }
    }
    for (int i = r.leadFrames; i < end; ++i) {
        const int k = i - r.leadFrames;
        double gain = 1.0;
        if (k < attackFrames) {
            const double s = std::sin(0.5 * std::numbers::pi * k / attackFrames);
            gain = s * s;
        }
        if (end - i < fadeFrames) {
            const double s = std::sin(0.5 * std::numbers::pi * (end - i) / fadeFrames);
            gain *= s * s;
        }
        out[i] *= gain;
    }
    return out;
}

// Scales the tone to the recipe's peak and returns the time (s) after which it stays below
// 1 % of that peak.
double level(std::vector<double>& tone, double peak) {
    double max = 0.0;
    for (double v : tone) {
        max = std::max(max, std::abs(v));
    }
    int last = 0;
    for (int i = 0; i < kFrames; ++i) {
        tone[i] *= peak / max;
        if (std::abs(tone[i]) >= 0.01 * peak) {
            last = i;
        }
    }
    return static_cast<double>(last + 1) / kSampleRate;
}

// Writes little-endian fields into a preallocated image.
class ImageWriter {
public:
    explicit ImageWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void u16(std::uint16_t v) {
        m_out[m_at++] = static_cast<std::uint8_t>(v & 0xff);
        m_out[m_at++] = static_cast<std::uint8_t>(v >> 8);
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v & 0xffff));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void tag(const char (&tag)[5]) {
        for (int i = 0; i < 4; ++i) {
            m_out[m_at++] = static_cast<std::uint8_t>(tag[i]);
        }
    }

private:
    std::vector<std::uint8_t>& m_out;
    std::size_t m_at = 0;
};

} // namespace

int semitones(int sample) {
    static constexpr std::array<int, 7> kSteps{0, 2, 4, 5, 7, 9, 11};
    const int index = sample - 1;
    return 12 * (index / 7) + kSteps[static_cast<std::size_t>(index % 7)];
}

double nominalFrequency(int sample) {
    return kTonic * std::pow(2.0, semitones(sample) / 12.0);
}

NoteRecipe recipe(int sample) {
    NoteRecipe r;
    r.frequency = nominalFrequency(sample);
    r.peak = 0.55 + 0.40 * spread(sample, 11);
    r.leadFrames = 1490 + (sample * 7) % 21;
    r.tailFrames = 1420 + (sample * 53) % 260;
    r.quietSeconds = 2.30 + 0.35 * spread(sample, 17);
    return r;
}

std::vector<std::int16_t> synthesize(const NoteRecipe& r) {
    // Find the decay time constant that brings the tone below 1 % of its peak at the recipe's
    // time: that time grows steadily with the constant, so bisection finds it.
    double lo = 0.05;
    double hi = 3.0;
    std::vector<double> tone;
    for (int step = 0; step < 30; ++step) {
        const double tau = 0.5 * (lo + hi);
        tone = render(r, tau);
        if (level(tone, r.peak) < r.quietSeconds) {
            lo = tau;
        } else {
            hi = tau;
        }
    }
    tone = render(r, 0.5 * (lo + hi));
    level(tone, r.peak);

    std::vector<std::int16_t> frames(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        frames[i] = static_cast<std::int16_t>(std::lround(std::clamp(tone[i], -1.0, 1.0) * 32767.0));
    }
    return frames;
}

std::vector<std::uint8_t> waveImage(std::span<const std::int16_t> frames) {
    const auto dataBytes = static_cast<std::uint32_t>(frames.size() * 2);
    constexpr std::uint32_t kTrailer = 8;
    // The trailer stays zero: the image starts out all zeros.
    std::vector<std::uint8_t> out(44 + dataBytes + kTrailer, 0);
    ImageWriter w(out);
    w.tag("RIFF");
    w.u32(4 + (8 + 16) + (8 + dataBytes) + kTrailer);
    w.tag("WAVE");
    w.tag("fmt ");
    w.u32(16);
    w.u16(1); // PCM
    w.u16(1); // mono
    w.u32(kSampleRate);
    w.u32(kSampleRate * 2); // bytes per second
    w.u16(2);               // block alignment
    w.u16(16);              // bits per sample
    w.tag("data");
    w.u32(dataBytes);
    for (std::int16_t v : frames) {
        w.u16(static_cast<std::uint16_t>(v));
    }
    return out;
}

} // namespace tonmiro::sound::synth
