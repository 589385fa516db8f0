#include "input/keyboard_device.h"
#include "tests/input/keyboard/keyboard_tests.h"
#include "tests/input/keyboard/sample_script.h"

#include <QTest>

namespace tonmiro::input::tests {

// Sampling: which changes each sample reports, and in which order.
class KeyboardDeviceTest : public QObject {
    Q_OBJECT
private slots:
    void sampling_data();
    void sampling();
    void keyStateIsReadAfterTheWholeSample();
    void keyStateOutsideTheNumberingIsIdle();
    void notAcquiredAtFirst();
};

void KeyboardDeviceTest::sampling_data() {
    // Steps as in runSampleScript; expected: per step the changes "code:state" in order.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::newRow("tap over several samples") << "97|97||"
                                              << "97:2|97:3|97:1|97:0";
    QTest::newRow("holding gives one Pressed") << "97|97|97|97"
                                               << "97:2|97:3||";
    QTest::newRow("press again while Released") << "97||97|"
                                                << "97:2|97:1|97:2|97:1";
    QTest::newRow("Shift+A in one sample: ascending codes") << "128,97|"
                                                            << "97:2 128:2|97:1 128:1";
    QTest::newRow("Shift, then A") << "128|128,97||"
                                   << "128:2|97:2 128:3|97:1 128:1|97:0 128:0";
    QTest::newRow("extremes of the numbering") << "175,8|"
                                               << "8:2 175:2|8:1 175:1";
    QTest::newRow("tap between two samples is not seen") << "t97|t97|"
                                                         << "||";
    QTest::newRow("deactivated while Held: Idle, not Released") << "97|97|-|"
                                                                << "97:2|97:3|97:0|";
    QTest::newRow("deactivated while Pressed") << "97|-"
                                               << "97:2|97:0";
    QTest::newRow("deactivated while Released") << "97||-"
                                                << "97:2|97:1|97:0";
    QTest::newRow("keys while inactive are not seen") << "-97|97|+|"
                                                      << "|||";
    QTest::newRow("held across reactivation: silent until pressed again") << "97|-|+|97|"
                                                                          << "97:2|97:0||97:2|97:1";
    QTest::newRow("deactivated and reactivated within one sample") << "97|-+|"
                                                                   << "97:2|97:0|";
}

void KeyboardDeviceTest::sampling() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    KeyboardDevice device;
    device.acquire(true);
    QStringList steps;
    QStringList current;
    runSampleScript(
        device, script,
        [&](KeyChange c) { current << QStringLiteral("%1:%2").arg(toInt(c.code)).arg(int(c.state)); },
        [&] {
            steps << current.join(u' ');
            current.clear();
        });
    QCOMPARE(steps.join(u'|'), expected);
}

void KeyboardDeviceTest::keyStateIsReadAfterTheWholeSample() {
    // While the changes of one sample are handed out, keyState already shows every key stepped:
    // the Ctrl rule of the key handler relies on it.
    KeyboardDevice device;
    device.acquire(true);
    device.setKeyDown(KeyCode::A, true);
    device.setKeyDown(KeyCode::RightCtrl, true);
    const KeyChanges changes = device.sample();
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes[0], (KeyChange{KeyCode::A, KeyState::Pressed}));
    QCOMPARE(device.keyState(KeyCode::RightCtrl), KeyState::Pressed);
    device.sample();
    QCOMPARE(device.keyState(KeyCode::A), KeyState::Held);
    device.setKeyDown(KeyCode::A, false);
    device.sample();
    QCOMPARE(device.keyState(KeyCode::A), KeyState::Released);
    QCOMPARE(device.keyState(KeyCode::RightCtrl), KeyState::Held);
}

void KeyboardDeviceTest::keyStateOutsideTheNumberingIsIdle() {
    KeyboardDevice device;
    device.acquire(true);
    for (int code = 0; code < 256; ++code) {
        device.setKeyDown(static_cast<KeyCode>(code), true);
    }
    device.sample();
    QCOMPARE(device.keyState(KeyCode::A), KeyState::Pressed);
    for (int code : {-1, 0, 7, 177, 255, 1000}) {
        QCOMPARE(device.keyState(code), KeyState::Idle);
    }
}

void KeyboardDeviceTest::notAcquiredAtFirst() {
    KeyboardDevice device;
    QVERIFY(!device.isAcquired());
    device.setKeyDown(KeyCode::A, true);
    QVERIFY(device.sample().empty());
    device.acquire(true);
    QVERIFY(device.sample().empty());
}

int runKeyboardDeviceTests(int argc, char** argv) {
    KeyboardDeviceTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tonmiro::input::tests

#include "tst_keyboard_device.moc"
