#pragma once

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
    MainWindow& m_window;
};

} // namespace tonmiro::app
