#include "input/qt_key_source.h"

#include "input/keyboard_device.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>

#include <array>

namespace tonmiro::input {

namespace {

// PC set-1 scan codes 0x01..0x58 of the keys that send no 0xE0 prefix. Linux evdev codes 1..88
// are the same numbers, so the table serves both platforms.
constexpr int kBaseCount = 0x59;
constexpr std::array<quint8, kBaseCount> kSet1Base = [] {
    std::array<quint8, kBaseCount> t{};
    t[0x01] = 27;                         // Esc
    for (std::size_t i = 0; i < 9; ++i) { // 1..9
        t[0x02 + i] = static_cast<quint8>('1' + i);
    }
    t[0x0B] = '0';
    t[0x0C] = 45; // minus
    t[0x0D] = 61; // equals
    t[0x0E] = 8;  // Backspace
    t[0x0F] = 9;  // Tab
    const char top[] = "qwertyuiop";
    for (std::size_t i = 0; i < 10; ++i) {
        t[0x10 + i] = static_cast<quint8>(top[i]);
    }
    t[0x1A] = 91;  // [
    t[0x1B] = 93;  // ]
    t[0x1C] = 13;  // Enter
    t[0x1D] = 130; // Left Ctrl
    const char home[] = "asdfghjkl";
    for (std::size_t i = 0; i < 9; ++i) {
        t[0x1E + i] = static_cast<quint8>(home[i]);
    }
    t[0x27] = 59;  // ;
    t[0x28] = 39;  // '
    t[0x29] = 96;  // `
    t[0x2A] = 128; // Left Shift
    t[0x2B] = 92;  // backslash
    const char bottom[] = "zxcvbnm";
    for (std::size_t i = 0; i < 7; ++i) {
        t[0x2C + i] = static_cast<quint8>(bottom[i]);
    }
    t[0x33] = 44;                          // ,
    t[0x34] = 46;                          // .
    t[0x35] = 47;                          // /
    t[0x36] = 129;                         // Right Shift
    t[0x37] = 157;                         // keypad *
    t[0x38] = 132;                         // Left Alt
    t[0x39] = 32;                          // Space
    t[0x3A] = 173;                         // Caps Lock
    for (std::size_t i = 0; i < 10; ++i) { // F1..F10
        t[0x3B + i] = static_cast<quint8>(138 + i);
    }
    t[0x45] = 172; // Num Lock (evdev; on Windows this code without the extended flag is Pause)
    t[0x46] = 174; // Scroll Lock
    t[0x47] = 169; // keypad 7
    t[0x48] = 170; // keypad 8
    t[0x49] = 171; // keypad 9
    t[0x4A] = 158; // keypad -
    t[0x4B] = 166; // keypad 4
    t[0x4C] = 167; // keypad 5
    t[0x4D] = 168; // keypad 6
    t[0x4E] = 159; // keypad +
    t[0x4F] = 163; // keypad 1
    t[0x50] = 164; // keypad 2
    t[0x51] = 165; // keypad 3
    t[0x52] = 162; // keypad 0
    t[0x53] = 161; // keypad .
    t[0x57] = 148; // F11
    t[0x58] = 149; // F12
    return t;
}();

std::optional<KeyCode> fromTable(quint8 value) {
    if (value == 0) {
        return std::nullopt;
    }
    return static_cast<KeyCode>(value);
}

std::optional<KeyCode> fromBase(quint32 code) {
    return code < kBaseCount ? fromTable(kSet1Base[code]) : std::nullopt;
}

// The US symbol that Shift gives on each key, folded back onto the key's own character.
int unshiftedUs(int key) {
    switch (key) {
    case '!':
        return '1';
    case '@':
        return '2';
    case '#':
        return '3';
    case '$':
        return '4';
    case '%':
        return '5';
    case '^':
        return '6';
    case '&':
        return '7';
    case '*':
        return '8';
    case '(':
        return '9';
    case ')':
        return '0';
    case '_':
        return '-';
    case '+':
        return '=';
    case '{':
        return '[';
    case '}':
        return ']';
    case '|':
        return '\\';
    case ':':
        return ';';
    case '"':
        return '\'';
    case '<':
        return ',';
    case '>':
        return '.';
    case '?':
        return '/';
    case '~':
        return '`';
    default:
        return key;
    }
}

std::optional<KeyCode> keypadKeyFromQt(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return keypadDigitKey(key - Qt::Key_0);
    }
    switch (key) {
    case Qt::Key_Slash:
        return KeyCode::KeypadSlash;
    case Qt::Key_Asterisk:
        return KeyCode::KeypadStar;
    case Qt::Key_Minus:
        return KeyCode::KeypadMinus;
    case Qt::Key_Plus:
        return KeyCode::KeypadPlus;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        return KeyCode::KeypadEnter;
    case Qt::Key_Period:
    case Qt::Key_Comma:
    case Qt::Key_Delete:
        return KeyCode::KeypadFullStop;
    // The keypad's navigation meanings while Num Lock is off.
    case Qt::Key_Insert:
        return keypadDigitKey(0);
    case Qt::Key_End:
        return keypadDigitKey(1);
    case Qt::Key_Down:
        return keypadDigitKey(2);
    case Qt::Key_PageDown:
        return keypadDigitKey(3);
    case Qt::Key_Left:
        return keypadDigitKey(4);
    case Qt::Key_Clear:
        return keypadDigitKey(5);
    case Qt::Key_Right:
        return keypadDigitKey(6);
    case Qt::Key_Home:
        return keypadDigitKey(7);
    case Qt::Key_Up:
        return keypadDigitKey(8);
    case Qt::Key_PageUp:
        return keypadDigitKey(9);
    case Qt::Key_NumLock:
        return KeyCode::NumLock;
    default:
        return std::nullopt;
    }
}

} // namespace

ScanCodeSet scanCodeSetFor(QStringView platformName) {
    if (platformName == u"xcb" || platformName.startsWith(u"wayland")) {
        return ScanCodeSet::X11;
    }
    if (platformName == u"windows") {
        return ScanCodeSet::Windows;
    }
    return ScanCodeSet::None;
}

std::optional<KeyCode> keyCodeFromX11(quint32 keycode) {
    if (keycode < 8) {
        return std::nullopt;
    }
    const quint32 evdev = keycode - 8;
    switch (evdev) {
    case 96:
        return KeyCode::KeypadEnter;
    case 97:
        return KeyCode::RightCtrl;
    case 98:
        return KeyCode::KeypadSlash;
    case 99:
        return KeyCode::PrintScreen; // KEY_SYSRQ
    case 100:
        return KeyCode::RightAlt;
    case 102:
        return KeyCode::Home;
    case 103:
        return KeyCode::Up;
    case 104:
        return KeyCode::PageUp;
    case 105:
        return KeyCode::Left;
    case 106:
        return KeyCode::Right;
    case 107:
        return KeyCode::End;
    case 108:
        return KeyCode::Down;
    case 109:
        return KeyCode::PageDown;
    case 110:
        return KeyCode::Insert;
    case 111:
        return KeyCode::Delete;
    default:
        return fromBase(evdev);
    }
}

std::optional<KeyCode> keyCodeFromWindows(quint32 scanCode) {
    // Qt gives bits 16..24 of the message's lParam: the scan code and the extended-key flag as
    // 0x100. Some sources write the extended prefix as 0xE0 in the high byte instead.
    const bool extended = (scanCode & 0x100) != 0 || (scanCode & 0xFF00) == 0xE000;
    const quint32 code = scanCode & 0xFF;
    if (!extended) {
        switch (code) {
        case 0x45:
            return std::nullopt; // Pause
        case 0x54:
            return KeyCode::PrintScreen; // Alt+Print Screen (SysRq)
        default:
            return fromBase(code);
        }
    }
    switch (code) {
    case 0x1C:
        return KeyCode::KeypadEnter;
    case 0x1D:
        return KeyCode::RightCtrl;
    case 0x35:
        return KeyCode::KeypadSlash;
    case 0x37:
        return KeyCode::PrintScreen;
    case 0x38:
        return KeyCode::RightAlt;
    case 0x45:
        return KeyCode::NumLock;
    case 0x47:
        return KeyCode::Home;
    case 0x48:
        return KeyCode::Up;
    case 0x49:
        return KeyCode::PageUp;
    case 0x4B:
        return KeyCode::Left;
    case 0x4D:
        return KeyCode::Right;
    case 0x4F:
        return KeyCode::End;
    case 0x50:
        return KeyCode::Down;
    case 0x51:
        return KeyCode::PageDown;
    case 0x52:
        return KeyCode::Insert;
    case 0x53:
        return KeyCode::Delete;
    default:
        // Windows keys, menu key, media keys, and the fake Shift (E0 2A) that some keyboards
        // send around Print Screen and the arrows.
        return std::nullopt;
    }
}

std::optional<KeyCode> keyCodeFromQtKey(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        if (auto code = keypadKeyFromQt(key)) {
            return code;
        }
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return letterKey(static_cast<char>('A' + (key - Qt::Key_A)));
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        return functionKey(key - Qt::Key_F1 + 1);
    }
    if (key > 0x20 && key < 0x7F) {
        const int base = unshiftedUs(key);
        if (isReportedKeyCode(base)) {
            return static_cast<KeyCode>(base);
        }
        return std::nullopt;
    }
    switch (key) {
    case Qt::Key_Backspace:
        return KeyCode::Backspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return KeyCode::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return KeyCode::Enter;
    case Qt::Key_Escape:
        return KeyCode::Esc;
    case Qt::Key_Space:
        return KeyCode::Space;
    case Qt::Key_Shift:
        return KeyCode::LeftShift;
    case Qt::Key_Control:
        return KeyCode::LeftCtrl;
    case Qt::Key_Alt:
        return KeyCode::LeftAlt;
    case Qt::Key_AltGr:
        return KeyCode::RightAlt;
    case Qt::Key_Left:
        return KeyCode::Left;
    case Qt::Key_Right:
        return KeyCode::Right;
    case Qt::Key_Up:
        return KeyCode::Up;
    case Qt::Key_Down:
        return KeyCode::Down;
    case Qt::Key_Insert:
        return KeyCode::Insert;
    case Qt::Key_Delete:
        return KeyCode::Delete;
    case Qt::Key_Home:
        return KeyCode::Home;
    case Qt::Key_End:
        return KeyCode::End;
    case Qt::Key_PageUp:
        return KeyCode::PageUp;
    case Qt::Key_PageDown:
        return KeyCode::PageDown;
    case Qt::Key_NumLock:
        return KeyCode::NumLock;
    case Qt::Key_CapsLock:
        return KeyCode::CapsLock;
    case Qt::Key_ScrollLock:
        return KeyCode::ScrollLock;
    case Qt::Key_Print:
    case Qt::Key_SysReq:
        return KeyCode::PrintScreen;
    default:
        return std::nullopt;
    }
}

std::optional<KeyCode> keyCodeOf(const QKeyEvent& event, ScanCodeSet scanCodes) {
    const quint32 scanCode = event.nativeScanCode();
    if (scanCode != 0) {
        switch (scanCodes) {
        case ScanCodeSet::X11:
            return keyCodeFromX11(scanCode);
        case ScanCodeSet::Windows:
            return keyCodeFromWindows(scanCode);
        case ScanCodeSet::None:
            break;
        }
    }
    return keyCodeFromQtKey(event.key(), event.modifiers());
}

QtKeySource::QtKeySource(KeyboardDevice& device, QObject* parent)
    : QObject(parent), m_device(device), m_scanCodes(scanCodeSetFor(QGuiApplication::platformName())) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &QtKeySource::poll);
}

QtKeySource::~QtKeySource() {
    if (m_filterInstalled && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

void QtKeySource::attach(QWidget* window) {
    m_window = window;
    if (!m_filterInstalled && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
        m_filterInstalled = true;
    }
    updateAcquired();
}

void QtKeySource::setPollingPeriod(int milliseconds) {
    if (milliseconds <= 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(milliseconds);
}

int QtKeySource::pollingPeriod() const {
    return m_timer.isActive() ? m_timer.interval() : 0;
}

void QtKeySource::poll() {
    const KeyChanges changes = m_device.sample();
    m_unseen.reset();
    if (m_releaseAfterSample.any()) {
        for (std::size_t i = 0; i < m_releaseAfterSample.size(); ++i) {
            if (m_releaseAfterSample.test(i)) {
                m_device.setKeyDown(KeyCode(i), false);
            }
        }
        m_releaseAfterSample.reset();
    }
    for (const KeyChange& change : changes) {
        emit keyStateChanged(change.code, change.state);
    }
}

void QtKeySource::updateAcquired() {
    // Compared with the active window itself: isActiveWindow() also holds while a tool window
    // of this one is active, and the keyboard is to be released then.
    const bool active = m_window != nullptr && QApplication::activeWindow() == m_window->window();
    if (active != m_device.isAcquired()) {
        m_device.acquire(active);
        m_unseen.reset();
        m_releaseAfterSample.reset();
    }
}

void QtKeySource::keyDown(KeyCode code, quint64 timestamp) {
    const auto i = static_cast<std::size_t>(toInt(code));
    if (m_device.isAcquired() && m_device.keyState(code) != KeyState::Pressed &&
        m_device.keyState(code) != KeyState::Held && !m_unseen.test(i)) {
        m_unseen.set(i);
        m_pressTime[i] = timestamp;
    }
    m_releaseAfterSample.reset(i);
    m_device.setKeyDown(code, true);
}

void QtKeySource::keyUp(KeyCode code, quint64 timestamp) {
    const auto i = static_cast<std::size_t>(toInt(code));
    const int period = pollingPeriod();
    if (m_unseen.test(i) && period > 0 && timestamp >= m_pressTime[i] + quint64(period)) {
        m_releaseAfterSample.set(i); // held long enough to be sampled: let one sample see it
        return;
    }
    m_unseen.reset(i);
    m_device.setKeyDown(code, false);
}

bool QtKeySource::eventFilter(QObject* /*watched*/, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride: // a shortcut (Esc closes the window) may take the press
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // A key event reaches the filter once for each object it is offered to (the window,
        // the focus widget, its parents), and a press also comes as ShortcutOverride first;
        // setting "down" is idempotent, so that is harmless.
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->isAutoRepeat()) {
            break;
        }
        if (const auto code = keyCodeOf(*key, m_scanCodes)) {
            if (event->type() == QEvent::KeyRelease) {
                keyUp(*code, key->timestamp());
            } else {
                keyDown(*code, key->timestamp());
            }
        }
        break;
    }
    case QEvent::ActivationChange:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        // Any window's: when a tool window of the watched one becomes active, Qt may tell only
        // the tool window. updateAcquired() acts only on a real change.
        updateAcquired();
        break;
    default:
        break;
    }
    return false;
}

} // namespace tonmiro::input
