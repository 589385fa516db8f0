#include "input/key_handler.h"

#include "input/key_table.h"
#include "input/keyboard_device.h"

namespace tonmiro::input {

KeyHandler::KeyHandler(const KeyboardDevice& device, KeyActions& actions)
    : m_device(device), m_actions(actions) {}

void KeyHandler::handle(KeyChange change) {
    switch (change.state) {
    case KeyState::Released:
        m_actions.setButtonEnabled(KeyTable::buttonOf(change.code), true);
        return;
    case KeyState::Pressed: {
        if (m_device.keyState(KeyCode::LeftCtrl) != KeyState::Idle ||
            m_device.keyState(KeyCode::RightCtrl) != KeyState::Idle) {
            return;
        }
        if (const int sample = KeyTable::sampleOf(change.code); sample != 0) {
            m_actions.playSample(sample);
        }
        m_actions.setButtonEnabled(KeyTable::buttonOf(change.code), false);
        if (const QByteArrayView text = KeyTable::textOf(change.code); !text.isEmpty()) {
            m_actions.replaceSelection(text);
        }
        return;
    }
    case KeyState::Idle:
    case KeyState::Held:
        return;
    }
}

} // namespace tonmiro::input
