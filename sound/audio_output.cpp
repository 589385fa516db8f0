#include "sound/audio_output.h"

#include "sound/mixer.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstring>

namespace tonmiro::sound {

namespace {

// SDL's audio thread: hand the buffer to the mixer, stamped with the time it is filled.
void renderCallback(void* user, Uint8* stream, int bytes) {
    auto* mixer = static_cast<Mixer*>(user);
    const int frames = bytes / static_cast<int>(2 * sizeof(float));
    mixer->render(reinterpret_cast<float*>(stream), frames, Mixer::Clock::now());
    const int rest = bytes - frames * static_cast<int>(2 * sizeof(float));
    if (rest > 0) {
        std::memset(stream + (bytes - rest), 0, static_cast<std::size_t>(rest));
    }
}

} // namespace

AudioOutput::~AudioOutput() {
    close();
}

bool AudioOutput::open(Mixer& mixer, std::span<const std::span<const std::int16_t>> sources, int sourceRate) {
    close();
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Tonmiro");
    // The program handles its own signals; SDL must not install any.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return false;
    }
    m_subsystem = true;

    SDL_AudioSpec wanted;
    SDL_zero(wanted);
    wanted.freq = kWantedRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = kWantedPeriod;
    wanted.callback = renderCallback;
    wanted.userdata = &mixer;
    SDL_AudioSpec obtained;
    SDL_zero(obtained);
    // SDL converts to the device's own format and channel count; rate and buffer size are
    // taken as the device gives them, and the mixer is prepared for those.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(
        nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (device == 0) {
        close();
        return false;
    }
    m_device = device;
    m_rate = obtained.freq;
    m_period = obtained.samples;
    mixer.prepare(sources, sourceRate, m_rate, m_period);
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void AudioOutput::close() {
    if (m_device != 0) {
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    if (m_subsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_subsystem = false;
    }
    m_rate = 0;
    m_period = 0;
}

} // namespace tonmiro::sound
