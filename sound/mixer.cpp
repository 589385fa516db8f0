#include "sound/mixer.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tonmiro::sound {

namespace {

// Soft limiter: below the threshold the level passes unchanged; above it the peak envelope is
// bent smoothly towards full scale, which it never reaches.
constexpr float kLimiterThreshold = 0.8f;
constexpr double kLimiterReleaseSeconds = 0.15;

// How far the callback's clock may stray from the stream's before the mapping is set anew.
// A callback more than a period late means the stream fell behind the clock (an underrun or a
// stalled device: the frames now rendered are heard later than the old mapping says), so the
// mapping follows at once. Early callbacks come in bursts while the device fills its buffer
// and are only followed slowly, unless the stream runs far ahead (a driver not paced by a
// clock).
constexpr double kLateResyncPeriods = 1.0;
constexpr double kEarlyResyncPeriods = 4.0;
// Share of each callback's timing error taken into the mapping.
constexpr double kClockFollow = 0.005;

float limitedPeak(float envelope) {
    const float over = (envelope - kLimiterThreshold) / (1.0f - kLimiterThreshold);
    return kLimiterThreshold + (1.0f - kLimiterThreshold) * (1.0f - std::exp(-over));
}

std::vector<float> convert(std::span<const std::int16_t> in, int sourceRate, int deviceRate) {
    if (in.empty()) {
        return {};
    }
    if (sourceRate == deviceRate) {
        std::vector<float> out(in.size());
        std::transform(in.begin(), in.end(), out.begin(), [](std::int16_t v) { return v / 32768.0f; });
        return out;
    }
    const auto outFrames =
        static_cast<std::size_t>(std::ceil(static_cast<double>(in.size()) * deviceRate / sourceRate));
    std::vector<float> out(outFrames);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t done = 0;
    const soxr_error_t error = soxr_oneshot(sourceRate, deviceRate, 1, in.data(), in.size(), nullptr,
                                            out.data(), out.size(), &done, &io, &quality, nullptr);
    if (error != nullptr) {
        return {};
    }
    out.resize(done);
    return out;
}

} // namespace

Mixer::Mixer() {
    stopAll();
}

void Mixer::prepare(std::span<const std::span<const std::int16_t>> sources, int sourceRate, int deviceRate,
                    int periodFrames) {
    stopAll();
    m_handover.fetch_add(1, std::memory_order_acq_rel);
    m_rate = std::max(deviceRate, 1);
    m_sources.clear();
    m_sources.reserve(sources.size());
    for (const auto& source : sources) {
        m_sources.push_back(convert(source, sourceRate, m_rate));
    }
    m_latencyFrames = static_cast<double>(kLatencyPeriods) * std::max(periodFrames, 1);
    m_latency = std::chrono::round<Clock::duration>(std::chrono::duration<double>(m_latencyFrames / m_rate));
    m_release = static_cast<float>(std::exp(-1.0 / (kLimiterReleaseSeconds * m_rate)));
    m_handover.fetch_add(1, std::memory_order_release);
}

bool Mixer::start(int sample, Clock::time_point requested) {
    return m_queue.push({sample, requested});
}

void Mixer::setGains(float left, float right) {
    m_targetLeft.store(std::clamp(left, 0.0f, 1.0f), std::memory_order_relaxed);
    m_targetRight.store(std::clamp(right, 0.0f, 1.0f), std::memory_order_relaxed);
}

void Mixer::stopAll() {
    m_handover.fetch_add(1, std::memory_order_acq_rel); // after the audio thread's last render
    VoiceStart ignored;
    while (m_queue.pop(ignored)) {
    }
    m_activeVoices = 0;
    m_freeVoices = kVoiceCount;
    for (int i = 0; i < kVoiceCount; ++i) {
        m_free[i] = static_cast<std::uint16_t>(kVoiceCount - 1 - i);
    }
    m_activeCount.store(0, std::memory_order_relaxed);
    m_frame = 0;
    m_clockValid = false;
    m_envelope = 0.0f;
}

std::span<const float> Mixer::converted(int sample) const {
    if (sample < 1 || sample > static_cast<int>(m_sources.size())) {
        return {};
    }
    return m_sources[static_cast<std::size_t>(sample - 1)];
}

void Mixer::followClock(Clock::time_point now, int frames) {
    const double nsPerFrame = 1e9 / m_rate;
    if (!m_clockValid) {
        m_base = now;
        m_anchorFrame = m_frame;
        m_anchorNs = 0.0;
        m_clockValid = true;
        return;
    }
    const double nowNs = std::chrono::duration<double, std::nano>(now - m_base).count();
    const double predictedNs = m_anchorNs + static_cast<double>(m_frame - m_anchorFrame) * nsPerFrame;
    const double error = nowNs - predictedNs;
    const double period = std::max(frames, 64) * nsPerFrame;
    if (error > kLateResyncPeriods * period || error < -kEarlyResyncPeriods * period) {
        m_anchorFrame = m_frame;
        m_anchorNs = nowNs;
    } else {
        m_anchorNs += kClockFollow * error;
    }
}

void Mixer::takeStarts() {
    const double framesPerNs = m_rate / 1e9;
    VoiceStart start;
    while (m_queue.pop(start)) {
        const std::span<const float> data = converted(start.sample);
        if (data.empty()) {
            continue;
        }
        if (m_freeVoices == 0) {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        const int index = m_free[static_cast<std::size_t>(--m_freeVoices)];
        Voice& voice = m_voices[static_cast<std::size_t>(index)];
        const double requestNs = std::chrono::duration<double, std::nano>(start.requested - m_base).count();
        const std::int64_t onset =
            m_anchorFrame + std::llround((requestNs - m_anchorNs) * framesPerNs + m_latencyFrames);
        voice.data = data.data();
        voice.length = static_cast<std::int64_t>(data.size());
        voice.position = 0;
        // A start that comes too late for its frame sounds at once, from its beginning.
        voice.startFrame = std::max(onset, m_frame);
        m_active[static_cast<std::size_t>(m_activeVoices++)] = static_cast<std::uint16_t>(index);
    }
}

void Mixer::render(float* out, int frames, Clock::time_point now) {
    m_handover.load(std::memory_order_acquire);
    followClock(now, frames);
    takeStarts();
    while (frames > 0) {
        const int n = std::min(frames, kChunk);
        mixChunk(out, n);
        out += 2 * static_cast<std::ptrdiff_t>(n);
        frames -= n;
    }
    m_activeCount.store(m_activeVoices, std::memory_order_relaxed);
    m_handover.fetch_add(1, std::memory_order_release);
}

void Mixer::mixChunk(float* out, int frames) {
    std::fill_n(m_mix.begin(), frames, 0.0f);
    const std::int64_t chunkStart = m_frame;
    const std::int64_t chunkEnd = m_frame + frames;
    for (int a = 0; a < m_activeVoices;) {
        Voice& voice = m_voices[m_active[static_cast<std::size_t>(a)]];
        if (voice.startFrame >= chunkEnd) {
            ++a;
            continue;
        }
        const std::int64_t begin = std::max<std::int64_t>(voice.startFrame + voice.position, chunkStart);
        const auto offset = static_cast<int>(begin - chunkStart);
        const auto count =
            static_cast<int>(std::min<std::int64_t>(frames - offset, voice.length - voice.position));
        const float* src = voice.data + voice.position;
        float* dst = m_mix.data() + offset;
        for (int i = 0; i < count; ++i) {
            dst[i] += src[i];
        }
        voice.position += count;
        if (voice.position >= voice.length) {
            m_free[static_cast<std::size_t>(m_freeVoices++)] = m_active[static_cast<std::size_t>(a)];
            m_active[static_cast<std::size_t>(a)] = m_active[static_cast<std::size_t>(--m_activeVoices)];
        } else {
            ++a;
        }
    }

    // Ramp the master gains over the chunk so a volume change makes no step.
    const float targetLeft = m_targetLeft.load(std::memory_order_relaxed);
    const float targetRight = m_targetRight.load(std::memory_order_relaxed);
    const float stepLeft = (targetLeft - m_left) / frames;
    const float stepRight = (targetRight - m_right) / frames;
    for (int i = 0; i < frames; ++i) {
        const float x = m_mix[static_cast<std::size_t>(i)];
        const float level = std::abs(x);
        m_envelope = std::max(level, m_envelope * m_release);
        float y = x;
        if (m_envelope > kLimiterThreshold) {
            y = std::clamp(x * (limitedPeak(m_envelope) / m_envelope), -1.0f, 1.0f);
        }
        m_left += stepLeft;
        m_right += stepRight;
        const auto at = 2 * static_cast<std::ptrdiff_t>(i);
        out[at] = y * m_left;
        out[at + 1] = y * m_right;
    }
    m_left = targetLeft;
    m_right = targetRight;
    m_frame = chunkEnd;
}

} // namespace tonmiro::sound
