#include "sound/sample_bank.h"

#include <QFile>
#include <QString>

#include <cstring>
#include <optional>

namespace tonmiro::sound {

namespace {

std::uint32_t read16(QByteArrayView bytes, qsizetype at) {
    return static_cast<std::uint8_t>(bytes[at]) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8);
}

std::uint32_t read32(QByteArrayView bytes, qsizetype at) {
    return read16(bytes, at) | (read16(bytes, at + 2) << 16);
}

bool tagAt(QByteArrayView bytes, qsizetype at, const char (&tag)[5]) {
    return std::memcmp(bytes.data() + at, tag, 4) == 0;
}

} // namespace

const SampleBank& SampleBank::embedded() {
    static const SampleBank bank = [] {
        SampleBank b;
        for (int i = 0; i < kCount; ++i) {
            QFile file(QStringLiteral(":/tonmiro/sound/s%1.wav").arg(i + 1, 2, 10, QLatin1Char('0')));
            if (file.open(QIODevice::ReadOnly)) {
                b.m_images[i] = file.readAll();
            }
            b.m_pcm[i] = decodeImage(b.m_images[i]);
            b.m_frames[i] = b.m_pcm[i];
        }
        return b;
    }();
    return bank;
}

QByteArrayView SampleBank::image(int sample) const {
    if (sample < 1 || sample > kCount) {
        return {};
    }
    return m_images[sample - 1];
}

std::span<const std::int16_t> SampleBank::frames(int sample) const {
    if (sample < 1 || sample > kCount) {
        return {};
    }
    return m_frames[sample - 1];
}

std::vector<std::int16_t> SampleBank::decodeImage(QByteArrayView image) {
    const qsizetype size = image.size();
    if (size < 12 || !tagAt(image, 0, "RIFF") || !tagAt(image, 8, "WAVE")) {
        return {};
    }
    // The RIFF size may claim less than the image holds (trailing bytes are ignored) but not more.
    const qsizetype riffEnd = 8 + static_cast<qsizetype>(read32(image, 4));
    if (riffEnd > size) {
        return {};
    }

    bool formatOk = false;
    bool formatSeen = false;
    std::optional<std::pair<qsizetype, qsizetype>> data; // offset, bytes
    qsizetype at = 12;
    while (at + 8 <= riffEnd && !data) {
        const qsizetype chunkSize = read32(image, at + 4);
        const qsizetype body = at + 8;
        if (chunkSize > riffEnd - body) {
            return {};
        }
        if (tagAt(image, at, "fmt ")) {
            if (chunkSize < 16) {
                return {};
            }
            formatSeen = true;
            formatOk = read16(image, body) == 1        // PCM
                       && read16(image, body + 2) == 1 // mono
                       && read32(image, body + 4) == kSampleRate &&
                       read32(image, body + 8) == 2 * kSampleRate &&
                       read16(image, body + 12) == 2      // block alignment
                       && read16(image, body + 14) == 16; // bits per sample
        } else if (tagAt(image, at, "data")) {
            data.emplace(body, chunkSize);
        }
        at = body + chunkSize + (chunkSize & 1); // chunks are padded to even sizes
    }
    if (!formatSeen || !formatOk || !data || data->second < 2) {
        return {};
    }

    const auto [offset, bytes] = *data;
    std::vector<std::int16_t> frames(static_cast<std::size_t>(bytes / 2));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = static_cast<std::int16_t>(read16(image, offset + 2 * static_cast<qsizetype>(i)));
    }
    return frames;
}

} // namespace tonmiro::sound
