#pragma once

#include "sound/voice_start_queue.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace tonmiro::sound {

// Mixes any number of overlapping note voices into one stereo float stream.
//
// Voices come from a preallocated pool; a start that finds no free voice is not heard, and a
// sounding voice is never cut or stolen. Starts reach the audio thread through a lock-free
// queue and carry the time they were asked for: the render places each one at that time plus
// one fixed latency, at the exact frame inside its buffer, so onsets keep the spacing of the
// requests. A soft limiter keeps dozens of voices from clipping harshly; the master left and
// right gains apply after it.
//
// Threads: prepare() and stopAll() while no render() runs (before the stream starts or after
// it stops); render() on the audio thread only; start() and setGains() from any thread. The
// render never locks, allocates or does I/O.
class Mixer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kVoiceCount = 256;
    // Latency between a request and its onset, in periods of the stream: one period for the
    // buffer being rendered when the request comes, one for jitter of the callback's timing.
    static constexpr int kLatencyPeriods = 2;

    Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Converts the samples (numbered 1..sources.size()) once from sourceRate to deviceRate
    // (band-limited, high quality) and resets every voice. periodFrames is the stream's
    // buffer size, which sets the fixed latency. Not while render() may run.
    void prepare(std::span<const std::span<const std::int16_t>> sources, int sourceRate, int deviceRate,
                 int periodFrames);

    // Asks for sample 1..N to start, as requested at the given time. Any thread, lock-free,
    // never blocks; false when the request could not be queued (the voice is not heard).
    bool start(int sample, Clock::time_point requested = Clock::now());

    // Master gains 0..1 for the left and right channel. Any thread; ramped in the render.
    void setGains(float left, float right);

    // Fills frames interleaved stereo frames; now is the time the buffer's first frame is
    // rendered. Audio thread only.
    void render(float* out, int frames, Clock::time_point now);

    // Silences every voice and forgets every pending start. Not while render() may run.
    void stopAll();

    int sampleRate() const { return m_rate; }
    Clock::duration latency() const { return m_latency; }
    // A sample as converted to the device rate (empty for an unknown number).
    std::span<const float> converted(int sample) const;

    // Voices sounding or waiting for their onset, and starts that found no free voice.
    // Written by the render; readable from any thread.
    int activeVoices() const { return m_activeCount.load(std::memory_order_relaxed); }
    std::uint64_t droppedStarts() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    struct Voice {
        const float* data = nullptr;
        std::int64_t length = 0;
        std::int64_t position = 0;   // next frame of data to play
        std::int64_t startFrame = 0; // stream frame of data[0]
    };
    static constexpr int kChunk = 256;

    void followClock(Clock::time_point now, int frames);
    void takeStarts();
    void mixChunk(float* out, int frames);

    VoiceStartQueue m_queue;
    std::vector<std::vector<float>> m_sources;
    int m_rate = 48000;
    Clock::duration m_latency{};
    double m_latencyFrames = 0.0;

    std::array<Voice, kVoiceCount> m_voices{};
    std::array<std::uint16_t, kVoiceCount> m_active{};
    std::array<std::uint16_t, kVoiceCount> m_free{};
    int m_activeVoices = 0;
    int m_freeVoices = kVoiceCount;
    std::atomic<int> m_activeCount{0};
    // Hands the mixer over between the owning thread (prepare, stopAll) and the audio thread
    // (render). The audio device's own start and stop already order the two, but inside SDL, out
    // of sight of the thread checker; these acquire/release steps make the order explicit.
    std::atomic<std::uint64_t> m_handover{0};
    std::atomic<std::uint64_t> m_dropped{0};

    // Stream time: frame m_frame is the next to render. The mapping from clock to frames is
    // anchored at m_anchorFrame <-> m_anchorNs (ns after m_base) and follows the callback's
    // timing slowly, so scheduling jitter of the callback does not move onsets.
    std::int64_t m_frame = 0;
    bool m_clockValid = false;
    Clock::time_point m_base{};
    std::int64_t m_anchorFrame = 0;
    double m_anchorNs = 0.0;

    std::atomic<float> m_targetLeft{1.0f};
    std::atomic<float> m_targetRight{1.0f};
    float m_left = 1.0f;
    float m_right = 1.0f;
    float m_envelope = 0.0f;
    float m_release = 0.0f;

    std::array<float, kChunk> m_mix{};
};

} // namespace tonmiro::sound
