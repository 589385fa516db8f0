#include "input/key_handler.h"
#include "input/keyboard_device.h"
#include "tests/input/keyboard/keyboard_tests.h"
#include "tests/input/keyboard/sample_script.h"

#include <QTest>

namespace tonmiro::input::tests {

namespace {

// Records every action in order: "play 8", "off 97" / "on 97" (button), "text A2D9" (GBK hex).
class RecordingActions : public KeyActions {
public:
    QStringList log;
    void playSample(int sample) override { log << QStringLiteral("play %1").arg(sample); }
    void setButtonEnabled(KeyCode button, bool enabled) override {
        log << QStringLiteral("%1 %2").arg(enabled ? u"on" : u"off").arg(toInt(button));
    }
    void replaceSelection(QByteArrayView gbkText) override {
        log << QStringLiteral("text ") + QString::fromLatin1(gbkText.toByteArray().toHex().toUpper());
    }
};

} // namespace

// The device and the key handler together: per sample, what is sounded, greyed and written.
class KeyHandlerTest : public QObject {
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
};

void KeyHandlerTest::keys_data() {
    QTest::addColumn<QString>("script");   // as in runSampleScript
    QTest::addColumn<QString>("expected"); // per sample the actions, ';'-separated
    // GBK: ① A2D9, ⑤ A2DD, ⒂ A2D3, — A1AA, · A1A4, ０ A3B0.
    QTest::newRow("note key: sample, button, text") << "97|97||"
                                                    << "play 8;off 97;text A2D9||on 97|";
    QTest::newRow("super-high 5 on the 7 key") << "55|"
                                               << "play 26;off 55;text A2D3|on 55";
    QTest::newRow("Shift+A in one sample: ① before ———")
        << "97,128|"
        << "play 8;off 97;text A2D9;off 128;text A1AAA1AAA1AA|on 97;on 128";
    QTest::newRow("Shift, then A") << "128|128,97|"
                                   << "off 128;text A1AAA1AAA1AA|play 8;off 97;text A2D9|on 97;on 128";
    QTest::newRow("Right Shift writes four dashes") << "129|"
                                                    << "off 129;text A1AAA1AAA1AAA1AA|on 129";
    // Space (32) comes before H (104) in the third sample.
    QTest::newRow("G, H, Space write silently") << "103|104|32|"
                                                << "off 103;text A3B0|on 103;off 104;text A1A4|"
                                                   "off 32;text A1AA;on 104|on 32";
    QTest::newRow("keypad digit: ASCII on the space bar") << "165|"
                                                          << "off 32;text 33|on 32";
    QTest::newRow("Esc and F5 grey the space bar only") << "27|148|"
                                                        << "off 32|on 32;off 32|on 32";
    QTest::newRow("Backspace only moves its button") << "8|"
                                                     << "off 8|on 8";
    QTest::newRow("Ctrl+J in one sample writes nothing") << "130,106||"
                                                         << "|on 106;on 130|";
    QTest::newRow("key under a held Right Ctrl") << "131|131,106|131|"
                                                 << "||on 106|on 131";
    QTest::newRow("key in the sample after Ctrl went up") << "130|106|106|"
                                                          << "|on 130||on 106";
    QTest::newRow("key once Ctrl is Idle again") << "130||97|"
                                                 << "|on 130|play 8;off 97;text A2D9|on 97";
    QTest::newRow("held note gives one note") << "106|106|106|106"
                                              << "play 12;off 106;text A2DD|||";
    QTest::newRow("held while deactivated keeps its button grey") << "106|-|+|"
                                                                  << "play 12;off 106;text A2DD|||";
    QTest::newRow("pressed and let go again after reactivation")
        << "106|-|+|106|"
        << "play 12;off 106;text A2DD|||play 12;off 106;text A2DD|on 106";
    QTest::newRow("tap under one sample") << "t97|"
                                          << "|";
}

void KeyHandlerTest::keys() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    KeyboardDevice device;
    device.acquire(true);
    RecordingActions actions;
    KeyHandler handler(device, actions);
    QStringList steps;
    runSampleScript(
        device, script, [&](KeyChange c) { handler.handle(c); },
        [&] {
            steps << actions.log.join(u';');
            actions.log.clear();
        });
    QCOMPARE(steps.join(u'|'), expected);
}

int runKeyHandlerTests(int argc, char** argv) {
    KeyHandlerTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tonmiro::input::tests

#include "tst_key_handler.moc"
