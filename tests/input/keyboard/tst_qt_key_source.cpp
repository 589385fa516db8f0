#include "input/keyboard_device.h"
#include "input/qt_key_source.h"
#include "tests/input/keyboard/keyboard_tests.h"

#include <QKeyEvent>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#ifdef __linux__
#include <linux/input-event-codes.h>
#endif

#include <map>

namespace tonmiro::input::tests {

namespace {

int codeOr0(std::optional<KeyCode> code) {
    return code ? toInt(*code) : 0;
}

// keycode -> KeyCode of every keycode a table maps; fails the test on a code mapped twice.
template <typename Map> std::map<int, int> reverseTable(Map map, quint32 limit) {
    std::map<int, int> seen; // KeyCode -> scan code
    for (quint32 scan = 0; scan < limit; ++scan) {
        if (const auto code = map(scan)) {
            const auto [it, inserted] = seen.emplace(toInt(*code), int(scan));
            if (!inserted) {
                qWarning("KeyCode %d from both %#x and %#x", toInt(*code), it->second, scan);
                return {};
            }
        }
    }
    return seen;
}

QList<int> reportedCodes() {
    QList<int> codes;
    for (int code = 0; code < 256; ++code) {
        if (isReportedKeyCode(code)) {
            codes << code;
        }
    }
    return codes;
}

} // namespace

class QtKeySourceTest : public QObject {
    Q_OBJECT
private slots:
    void x11Keycodes_data();
    void x11Keycodes();
    void windowsScanCodes_data();
    void windowsScanCodes();
    void everyKeyCodeFromExactlyOneKey();
    void qtKeyFallback_data();
    void qtKeyFallback();
    void scanCodeWinsOverLayoutAndShift();
    void platforms();
    void filterFollowsTheKeysWhileActive();
    void deactivationReleasesTheKeyboard();
    void keysTakenByAShortcutStillGoDown();
    void aHeldKeyWhoseEventsArriveTogetherIsStillSeen_data();
    void aHeldKeyWhoseEventsArriveTogetherIsStillSeen();
};

void QtKeySourceTest::x11Keycodes_data() {
    // The kernel's own key names: the XKB keycode is the evdev code + 8.
    QTest::addColumn<int>("evdev");
    QTest::addColumn<int>("code"); // 0: no KeyCode
#ifdef __linux__
    QTest::newRow("A") << KEY_A << 97;
    QTest::newRow("Z") << KEY_Z << 122;
    QTest::newRow("Q") << KEY_Q << 113;
    QTest::newRow("M") << KEY_M << 109;
    QTest::newRow("1") << KEY_1 << 49;
    QTest::newRow("0") << KEY_0 << 48;
    QTest::newRow("Backspace") << KEY_BACKSPACE << 8;
    QTest::newRow("Tab") << KEY_TAB << 9;
    QTest::newRow("Enter") << KEY_ENTER << 13;
    QTest::newRow("Esc") << KEY_ESC << 27;
    QTest::newRow("Space") << KEY_SPACE << 32;
    QTest::newRow("apostrophe") << KEY_APOSTROPHE << 39;
    QTest::newRow("comma") << KEY_COMMA << 44;
    QTest::newRow("minus") << KEY_MINUS << 45;
    QTest::newRow("dot") << KEY_DOT << 46;
    QTest::newRow("slash") << KEY_SLASH << 47;
    QTest::newRow("semicolon") << KEY_SEMICOLON << 59;
    QTest::newRow("equal") << KEY_EQUAL << 61;
    QTest::newRow("left brace") << KEY_LEFTBRACE << 91;
    QTest::newRow("backslash") << KEY_BACKSLASH << 92;
    QTest::newRow("right brace") << KEY_RIGHTBRACE << 93;
    QTest::newRow("grave") << KEY_GRAVE << 96;
    QTest::newRow("Left Shift") << KEY_LEFTSHIFT << 128;
    QTest::newRow("Right Shift") << KEY_RIGHTSHIFT << 129;
    QTest::newRow("Left Ctrl") << KEY_LEFTCTRL << 130;
    QTest::newRow("Right Ctrl") << KEY_RIGHTCTRL << 131;
    QTest::newRow("Left Alt") << KEY_LEFTALT << 132;
    QTest::newRow("Right Alt") << KEY_RIGHTALT << 133;
    QTest::newRow("Left") << KEY_LEFT << 134;
    QTest::newRow("Right") << KEY_RIGHT << 135;
    QTest::newRow("Up") << KEY_UP << 136;
    QTest::newRow("Down") << KEY_DOWN << 137;
    QTest::newRow("F1") << KEY_F1 << 138;
    QTest::newRow("F10") << KEY_F10 << 147;
    QTest::newRow("F11") << KEY_F11 << 148;
    QTest::newRow("F12") << KEY_F12 << 149;
    QTest::newRow("Insert") << KEY_INSERT << 150;
    QTest::newRow("Delete") << KEY_DELETE << 151;
    QTest::newRow("Home") << KEY_HOME << 152;
    QTest::newRow("End") << KEY_END << 153;
    QTest::newRow("Page Up") << KEY_PAGEUP << 154;
    QTest::newRow("Page Down") << KEY_PAGEDOWN << 155;
    QTest::newRow("keypad slash") << KEY_KPSLASH << 156;
    QTest::newRow("keypad star") << KEY_KPASTERISK << 157;
    QTest::newRow("keypad minus") << KEY_KPMINUS << 158;
    QTest::newRow("keypad plus") << KEY_KPPLUS << 159;
    QTest::newRow("keypad Enter") << KEY_KPENTER << 160;
    QTest::newRow("keypad dot") << KEY_KPDOT << 161;
    QTest::newRow("keypad 0") << KEY_KP0 << 162;
    QTest::newRow("keypad 1") << KEY_KP1 << 163;
    QTest::newRow("keypad 5") << KEY_KP5 << 167;
    QTest::newRow("keypad 9") << KEY_KP9 << 171;
    QTest::newRow("Num Lock") << KEY_NUMLOCK << 172;
    QTest::newRow("Caps Lock") << KEY_CAPSLOCK << 173;
    QTest::newRow("Scroll Lock") << KEY_SCROLLLOCK << 174;
    QTest::newRow("Print Screen") << KEY_SYSRQ << 175;
    QTest::newRow("Windows key") << KEY_LEFTMETA << 0;
    QTest::newRow("menu key") << KEY_COMPOSE << 0;
    QTest::newRow("Pause") << KEY_PAUSE << 0;
    QTest::newRow("ISO key beside Left Shift") << KEY_102ND << 0;
#endif
}

void QtKeySourceTest::x11Keycodes() {
    QFETCH(int, evdev);
    QFETCH(int, code);
    QCOMPARE(codeOr0(keyCodeFromX11(quint32(evdev + 8))), code);
}

void QtKeySourceTest::windowsScanCodes_data() {
    QTest::addColumn<int>("scanCode"); // as QKeyEvent::nativeScanCode() gives it
    QTest::addColumn<int>("code");
    QTest::newRow("A") << 0x1E << 97;
    QTest::newRow("Q") << 0x10 << 113;
    QTest::newRow("1") << 0x02 << 49;
    QTest::newRow("grave") << 0x29 << 96;
    QTest::newRow("Enter") << 0x1C << 13;
    QTest::newRow("keypad Enter") << 0x11C << 160;
    QTest::newRow("keypad Enter, E0 form") << 0xE01C << 160;
    QTest::newRow("Left Ctrl") << 0x1D << 130;
    QTest::newRow("Right Ctrl") << 0x11D << 131;
    QTest::newRow("Left Alt") << 0x38 << 132;
    QTest::newRow("Right Alt") << 0x138 << 133;
    QTest::newRow("Left Shift") << 0x2A << 128;
    QTest::newRow("Right Shift") << 0x36 << 129;
    QTest::newRow("slash") << 0x35 << 47;
    QTest::newRow("keypad slash") << 0x135 << 156;
    QTest::newRow("keypad star") << 0x37 << 157;
    QTest::newRow("Print Screen") << 0x137 << 175;
    QTest::newRow("keypad 8") << 0x48 << 170;
    QTest::newRow("Up") << 0x148 << 136;
    QTest::newRow("keypad dot") << 0x53 << 161;
    QTest::newRow("Delete") << 0x153 << 151;
    QTest::newRow("keypad 0") << 0x52 << 162;
    QTest::newRow("Insert") << 0x152 << 150;
    QTest::newRow("Num Lock is extended") << 0x145 << 172;
    QTest::newRow("Pause") << 0x45 << 0;
    QTest::newRow("F11") << 0x57 << 148;
    QTest::newRow("F12") << 0x58 << 149;
    QTest::newRow("Windows key") << 0x15B << 0;
    QTest::newRow("menu key") << 0x15D << 0;
}

void QtKeySourceTest::windowsScanCodes() {
    QFETCH(int, scanCode);
    QFETCH(int, code);
    QCOMPARE(codeOr0(keyCodeFromWindows(quint32(scanCode))), code);
}

// Both scan-code tables reach every code of the numbering that keys report, each from exactly
// one key.
void QtKeySourceTest::everyKeyCodeFromExactlyOneKey() {
    const QList<int> expected = reportedCodes();
    const auto x11 = reverseTable(keyCodeFromX11, 256);
    QList<int> fromX11;
    for (const auto& [code, scan] : x11) {
        fromX11 << code;
    }
    QCOMPARE(fromX11, expected);

    // Windows: Print Screen comes as 0x137 and, with Alt held, as SysRq 0x54.
    auto windows = [](quint32 scan) { return scan == 0x54 ? std::nullopt : keyCodeFromWindows(scan); };
    QList<int> fromWindows;
    for (const auto& [code, scan] : reverseTable(windows, 0x200)) {
        fromWindows << code;
    }
    QCOMPARE(fromWindows, expected);
}

void QtKeySourceTest::qtKeyFallback_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code");
    const Qt::KeyboardModifiers none;
    QTest::newRow("A") << int(Qt::Key_A) << none << 97;
    QTest::newRow("Shift+A") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 97;
    QTest::newRow("Shift+1 gives !") << int(Qt::Key_Exclam) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 49;
    QTest::newRow("Shift+0 gives )") << int(Qt::Key_ParenRight) << none << 48;
    QTest::newRow("Shift+8 gives *") << int(Qt::Key_Asterisk) << none << 56;
    QTest::newRow("{") << int(Qt::Key_BraceLeft) << none << 91;
    QTest::newRow("~") << int(Qt::Key_AsciiTilde) << none << 96;
    QTest::newRow("\"") << int(Qt::Key_QuoteDbl) << none << 39;
    QTest::newRow("_") << int(Qt::Key_Underscore) << none << 45;
    QTest::newRow("?") << int(Qt::Key_Question) << none << 47;
    QTest::newRow("3") << int(Qt::Key_3) << none << 51;
    QTest::newRow("keypad 3") << int(Qt::Key_3) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 165;
    QTest::newRow("keypad star") << int(Qt::Key_Asterisk) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 157;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 160;
    QTest::newRow("keypad Insert (Num Lock off)")
        << int(Qt::Key_Insert) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 162;
    QTest::newRow("Return") << int(Qt::Key_Return) << none << 13;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << 8;
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 9;
    QTest::newRow("Shift") << int(Qt::Key_Shift) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 128;
    QTest::newRow("Control") << int(Qt::Key_Control) << none << 130;
    QTest::newRow("AltGr") << int(Qt::Key_AltGr) << none << 133;
    QTest::newRow("F12") << int(Qt::Key_F12) << none << 149;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << none << 155;
    QTest::newRow("Caps Lock") << int(Qt::Key_CapsLock) << none << 173;
    QTest::newRow("Print") << int(Qt::Key_Print) << none << 175;
    QTest::newRow("Meta") << int(Qt::Key_Meta) << none << 0;
    QTest::newRow("Pause") << int(Qt::Key_Pause) << none << 0;
    QTest::newRow("a non-US letter") << int(Qt::Key_Adiaeresis) << none << 0;
}

void QtKeySourceTest::qtKeyFallback() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, code);
    QCOMPARE(codeOr0(keyCodeFromQtKey(key, modifiers)), code);
    // Without a scan code, whatever the platform, the event goes by its Qt::Key.
    const QKeyEvent event(QEvent::KeyPress, key, modifiers, 0, 0, 0);
    QCOMPARE(codeOr0(keyCodeOf(event, ScanCodeSet::X11)), code);
}

// A French (AZERTY) layout gives Qt::Key_A on the Q position; Shift+1 gives '1' there. The
// scan code decides.
void QtKeySourceTest::scanCodeWinsOverLayoutAndShift() {
#ifndef __linux__
    QSKIP("needs the Linux key names");
#else
    const QKeyEvent azertyQ(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, KEY_Q + 8, 0, 0,
                            QStringLiteral("a"));
    QCOMPARE(codeOr0(keyCodeOf(azertyQ, ScanCodeSet::X11)), 113);
    const QKeyEvent shifted(QEvent::KeyPress, Qt::Key_Exclam, Qt::ShiftModifier, KEY_1 + 8, 0, 0,
                            QStringLiteral("!"));
    QCOMPARE(codeOr0(keyCodeOf(shifted, ScanCodeSet::X11)), 49);
    const QKeyEvent capsA(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 0x1E, 0, 0, QStringLiteral("A"));
    QCOMPARE(codeOr0(keyCodeOf(capsA, ScanCodeSet::Windows)), 97);
    // A key the scan code table leaves out does not fall back to its Qt::Key.
    const QKeyEvent meta(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, KEY_LEFTMETA + 8, 0, 0);
    QCOMPARE(codeOr0(keyCodeOf(meta, ScanCodeSet::X11)), 0);
#endif
}

void QtKeySourceTest::platforms() {
    QCOMPARE(scanCodeSetFor(u"xcb"), ScanCodeSet::X11);
    QCOMPARE(scanCodeSetFor(u"wayland-egl"), ScanCodeSet::X11);
    QCOMPARE(scanCodeSetFor(u"wayland"), ScanCodeSet::X11);
    QCOMPARE(scanCodeSetFor(u"windows"), ScanCodeSet::Windows);
    QCOMPARE(scanCodeSetFor(u"offscreen"), ScanCodeSet::None);
}

// Real key events through the application: presses and releases anywhere in the window drive
// the device, auto-repeat does not, and each poll raises the changes.
void QtKeySourceTest::filterFollowsTheKeysWhileActive() {
    QWidget window;
    auto* child = new QWidget(&window);
    child->setFocusPolicy(Qt::StrongFocus);
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    child->setFocus();

    KeyboardDevice device;
    QtKeySource source(device);
    source.attach(&window);
    QVERIFY(device.isAcquired());
    QSignalSpy spy(&source, &QtKeySource::keyStateChanged);

    QTest::keyPress(child, Qt::Key_J);
    QTest::keyPress(child, Qt::Key_Shift, Qt::ShiftModifier);
    source.poll();
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy.at(0).at(0).value<KeyCode>(), KeyCode(106));
    QCOMPARE(spy.at(0).at(1).value<KeyState>(), KeyState::Pressed);
    QCOMPARE(spy.at(1).at(0).value<KeyCode>(), KeyCode::LeftShift);

    // An auto-repeat release of J does not let it go.
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_J, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(child, &repeat);
    source.poll();
    QCOMPARE(device.keyState(KeyCode(106)), KeyState::Held);

    QTest::keyRelease(child, Qt::Key_J);
    spy.clear();
    source.poll();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(1).value<KeyState>(), KeyState::Released);

    source.poll(); // J: Released -> Idle

    // The timer polls on its own: wait for the event, whatever the period.
    spy.clear();
    source.setPollingPeriod(10);
    QCOMPARE(source.pollingPeriod(), 10);
    QTest::keyRelease(child, Qt::Key_Shift);
    QTRY_VERIFY(!spy.isEmpty());
    QCOMPARE(spy.at(0).at(0).value<KeyCode>(), KeyCode::LeftShift);
    QCOMPARE(spy.at(0).at(1).value<KeyState>(), KeyState::Released);
}

// Another window becoming active releases the keyboard: a held key reports Idle, keys typed
// there are not seen, and activation again starts from nothing down.
void QtKeySourceTest::deactivationReleasesTheKeyboard() {
    QWidget window;
    QWidget other;
    window.setGeometry(0, 0, 200, 100);
    other.setGeometry(300, 0, 200, 100);
    window.show();
    other.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    KeyboardDevice device;
    QtKeySource source(device);
    source.attach(&window);
    QSignalSpy spy(&source, &QtKeySource::keyStateChanged);

    QTest::keyPress(&window, Qt::Key_A);
    source.poll();
    QCOMPARE(device.keyState(KeyCode::A), KeyState::Pressed);

    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!device.isAcquired());
    QTest::keyPress(&other, Qt::Key_S);
    spy.clear();
    source.poll();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).value<KeyCode>(), KeyCode::A);
    QCOMPARE(spy.at(0).at(1).value<KeyState>(), KeyState::Idle);
    QTest::keyRelease(&other, Qt::Key_A); // the release goes elsewhere

    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(device.isAcquired());
    spy.clear();
    source.poll();
    QVERIFY(spy.isEmpty()); // neither A nor S
}

// Esc closes the main window through a shortcut, which takes the key press before any widget
// sees it; the key is still down for the device.
void QtKeySourceTest::keysTakenByAShortcutStillGoDown() {
    QWidget window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QShortcut shortcut(QKeySequence(Qt::Key_Escape), &window);
    QSignalSpy activated(&shortcut, &QShortcut::activated);

    KeyboardDevice device;
    QtKeySource source(device);
    source.attach(&window);
    QTest::keyPress(&window, Qt::Key_Escape);
    QCOMPARE(activated.size(), 1);
    source.poll();
    QCOMPARE(device.keyState(KeyCode::Esc), KeyState::Pressed);
    QTest::keyRelease(&window, Qt::Key_Escape);
    source.poll();
    QCOMPARE(device.keyState(KeyCode::Esc), KeyState::Released);
}

// A busy UI thread can hand over a key's press and release together: a key held longer than
// one period is still played, a shorter tap is not.
void QtKeySourceTest::aHeldKeyWhoseEventsArriveTogetherIsStillSeen_data() {
    QTest::addColumn<int>("heldMs");
    QTest::addColumn<bool>("seen");
    QTest::newRow("tap of 5 ms") << 5 << false;
    QTest::newRow("held 10 ms") << 10 << true;
    QTest::newRow("held 40 ms") << 40 << true;
}

void QtKeySourceTest::aHeldKeyWhoseEventsArriveTogetherIsStillSeen() {
    QFETCH(int, heldMs);
    QFETCH(bool, seen);
    QWidget window;
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    KeyboardDevice device;
    QtKeySource source(device);
    source.attach(&window);
    source.setPollingPeriod(10);
    QSignalSpy spy(&source, &QtKeySource::keyStateChanged);

    QKeyEvent press(QEvent::KeyPress, Qt::Key_J, Qt::NoModifier, QStringLiteral("j"));
    press.setTimestamp(5000);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_J, Qt::NoModifier, QStringLiteral("j"));
    release.setTimestamp(5000 + quint64(heldMs));
    QApplication::sendEvent(&window, &press);
    QApplication::sendEvent(&window, &release);
    source.poll();
    source.poll();
    source.poll();
    QList<KeyState> states;
    for (const auto& args : spy) {
        QCOMPARE(args.at(0).value<KeyCode>(), KeyCode(106));
        states << args.at(1).value<KeyState>();
    }
    if (seen) {
        QCOMPARE(states, (QList<KeyState>{KeyState::Pressed, KeyState::Released, KeyState::Idle}));
    } else {
        QVERIFY(states.isEmpty());
    }
}

int runQtKeySourceTests(int argc, char** argv) {
    QtKeySourceTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tonmiro::input::tests

#include "tst_qt_key_source.moc"
