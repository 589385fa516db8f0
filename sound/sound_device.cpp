#include "sound/sound_device.h"

namespace tonmiro::sound {

class AudioOutput {};

SoundDevice::SoundDevice() = default;
SoundDevice::~SoundDevice() = default;
void SoundDevice::bind(quintptr) {}
bool SoundDevice::isBound() const { return false; }
void SoundDevice::playSample(int) {}
void SoundDevice::setVolume(quint16 left, quint16 right) { m_volume = quint32(left) | (quint32(right) << 16); }
std::optional<quint32> SoundDevice::volume() const { return m_volume; }

} // namespace tonmiro::sound
