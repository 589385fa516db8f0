#include "sound/sound_device.h"

#include "sound/audio_output.h"
#include "sound/mixer.h"
#include "sound/sample_bank.h"

#include <array>

namespace tonmiro::sound {

SoundDevice::SoundDevice() : m_mixer(std::make_unique<Mixer>()) {}

SoundDevice::~SoundDevice() {
    // Closing the stream waits for the audio thread to leave the mixer; every voice stops.
    m_open.store(false, std::memory_order_release);
    m_output.reset();
    m_mixer->stopAll();
}

void SoundDevice::bind(quintptr) {
    if (m_bound) {
        return;
    }
    m_bound = true;
    const SampleBank& bank = SampleBank::embedded();
    std::array<std::span<const std::int16_t>, SampleBank::kCount> sources;
    for (int i = 0; i < SampleBank::kCount; ++i) {
        sources[static_cast<std::size_t>(i)] = bank.frames(i + 1);
    }
    m_output = std::make_unique<AudioOutput>();
    if (m_output->open(*m_mixer, sources, SampleBank::kSampleRate)) {
        m_open.store(true, std::memory_order_release);
    }
}

bool SoundDevice::isBound() const {
    return m_bound;
}

bool SoundDevice::isOutputOpen() const {
    return m_open.load(std::memory_order_acquire);
}

void SoundDevice::playSample(int sample) {
    if (sample < 1 || sample > SampleBank::kCount || !m_open.load(std::memory_order_acquire)) {
        return;
    }
    m_mixer->start(sample, Mixer::Clock::now());
}

void SoundDevice::playSampleNow(int sample) {
    if (sample < 1 || sample > SampleBank::kCount || !m_open.load(std::memory_order_acquire)) {
        return;
    }
    // Stamped one latency early, the start is due at once: the mixer sounds a due start from
    // the first frame of the buffer it renders next.
    m_mixer->start(sample, Mixer::Clock::now() - m_mixer->latency());
}

void SoundDevice::setVolume(quint16 left, quint16 right) {
    m_volume = quint32(left) | (quint32(right) << 16);
    m_mixer->setGains(left / 65535.0f, right / 65535.0f);
}

std::optional<quint32> SoundDevice::volume() const {
    return m_volume;
}

} // namespace tonmiro::sound
