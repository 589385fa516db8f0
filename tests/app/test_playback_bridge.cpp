#include "app/main_window.h"
#include "app/score_document.h"
#include "app/score_edit.h"
#include "app/speed_slider.h"
#include "notation/gbk_codec.h"
#include "sound/sound_device.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using tonmiro::app::MainWindow;

namespace {

// GBK bytes of UTF-8 text, CR LF kept as the score's line break.
QByteArray gbk(const char* utf8) {
    return tonmiro::gbk::encode(
        QString::fromUtf8(utf8).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

// Lets every close through without a question.
struct DiscardChanges final : tonmiro::app::DocumentDialogs {
    std::optional<QString> askSavePath(const QString&) override { return std::nullopt; }
    std::optional<QString> askOpenPath(const QString&) override { return std::nullopt; }
    Answer askSaveChanges() override { return Answer::No; }
};

struct Program {
    DiscardChanges dialogs;
    tonmiro::sound::SoundDevice sound;
    MainWindow window{sound, &dialogs};
};

} // namespace

// The real playback thread driving the real controls through the thread bridge.
class TestPlaybackBridge : public QObject {
    Q_OBJECT
private slots:
    void playsToTheEndAndPopsUp();
    void emptyScorePopsUpAtOnce();
    void tempoMarkerRewritesTheSliderOnly();
    void pauseResumesWithTheNextToken();
    void closingDuringAWaitEndsPlaybackAtOnce();
    void manyStartStopCycles();
    void manyStartStopCloseCycles();
};

void TestPlaybackBridge::playsToTheEndAndPopsUp() {
    Program p;
    p.window.scoreEdit()->setText(gbk("①②\r\n③"));
    p.window.speedSlider()->setPosition(5);
    QTest::mouseClick(p.window.playToggle(), Qt::LeftButton);
    QCOMPARE(p.window.playToggle()->text(), QStringLiteral("停止"));
    // At the end the toggle pops up, then its caption and the selection follow, each a request.
    QTRY_VERIFY_WITH_TIMEOUT(!p.window.playToggle()->isChecked(), 5000);
    QTRY_COMPARE(p.window.playToggle()->text(), QStringLiteral("播放"));
    QTRY_COMPARE(p.window.scoreEdit()->storedSelectionStart(), qsizetype(0));
    QCOMPARE(p.window.scoreEdit()->selectionStart(), qsizetype(0));
    QCOMPARE(p.window.scoreEdit()->selectedText(), gbk("①")); // stored length 2 from the last step
}

void TestPlaybackBridge::emptyScorePopsUpAtOnce() {
    Program p;
    QTest::mouseClick(p.window.playToggle(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!p.window.playToggle()->isChecked(), 2000);
    QTRY_COMPARE(p.window.playToggle()->text(), QStringLiteral("播放"));
}

void TestPlaybackBridge::tempoMarkerRewritesTheSliderOnly() {
    Program p;
    p.window.scoreEdit()->setText(gbk("240\r\n①"));
    QTest::mouseClick(p.window.playToggle(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!p.window.playToggle()->isChecked(), 5000);
    QCOMPARE(p.window.speedSlider()->position(), 31);
    QCOMPARE(p.window.speedSlider()->value(), 36);
    QCOMPARE(p.window.speedLabel()->text(), QString()); // a marker is not a user move
}

void TestPlaybackBridge::pauseResumesWithTheNextToken() {
    Program p;
    tonmiro::app::ScoreEdit* edit = p.window.scoreEdit();
    edit->setText(gbk("①②③"));
    p.window.speedSlider()->setPosition(300);
    QPushButton* toggle = p.window.playToggle();
    QTest::mouseClick(toggle, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(edit->selectedText(), gbk("②"), 5000);
    QTest::mouseClick(toggle, Qt::LeftButton); // released during ②'s wait
    QCOMPARE(toggle->text(), QStringLiteral("播放"));
    QTRY_COMPARE_WITH_TIMEOUT(edit->selectedText(), gbk("③"), 5000);
    QTest::qWait(400); // idle: nothing moves while the toggle is up
    QCOMPARE(edit->selectedText(), gbk("③"));
    QTest::mouseClick(toggle, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!toggle->isChecked(), 5000);
    QTRY_COMPARE(edit->storedSelectionStart(), qsizetype(0));
}

void TestPlaybackBridge::closingDuringAWaitEndsPlaybackAtOnce() {
    Program p;
    tonmiro::app::ScoreEdit* edit = p.window.scoreEdit();
    edit->setText(gbk("①②③④"));
    p.window.speedSlider()->setPosition(5000);
    p.window.show();
    QTest::mouseClick(p.window.playToggle(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(edit->selectedText(), gbk("①"), 5000);
    QTest::qWait(50); // inside the five-second wait
    QElapsedTimer timer;
    timer.start();
    p.window.close();
    const qint64 closeMs = timer.elapsed();
    QVERIFY2(closeMs < 1000, qPrintable(QString::number(closeMs))); // a wait never holds up closing
    // After shutdown no control is touched any more.
    const QByteArray selected = edit->selectedText();
    QTest::qWait(100);
    QCOMPARE(edit->selectedText(), selected);
    QVERIFY(p.window.playToggle()->isChecked());
}

void TestPlaybackBridge::manyStartStopCycles() {
    // A thousand presses and releases of the toggle at every point of a step, one window.
    Program p;
    p.window.scoreEdit()->setText(gbk("120\r\n①—\r\n②③④⑤⑥⑦\r\n"));
    p.window.speedSlider()->setPosition(0);
    for (int i = 0; i < 1000; ++i) {
        p.window.playToggle()->click();
        for (int k = 0; k < i % 4; ++k) {
            QCoreApplication::processEvents();
        }
    }
    // Whatever state that left, playback still runs to the end and pops the toggle up.
    if (!p.window.playToggle()->isChecked()) {
        p.window.playToggle()->click();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!p.window.playToggle()->isChecked(), 10000);
}

void TestPlaybackBridge::manyStartStopCloseCycles() {
    // Start, stop and close at every point of a step: nothing may deadlock or race.
    for (int i = 0; i < 200; ++i) {
        auto p = std::make_unique<Program>();
        p->window.scoreEdit()->setText(gbk("120\r\n①—\r\n②"));
        p->window.speedSlider()->setPosition(i % 3);
        p->window.playToggle()->click();
        for (int k = 0; k < i % 5; ++k) {
            QCoreApplication::processEvents();
        }
        if (i % 2) {
            p->window.playToggle()->click();
            QCoreApplication::processEvents();
        }
        p->window.close();
    }
}

QTEST_MAIN(TestPlaybackBridge)
#include "test_playback_bridge.moc"
