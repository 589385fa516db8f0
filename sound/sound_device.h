#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <optional>

namespace tonmiro::sound {

class AudioOutput;
class Mixer;

// The program's sound-device object: created before the main window, bound to it by the
// window-created sequence (which opens the audio output), destroyed at exit (which stops every
// voice). Lives on the UI thread; playSample() may be called from any thread.
class SoundDevice {
public:
    SoundDevice();
    ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // Opens the default output in shared mode. No device or no driver: stays silent, no error.
    // A second call does nothing. UI thread.
    void bind(quintptr windowHandle);
    // Whether bind() has been called (whether or not an output could be opened).
    bool isBound() const;
    // Whether an output stream is open, so that started samples are heard.
    bool isOutputOpen() const;

    // Starts sample 1..26 once, overlapping every voice still sounding, and returns at once.
    // Thread-safe (UI thread and playback thread at the same time). Other numbers are ignored.
    void playSample(int sample);

    // The same for a note played live (a key, a palette click): it sounds from the next buffer
    // without the fixed scheduling latency, since its moment carries no timing to keep.
    // Thread-safe.
    void playSampleNow(int sample);

    // The "wave device 0" volume: left and right levels 0..65535. UI thread only.
    void setVolume(quint16 left, quint16 right);
    // The levels last set, or nothing while no volume has been set.
    std::optional<quint32> volume() const; // left in the low 16 bits, right in the high 16 bits

    // The mixer behind the output, for inspection (voice counts). Any thread.
    const Mixer& mixer() const { return *m_mixer; }

private:
    std::unique_ptr<Mixer> m_mixer;
    std::unique_ptr<AudioOutput> m_output;
    std::atomic<bool> m_open{false};
    bool m_bound = false;
    std::optional<quint32> m_volume;
};

} // namespace tonmiro::sound
