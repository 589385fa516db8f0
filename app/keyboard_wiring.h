#pragma once

#include <memory>

namespace tonmiro::input {
class KeyboardDevice;
class KeyboardView;
class KeyHandler;
class QtKeySource;
} // namespace tonmiro::input

namespace tonmiro::app {

class MainWindow;

// Connects the computer keyboard to the main window: the 58 on-screen key buttons in 分组框1,
// the keyboard input device 输入设备1 and the key handler. UI thread only.
class KeyboardWiring {
public:
    // Creates the key buttons inside window.keyboardGroup(). Called while the layout is built.
    explicit KeyboardWiring(MainWindow& window);
    ~KeyboardWiring();

    // Window-created sequence: attach the input device to the window, then set its polling period.
    void attach();
    void setPollingPeriod(int milliseconds);

private:
    class Actions;

    MainWindow& m_window;
    std::unique_ptr<input::KeyboardView> m_view;
    std::unique_ptr<input::KeyboardDevice> m_device;
    std::unique_ptr<Actions> m_actions;
    std::unique_ptr<input::KeyHandler> m_handler;
    // Last, so that it goes first: no key event arrives while the rest is being torn down.
    std::unique_ptr<input::QtKeySource> m_source;
};

} // namespace tonmiro::app
