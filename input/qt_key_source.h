#pragma once

#include "input/key_code.h"

#include <QObject>
#include <QPointer>
#include <QStringView>
#include <QTimer>

#include <array>
#include <bitset>

#include <optional>

class QKeyEvent;
class QWidget;

namespace tonmiro::input {

class KeyboardDevice;

// Which native scan codes a windowing platform puts into QKeyEvent::nativeScanCode().
enum class ScanCodeSet {
    None,    // no scan codes (offscreen, minimal, ...): the Qt::Key fallback is used
    X11,     // xcb and Wayland: the XKB keycode, which is the Linux evdev code + 8
    Windows, // PC set-1 scan code, extended keys flagged with 0x100 (or given as 0xE0xx)
};

ScanCodeSet scanCodeSetFor(QStringView platformName);

// The KeyCode of a physical key position, or nothing for a key without one (Windows and menu
// keys, Pause, the ISO key beside Left Shift, ...).
//
// X11 keycodes as Xvfb's and any evdev-based server's keymap gives them, and hence what
// `xdotool key` sends (named by keysym, resolved through that keymap):
//   Esc 9 -> 27; digits 1..9, 0 are 10..19 -> 49..57, 48; minus 20 -> 45; equals 21 -> 61;
//   BackSpace 22 -> 8; Tab 23 -> 9; q..p 24..33; bracketleft 34 -> 91; bracketright 35 -> 93;
//   Return 36 -> 13; Control_L 37 -> 130; a..l 38..46; semicolon 47 -> 59; apostrophe 48 -> 39;
//   grave 49 -> 96; Shift_L 50 -> 128; backslash 51 -> 92; z..m 52..58; comma 59 -> 44;
//   period 60 -> 46; slash 61 -> 47; Shift_R 62 -> 129; KP_Multiply 63 -> 157; Alt_L 64 -> 132;
//   space 65 -> 32; Caps_Lock 66 -> 173; F1..F10 67..76 -> 138..147; Num_Lock 77 -> 172;
//   Scroll_Lock 78 -> 174; KP_7 79, KP_8 80, KP_9 81, KP_Subtract 82 -> 158, KP_4 83, KP_5 84,
//   KP_6 85, KP_Add 86 -> 159, KP_1 87, KP_2 88, KP_3 89, KP_0 90, KP_Decimal 91 -> 161
//   (keypad digits -> 162..171); F11 95 -> 148; F12 96 -> 149; KP_Enter 104 -> 160;
//   Control_R 105 -> 131; KP_Divide 106 -> 156; Print 107 -> 175; Alt_R 108 -> 133;
//   Home 110 -> 152; Up 111 -> 136; Prior 112 -> 154; Left 113 -> 134; Right 114 -> 135;
//   End 115 -> 153; Down 116 -> 137; Next 117 -> 155; Insert 118 -> 150; Delete 119 -> 151.
// A keysym that needs Shift on the server's layout ("exclam", "A") makes xdotool press Shift
// as well, which reports Left Shift (128) too.
std::optional<KeyCode> keyCodeFromX11(quint32 keycode);
std::optional<KeyCode> keyCodeFromWindows(quint32 scanCode);

// Fallback for key events without a scan code. Qt::Key depends on the layout and on Shift, so
// the shifted US symbols are folded back onto their keys ('!' is the 1 key, '{' the [ key);
// Left and Right Shift, Ctrl and Alt cannot be told apart and report the left key (AltGr the
// right Alt).
std::optional<KeyCode> keyCodeFromQtKey(int key, Qt::KeyboardModifiers modifiers);

// The KeyCode of a key event: by scan code when the platform gives one, else by Qt::Key.
std::optional<KeyCode> keyCodeOf(const QKeyEvent& event, ScanCodeSet scanCodes);

// The Qt side of the keyboard input device 输入设备1. An application-wide event filter turns
// key presses (also those a shortcut takes) and releases, auto-repeat ignored, into
// "physically down" on the device, and
// activation changes of the attached window acquire and release the keyboard. A precise timer
// samples the device once per polling period and raises keyStateChanged for each change, on
// the UI thread, in ascending KeyCode order.
//
// UI thread only. The device must outlive this object.
class QtKeySource : public QObject {
    Q_OBJECT
public:
    explicit QtKeySource(KeyboardDevice& device, QObject* parent = nullptr);
    ~QtKeySource() override;

    // Watches the keyboard for window: acquired while it is the active window.
    void attach(QWidget* window);
    // Samples every milliseconds (0 or less stops sampling).
    void setPollingPeriod(int milliseconds);
    int pollingPeriod() const;

    // One sample: steps the device and raises the events. The timer calls it.
    void poll();

signals:
    void keyStateChanged(tonmiro::input::KeyCode code, tonmiro::input::KeyState state);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateAcquired();
    void keyDown(KeyCode code, quint64 timestamp);
    void keyUp(KeyCode code, quint64 timestamp);

    KeyboardDevice& m_device;
    // A press no sample has seen yet, with its time (ms), and releases held back until one has:
    // when the UI thread is busy, a key held for longer than a period can arrive as a press and
    // its release together, and it must still be played. A shorter tap stays unseen.
    std::bitset<256> m_unseen;
    std::bitset<256> m_releaseAfterSample;
    std::array<quint64, 256> m_pressTime{};
    QPointer<QWidget> m_window;
    QTimer m_timer;
    ScanCodeSet m_scanCodes = ScanCodeSet::None;
    bool m_filterInstalled = false;
};

} // namespace tonmiro::input
