#pragma once

#include <cstdint>
#include <span>

namespace tonmiro::sound {

class Mixer;

// The one output stream: SDL2 audio, the system's default device in shared mode, stereo float
// frames in buffers of about 256 frames at 48 kHz (the driver may give another size or rate).
// SDL's audio thread runs the mixer's render only. No audio driver or no device: open()
// fails quietly and everything else goes on silently. UI thread only.
class AudioOutput {
public:
    static constexpr int kWantedRate = 48000;
    static constexpr int kWantedPeriod = 256;

    AudioOutput() = default;
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the stream, prepares the mixer for its rate and period (converting the samples,
    // numbered 1..sources.size(), from sourceRate) and starts it. False, silently, when no
    // device could be opened. The mixer must outlive the stream.
    bool open(Mixer& mixer, std::span<const std::span<const std::int16_t>> sources, int sourceRate);
    // Stops the stream and waits for the audio thread to leave the mixer.
    void close();

    bool isOpen() const { return m_device != 0; }
    int sampleRate() const { return m_rate; }
    int periodFrames() const { return m_period; }

private:
    std::uint32_t m_device = 0;
    bool m_subsystem = false;
    int m_rate = 0;
    int m_period = 0;
};

} // namespace tonmiro::sound
