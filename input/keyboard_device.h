#pragma once

#include "input/key_code.h"

#include <array>
#include <bitset>

namespace tonmiro::input {

// The changes one sample reports, in ascending KeyCode order. A value type with room for every
// code, so that sampling never allocates.
class KeyChanges {
public:
    static constexpr int kCapacity = kLastKeyCode - kFirstKeyCode + 1;

    void push(KeyChange change) { m_items[static_cast<std::size_t>(m_count++)] = change; }
    int size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    const KeyChange& operator[](int i) const { return m_items[static_cast<std::size_t>(i)]; }
    const KeyChange* begin() const { return m_items.data(); }
    const KeyChange* end() const { return m_items.data() + m_count; }

private:
    std::array<KeyChange, kCapacity> m_items{};
    int m_count = 0;
};

// The keyboard input device 输入设备1, without any platform: it is told which physical keys are
// down, and each sample() steps every KeyState and reports the changes.
//
// While the keyboard is not acquired the device ignores what it is told, so keys pressed while
// the window is inactive are never seen. Acquiring or releasing the keyboard sets every key Idle
// and forgets which keys were down: a key held across a change of the active window gives no
// further events until it is pressed again, and its release (which may never arrive) is not
// needed.
//
// Plain data, no threads: owned and used by the UI thread.
class KeyboardDevice {
public:
    // Whether the physical key is down right now. Ignored while the keyboard is not acquired.
    void setKeyDown(KeyCode code, bool down);

    // Starts (true) or stops (false) watching the keyboard; either sets every key Idle.
    void acquire(bool keyboard);
    bool isAcquired() const { return m_acquired; }

    // The key's current state; Idle for a code outside 8 to 176.
    KeyState keyState(int code) const;
    KeyState keyState(KeyCode code) const { return keyState(toInt(code)); }

    // One polling period: while acquired, steps every key by whether it is down (down: Idle and
    // Released become Pressed, Pressed becomes Held; up: Pressed and Held become Released,
    // Released becomes Idle). Then, after all keys are stepped, returns every key whose state
    // differs from the state last reported for it, in ascending code order, and remembers it as
    // reported. A key set Idle by acquire() is thus reported Idle, never Released.
    KeyChanges sample();

private:
    static constexpr int kSlots = kLastKeyCode + 1;

    std::bitset<kSlots> m_down;
    std::array<KeyState, kSlots> m_state{};
    std::array<KeyState, kSlots> m_reported{};
    bool m_acquired = false;
};

} // namespace tonmiro::input
