#include "input/keyboard_device.h"

namespace tonmiro::input {

namespace {

KeyState step(KeyState state, bool down) {
    if (down) {
        return (state == KeyState::Idle || state == KeyState::Released) ? KeyState::Pressed : KeyState::Held;
    }
    return (state == KeyState::Pressed || state == KeyState::Held) ? KeyState::Released : KeyState::Idle;
}

} // namespace

void KeyboardDevice::setKeyDown(KeyCode code, bool down) {
    const int slot = toInt(code);
    if (!m_acquired || slot < kFirstKeyCode || slot > kLastKeyCode) {
        return;
    }
    m_down.set(static_cast<std::size_t>(slot), down);
}

void KeyboardDevice::acquire(bool keyboard) {
    m_acquired = keyboard;
    m_down.reset();
    m_state.fill(KeyState::Idle);
}

KeyState KeyboardDevice::keyState(int code) const {
    if (code < kFirstKeyCode || code > kLastKeyCode) {
        return KeyState::Idle;
    }
    return m_state[static_cast<std::size_t>(code)];
}

KeyChanges KeyboardDevice::sample() {
    if (m_acquired) {
        for (int code = kFirstKeyCode; code <= kLastKeyCode; ++code) {
            const auto slot = static_cast<std::size_t>(code);
            m_state[slot] = step(m_state[slot], m_down.test(slot));
        }
    }
    KeyChanges changes;
    for (int code = kFirstKeyCode; code <= kLastKeyCode; ++code) {
        const auto slot = static_cast<std::size_t>(code);
        if (m_state[slot] != m_reported[slot]) {
            m_reported[slot] = m_state[slot];
            changes.push({static_cast<KeyCode>(code), m_state[slot]});
        }
    }
    return changes;
}

} // namespace tonmiro::input
