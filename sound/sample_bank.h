#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tonmiro::sound {

// The 26 built-in note samples S01..S26: RIFF WAVE images (PCM mono 16-bit, 11,025 Hz,
// 33,404 frames, 66,860 bytes), embedded as resources and parsed once. Immutable after
// construction; safe to read from any thread.
class SampleBank {
public:
    static constexpr int kCount = 26;
    static constexpr int kSampleRate = 11025;
    static constexpr int kFrames = 33404;
    static constexpr int kImageSize = 66860;

    // The bank built from the embedded resources (loaded on first use; any thread).
    static const SampleBank& embedded();

    // The whole WAVE image of sample 1..26 (empty for another number or a missing resource).
    QByteArrayView image(int sample) const;

    // The PCM frames of sample 1..26 (empty span for another number or a damaged image).
    std::span<const std::int16_t> frames(int sample) const;

    // The frames of a RIFF WAVE image in PCM mono 16-bit at 11,025 Hz, of any length and with
    // any extra chunks (so a real recording of that format can replace a built-in sample).
    // Empty when the image is damaged, truncated or of another format.
    static std::vector<std::int16_t> decodeImage(QByteArrayView image);

private:
    SampleBank() = default;
    std::array<QByteArray, kCount> m_images;
    std::array<std::vector<std::int16_t>, kCount> m_pcm;
    std::array<std::span<const std::int16_t>, kCount> m_frames;
};

} // namespace tonmiro::sound
