#pragma once

#include "input/key_code.h"

#include <QByteArrayView>

namespace tonmiro::input {

class KeyboardDevice;

// What the key handler does to the rest of the program.
class KeyActions {
public:
    virtual ~KeyActions() = default;
    // Starts sample 1..26 and returns at once.
    virtual void playSample(int sample) = 0;
    // Enables or greys the on-screen button of that code (a button code from KeyTable::buttonOf).
    virtual void setButtonEnabled(KeyCode button, bool enabled) = 0;
    // Replaces the selection of the score with GBK bytes, as one undoable edit.
    virtual void replaceSelection(QByteArrayView gbkText) = 0;
};

// The handler of the device's key state changed event. Released enables the key's button;
// Pressed, unless a Ctrl key is not Idle, starts the key's sample, then greys its button, then
// writes its text; Idle and Held do nothing.
//
// The Ctrl test reads the device, which has already stepped the whole sample when its events
// are raised: a key that goes down in the same sample as Ctrl, or in the sample right after
// Ctrl went up, is ignored.
//
// UI thread only. Keeps references to the device and the actions, which must outlive it.
class KeyHandler {
public:
    KeyHandler(const KeyboardDevice& device, KeyActions& actions);

    void handle(KeyChange change);

private:
    const KeyboardDevice& m_device;
    KeyActions& m_actions;
};

} // namespace tonmiro::input
