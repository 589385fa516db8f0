// Mixer figures: render cost with a full voice pool, and start latency and onset spacing on a
// simulated clock at a 256-frame period.

#include "sound/mixer.h"
#include "sound/sample_bank.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

using tonmiro::sound::Mixer;
using tonmiro::sound::SampleBank;

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

std::array<std::span<const std::int16_t>, SampleBank::kCount> bankSources() {
    std::array<std::span<const std::int16_t>, SampleBank::kCount> sources;
    for (int i = 0; i < SampleBank::kCount; ++i) {
        sources[std::size_t(i)] = SampleBank::embedded().frames(i + 1);
    }
    return sources;
}

Mixer::Clock::time_point at(Mixer::Clock::time_point t0, double frames) {
    return t0 +
           std::chrono::duration_cast<Mixer::Clock::duration>(std::chrono::duration<double>(frames / kRate));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// One 256-frame buffer with all 256 voices sounding; "core_pct" is the share of one core the
// render takes at 48 kHz.
void BM_RenderFullPool(benchmark::State& state) {
    static Mixer mixer;
    static bool prepared = false;
    if (!prepared) {
        mixer.prepare(bankSources(), SampleBank::kSampleRate, kRate, kPeriod);
        prepared = true;
    }
    mixer.stopAll();
    std::vector<float> out(2 * std::size_t(kPeriod));
    const auto t0 = Mixer::Clock::time_point(std::chrono::seconds(100));
    double frame = 0;
    int sample = 0;
    for (auto _ : state) {
        // Keep the pool full: a voice that ended is replaced at once.
        for (int missing = Mixer::kVoiceCount - mixer.activeVoices(); missing > 0; --missing) {
            mixer.start(1 + sample++ % SampleBank::kCount, at(t0, frame - 2 * kPeriod));
        }
        mixer.render(out.data(), kPeriod, at(t0, frame));
        benchmark::DoNotOptimize(out.data());
        frame += kPeriod;
    }
    const double periodSeconds = double(kPeriod) / kRate;
    state.counters["core_pct"] = benchmark::Counter(
        periodSeconds / 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["voices"] = mixer.activeVoices();
}
BENCHMARK(BM_RenderFullPool)->Unit(benchmark::kMicrosecond);

// Requests at random times between callbacks that jitter by up to +-1 ms around their nominal
// times. For each request: the time from the request until its first frame leaves the render
// (the end of the callback that renders it, plus the frame's place in the buffer), and the
// error of the spacing between consecutive onsets against the spacing of the requests.
void BM_StartLatency(benchmark::State& state) {
    std::vector<std::int16_t> marked(64, 0);
    marked[0] = 16384;
    const std::array<std::span<const std::int16_t>, 1> sources{marked};
    Mixer mixer;
    mixer.prepare(sources, kRate, kRate, kPeriod);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> gap(0.2 * kPeriod, 5.0 * kPeriod);
    std::uniform_real_distribution<double> jitter(-0.001 * kRate, 0.001 * kRate);

    std::vector<double> latencyMs;
    std::vector<double> spacingErrorMs;
    std::vector<float> out(2 * std::size_t(kPeriod));
    const auto t0 = Mixer::Clock::time_point(std::chrono::seconds(100));
    double nextRequest = 3.0 * kPeriod;
    std::int64_t frame = 0;
    std::vector<double> requests; // in frames, waiting for their onset
    double lastRequest = -1.0;
    double lastOnset = -1.0;
    for (auto _ : state) {
        const double callAt = double(frame) + (frame > 0 ? jitter(random) : 0.0);
        // Requests that came in before this callback.
        while (nextRequest <= callAt) {
            mixer.start(1, at(t0, nextRequest));
            requests.push_back(nextRequest);
            nextRequest += gap(random);
        }
        mixer.render(out.data(), kPeriod, at(t0, callAt));
        for (int i = 0; i < kPeriod; ++i) {
            if (out[2 * std::size_t(i)] > 0.4f && !requests.empty()) {
                const double request = requests.front();
                requests.erase(requests.begin());
                const double onset = double(frame + i);
                // The frame leaves the render when the callback returns; it is the i-th frame.
                const double leaves = std::max(callAt, onset);
                latencyMs.push_back((leaves - request) * 1000.0 / kRate);
                if (lastRequest >= 0.0) {
                    spacingErrorMs.push_back(std::abs((onset - lastOnset) - (request - lastRequest)) *
                                             1000.0 / kRate);
                }
                lastRequest = request;
                lastOnset = onset;
            }
        }
        frame += kPeriod;
    }
    state.counters["latency_ms_median"] = median(latencyMs);
    state.counters["latency_ms_max"] =
        latencyMs.empty() ? 0.0 : *std::max_element(latencyMs.begin(), latencyMs.end());
    state.counters["fixed_latency_ms"] = std::chrono::duration<double, std::milli>(mixer.latency()).count();
    state.counters["period_ms"] = 1000.0 * kPeriod / kRate;
    state.counters["spacing_err_ms_median"] = median(spacingErrorMs);
    state.counters["spacing_err_ms_max"] =
        spacingErrorMs.empty() ? 0.0 : *std::max_element(spacingErrorMs.begin(), spacingErrorMs.end());
    state.counters["onsets"] = double(latencyMs.size());
}
BENCHMARK(BM_StartLatency)->Iterations(20000);

} // namespace

BENCHMARK_MAIN();
