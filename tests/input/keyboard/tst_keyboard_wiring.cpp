#include "app/main_window.h"
#include "app/score_edit.h"
#include "sound/sound_device.h"

#include <QGroupBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using tonmiro::app::MainWindow;

// The keyboard in the real main window: Qt key events reach the score and the on-screen keys
// through the device's own 10 ms timer. Events sent one after the other without returning to
// the event loop fall into one sample.
class KeyboardWiringTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void noteKeyWritesAndGreysItsButton();
    void shiftAndNoteInOneSample();
    void ctrlHoldsBackEveryKey();
    void notesGoToTheScoreWhateverHasTheFocus();
    void keyHeldWhileDeactivatedStaysGrey();

private: // NOLINT(readability-redundant-access-specifiers): moc's slots section ends here
    QPushButton* key(int code) const {
        return m_window->keyboardGroup()->findChild<QPushButton*>(QStringLiteral("按键%1").arg(code));
    }
    // Lets the timer sample a few times.
    static void settle() { QTest::qWait(60); }

    tonmiro::sound::SoundDevice* m_sound = nullptr;
    MainWindow* m_window = nullptr;
};

void KeyboardWiringTest::init() {
    m_sound = new tonmiro::sound::SoundDevice;
    m_window = new MainWindow(*m_sound);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void KeyboardWiringTest::cleanup() {
    delete m_window;
    delete m_sound;
}

void KeyboardWiringTest::noteKeyWritesAndGreysItsButton() {
    QCOMPARE(m_window->keyboardGroup()->findChildren<QPushButton*>().size(), 58);
    auto* edit = m_window->scoreEdit();
    QTest::keyPress(edit, Qt::Key_J);
    QTRY_COMPARE(edit->text(), QByteArray("\xA2\xDD")); // ⑤, and no letter j
    QVERIFY(!key(106)->isEnabled());
    settle();
    QCOMPARE(edit->text(), QByteArray("\xA2\xDD")); // held: no repeat
    QTest::keyRelease(edit, Qt::Key_J);
    QTRY_VERIFY(key(106)->isEnabled());

    // A keypad digit writes its ASCII digit and greys the space bar.
    QTest::keyPress(edit, Qt::Key_7, Qt::KeypadModifier);
    QTRY_VERIFY(!key(32)->isEnabled());
    QCOMPARE(edit->text(), QByteArray("\xA2\xDD"
                                      "7"));
    QTest::keyRelease(edit, Qt::Key_7, Qt::KeypadModifier);
    QTRY_VERIFY(key(32)->isEnabled());

    edit->undo();
    QCOMPARE(edit->text(), QByteArray("\xA2\xDD"));
}

void KeyboardWiringTest::shiftAndNoteInOneSample() {
    auto* edit = m_window->scoreEdit();
    QTest::keyPress(edit, Qt::Key_Shift);
    QTest::keyPress(edit, Qt::Key_A, Qt::ShiftModifier);
    QTRY_COMPARE(edit->text(), QByteArray("\xA2\xD9\xA1\xAA\xA1\xAA\xA1\xAA")); // ① then ———
    QTest::keyRelease(edit, Qt::Key_A, Qt::ShiftModifier);
    QTest::keyRelease(edit, Qt::Key_Shift);
    QTRY_VERIFY(key(97)->isEnabled() && key(128)->isEnabled());
}

void KeyboardWiringTest::ctrlHoldsBackEveryKey() {
    auto* edit = m_window->scoreEdit();
    QTest::keyPress(edit, Qt::Key_Control);
    settle();
    QTest::keyPress(edit, Qt::Key_J, Qt::ControlModifier);
    settle();
    QVERIFY(key(106)->isEnabled());
    QVERIFY(key(130)->isEnabled()); // Ctrl never looks pressed
    QTest::keyRelease(edit, Qt::Key_J, Qt::ControlModifier);
    QTest::keyRelease(edit, Qt::Key_Control);
    settle();
    QCOMPARE(edit->text(), QByteArray());
    QVERIFY(key(106)->isEnabled());
    // Once Ctrl is Idle again, keys play: and only this one was written.
    QTest::keyPress(edit, Qt::Key_A);
    QTRY_COMPARE(edit->text(), QByteArray("\xA2\xD9"));
    QTest::keyRelease(edit, Qt::Key_A);
}

void KeyboardWiringTest::notesGoToTheScoreWhateverHasTheFocus() {
    auto* slider = m_window->findChild<QSlider*>(QStringLiteral("滑块条速度"));
    QVERIFY(slider != nullptr);
    slider->setFocus();
    QTest::keyPress(slider, Qt::Key_Z);
    QTRY_COMPARE(m_window->scoreEdit()->text(), QByteArray("\xA2\xB1")); // ⒈
    QTest::keyRelease(slider, Qt::Key_Z);
}

void KeyboardWiringTest::keyHeldWhileDeactivatedStaysGrey() {
    auto* edit = m_window->scoreEdit();
    QTest::keyPress(edit, Qt::Key_A);
    QTRY_VERIFY(!key(97)->isEnabled());

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTest::keyRelease(&other, Qt::Key_A); // let go in the other window
    settle();
    QVERIFY(!key(97)->isEnabled());

    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    settle();
    QVERIFY(!key(97)->isEnabled());
    QTest::keyPress(edit, Qt::Key_A);
    QTRY_COMPARE(edit->text(), QByteArray("\xA2\xD9\xA2\xD9"));
    QTest::keyRelease(edit, Qt::Key_A);
    QTRY_VERIFY(key(97)->isEnabled());
}

QTEST_MAIN(KeyboardWiringTest)

#include "tst_keyboard_wiring.moc"
