#pragma once

#include <QtGlobal>

#include <memory>
#include <optional>

namespace tonmiro::sound {

class AudioOutput;

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
    void bind(quintptr windowHandle);
    bool isBound() const;

    // Starts sample 1..26 once, overlapping every voice still sounding, and returns at once.
    // Thread-safe (UI thread and playback thread at the same time). Other numbers are ignored.
    void playSample(int sample);

    // The "wave device 0" volume: left and right levels 0..65535. UI thread only.
    void setVolume(quint16 left, quint16 right);
    // The levels last set, or nothing while no volume has been set.
    std::optional<quint32> volume() const; // left in the low 16 bits, right in the high 16 bits

private:
    std::unique_ptr<AudioOutput> m_output;
    std::optional<quint32> m_volume;
};

} // namespace tonmiro::sound
