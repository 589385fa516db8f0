#include "notation/gbk_codec.h"
#include "notation/playback_loop.h"
#include "tests/notation/notation_tests.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <functional>
#include <limits>
#include <stop_token>

using namespace tonmiro;
using notation::PlaybackLoop;

namespace {

QByteArray gbkOf(QStringView text) {
    return gbk::encode(text);
}

// The controls as the program's edit box, slider and toggle behave, over a byte string, with a
// clock that only moves when the loop waits. Every call is logged; plays, waits, tempo writes and
// the end are also logged as events with the time and the live selection.
class FakeControls : public notation::PlaybackControls {
public:
    QByteArray text;
    bool checked = false;
    QString caption = QStringLiteral("停止");
    int speed = 88; // stored slider position
    qint64 nowUs = 0;

    QStringList calls;
    QStringList events;

    // Run inside wait(), after the clock has moved: the user acting during a wait.
    std::function<void(FakeControls&)> onWait;
    std::function<void(FakeControls&)> onIdle;
    std::stop_source* stop = nullptr;

    qsizetype storedStart() const { return m_storedStart; }
    qsizetype storedLength() const { return m_storedLength; }
    qsizetype liveStart() const { return m_liveStart; }
    qsizetype liveLength() const { return m_liveLength; }

    // A click in the text: the caret moves, the stored values stay.
    void click(qsizetype position) {
        m_liveStart = std::clamp<qsizetype>(position, 0, text.size());
        m_liveLength = 0;
    }

    // Note entry: replaces the live selection, the caret ends after the inserted bytes.
    void replaceSelection(const QByteArray& bytes) {
        text.replace(m_liveStart, m_liveLength, bytes);
        m_liveStart += bytes.size();
        m_liveLength = 0;
    }

    bool toggleChecked() override {
        log(QStringLiteral("toggle?"));
        return checked;
    }
    void setToggleChecked(bool value) override {
        log(QStringLiteral("setToggle %1").arg(value));
        if (!value) {
            event(QStringLiteral("up"));
        }
        checked = value;
    }
    void setToggleCaption(const QString& value) override {
        log(QStringLiteral("setCaption ") + value);
        caption = value;
    }
    QByteArray selectedText() override {
        log(QStringLiteral("text?"));
        return text.mid(m_liveStart, m_liveLength);
    }
    qsizetype selectionStart() override {
        log(QStringLiteral("start?"));
        return m_liveStart;
    }
    void setSelectionStart(qsizetype start) override {
        log(QStringLiteral("setStart %1").arg(start));
        if (start < 0) {
            event(QStringLiteral("negative start"));
        }
        m_storedStart = std::max<qsizetype>(start, 0);
        reselect();
    }
    void setSelectionLength(qsizetype length) override {
        log(QStringLiteral("setLength %1").arg(length));
        m_storedLength = std::max<qsizetype>(length, 0);
        reselect();
    }
    qsizetype textLength() override {
        log(QStringLiteral("length?"));
        return text.size();
    }
    int speedPosition() override {
        log(QStringLiteral("speed?"));
        return speed;
    }
    void setSpeedPosition(int position) override {
        log(QStringLiteral("setSpeed %1").arg(position));
        event(QStringLiteral("speed %1").arg(position));
        speed = std::clamp(position, 0, 32767); // the slider holds any written value in 0..32767
    }
    void playSample(int sample) override {
        log(QStringLiteral("play %1").arg(sample));
        event(QStringLiteral("S%1").arg(sample, 2, 10, QChar(u'0')));
    }
    void wait(qint64 microseconds) override {
        log(QStringLiteral("wait %1").arg(microseconds));
        event(QStringLiteral("wait %1").arg(microseconds));
        nowUs += microseconds;
        if (onWait) {
            onWait(*this);
        }
    }
    void idle() override {
        log(QStringLiteral("idle"));
        if (onIdle) {
            onIdle(*this);
        }
    }

private:
    void reselect() {
        const qsizetype size = text.size();
        m_liveStart = std::min(m_storedStart, size);
        m_liveLength = std::min(m_storedStart + m_storedLength, size) - m_liveStart;
    }
    void log(const QString& call) {
        calls.append(call);
        // A run() that never ends would hang the test; stop it and leave a trace instead.
        if (stop && calls.size() > 100000) {
            events.append(QStringLiteral("runaway"));
            stop->request_stop();
        }
    }
    void event(const QString& what) {
        events.append(
            QStringLiteral("%1 @%2+%3 t%4").arg(what).arg(m_liveStart).arg(m_liveLength).arg(nowUs / 1000));
    }

    qsizetype m_storedStart = 0;
    qsizetype m_storedLength = 0;
    qsizetype m_liveStart = 0;
    qsizetype m_liveLength = 0;
};

// Presses the toggle and turns the loop until it releases the toggle; false if it never does
// within the turns a score of this length can take.
bool playToEnd(FakeControls& controls, PlaybackLoop& loop) {
    controls.checked = true;
    const qsizetype maxTurns = controls.text.size() / 2 + 2;
    for (qsizetype turn = 0; turn < maxTurns; ++turn) {
        loop.turn();
        if (!controls.checked) {
            return true;
        }
    }
    return false;
}

} // namespace

class PlaybackLoopTest : public QObject {
    Q_OBJECT

private slots:
    void scores_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("speed");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("finalSpeed");

        const QByteArray crlf("\r\n");
        QTest::newRow("empty text") << QByteArray() << 88 << QStringList{"up @0+0 t0"} << 88;
        QTest::newRow("① alone") << gbkOf(u"①") << 88
                                 << QStringList{"S08 @0+2 t0", "wait 88000 @0+2 t0", "up @2+0 t88"} << 88;
        QTest::newRow("①——② at 88") << gbkOf(u"①——②") << 88
                                    << QStringList{"S08 @0+2 t0",         "wait 88000 @0+2 t0",
                                                   "wait 88000 @2+2 t88", "wait 88000 @4+2 t176",
                                                   "S09 @6+2 t264",       "wait 88000 @6+2 t264",
                                                   "up @8+0 t352"}
                                    << 88;
        QTest::newRow("⑤——————— sounds once, eight units")
            << gbkOf(u"⑤———————") << 88
            << QStringList{"S12 @0+2 t0",           "wait 88000 @0+2 t0",    "wait 88000 @2+2 t88",
                           "wait 88000 @4+2 t176",  "wait 88000 @6+2 t264",  "wait 88000 @8+2 t352",
                           "wait 88000 @10+2 t440", "wait 88000 @12+2 t528", "wait 88000 @14+2 t616",
                           "up @16+0 t704"}
            << 88;
        QTest::newRow("bar line takes no time")
            << gbkOf(u"①\n②") << 100
            << QStringList{"S08 @0+2 t0", "wait 100000 @0+2 t0", "S09 @4+2 t100", "wait 100000 @4+2 t100",
                           "up @6+0 t200"}
            << 100;
        QTest::newRow("120 sets 62") << QByteArray("120") + crlf + gbkOf(u"①") << 88
                                     << QStringList{"speed 62 @0+3 t0", "S08 @5+2 t0", "wait 62000 @5+2 t0",
                                                    "up @7+0 t62"}
                                     << 62;
        QTest::newRow("100 sets 75") << QByteArray("100") + crlf + gbkOf(u"０") << 88
                                     << QStringList{"speed 75 @0+3 t0", "wait 75000 @5+2 t0", "up @7+0 t75"}
                                     << 75;
        QTest::newRow("040 sets 187")
            << QByteArray("040") + crlf << 88 << QStringList{"speed 187 @0+3 t0", "up @5+0 t0"} << 187;
        QTest::newRow("240 sets 31, below the thumb's range")
            << QByteArray("240") + crlf + gbkOf(u"·") << 88
            << QStringList{"speed 31 @0+3 t0", "wait 31000 @5+2 t0", "up @7+0 t31"} << 31;
        QTest::newRow("marker at the end of a line")
            << gbkOf(u"①") + "300" + crlf + gbkOf(u"②") << 88
            << QStringList{"S08 @0+2 t0",  "wait 88000 @0+2 t0",  "speed 25 @2+3 t88",
                           "S09 @7+2 t88", "wait 25000 @7+2 t88", "up @9+0 t113"}
            << 25;
        QTest::newRow("120①② passes over ①")
            << QByteArray("120") + gbkOf(u"①②") << 88
            << QStringList{"speed 62 @0+3 t0", "S09 @5+2 t0", "wait 62000 @5+2 t0", "up @7+0 t62"} << 62;
        QTest::newRow("000 is no marker")
            << QByteArray("000") + gbkOf(u"①") << 88 << QStringList{"up @5+0 t0"} << 88;
        QTest::newRow("０ is the rest, not a digit")
            << gbkOf(u"０———") << 50
            << QStringList{"wait 50000 @0+2 t0", "wait 50000 @2+2 t50", "wait 50000 @4+2 t100",
                           "wait 50000 @6+2 t150", "up @8+0 t200"}
            << 50;
        QTest::newRow("⒒——————— seven silent waits")
            << gbkOf(u"⒒———————") << 10
            << QStringList{"wait 10000 @2+2 t0",   "wait 10000 @4+2 t10",  "wait 10000 @6+2 t20",
                           "wait 10000 @8+2 t30",  "wait 10000 @10+2 t40", "wait 10000 @12+2 t50",
                           "wait 10000 @14+2 t60", "up @16+0 t70"}
            << 10;
        QTest::newRow("⒃ has no sample, no time")
            << gbkOf(u"⒃—⒂") << 10
            << QStringList{"wait 10000 @2+2 t0", "S26 @4+2 t10", "wait 10000 @4+2 t10", "up @6+0 t20"} << 10;
        QTest::newRow("negative marker stores 0")
            << QByteArray("-12") + crlf + gbkOf(u"①①") << 88
            << QStringList{"speed -625 @0+3 t0", "S08 @5+2 t0",    "wait 0 @5+2 t0",
                           "S08 @7+2 t0",        "wait 0 @7+2 t0", "up @9+0 t0"}
            << 0;
        // "１" reads as 1, so this is a marker; its three bytes end inside "２", giving 1 bpm.
        QTest::newRow("full-width digits")
            << gbkOf(u"１２０\n①") << 88 << QStringList{"speed 7500 @0+3 t0", "up @10+0 t0"} << 7500;
        QTest::newRow("full-width digits after an ASCII digit")
            << QByteArray("1") + gbkOf(u"２") + crlf << 88 << QStringList{"speed 625 @0+3 t0", "up @5+0 t0"}
            << 625;
        QTest::newRow("single-byte noise a①b")
            << QByteArray("a") + gbkOf(u"①") + "b" << 88 << QStringList{"up @4+0 t0"} << 88;
        QTest::newRow("odd length ends")
            << QByteArray(" ") + gbkOf(u"①②") << 88 << QStringList{"up @5+0 t0"} << 88;
        QTest::newRow("digit then token reads past the end")
            << QByteArray("5") + gbkOf(u"①") << 88 << QStringList{"speed 1500 @0+3 t0", "up @3+0 t0"} << 1500;
        // Out of step after the CR, back in step after the LF.
        QTest::newRow("lone CR, lone LF")
            << QByteArray("\r") + gbkOf(u"①") + "\n" + gbkOf(u"②") << 88
            << QStringList{"S09 @4+2 t0", "wait 88000 @4+2 t0", "up @6+0 t88"} << 88;
    }

    void scores() {
        QFETCH(QByteArray, text);
        QFETCH(int, speed);
        QFETCH(QStringList, events);
        QFETCH(int, finalSpeed);

        FakeControls controls;
        controls.text = text;
        controls.speed = speed;
        PlaybackLoop loop(controls);
        QVERIFY(playToEnd(controls, loop));
        QCOMPARE(controls.events, events);
        QCOMPARE(controls.speed, finalSpeed);
        // At the end the toggle is up with its caption, and the start is back at 0.
        QVERIFY(!controls.checked);
        QCOMPARE(controls.caption, QStringLiteral("播放"));
        QCOMPARE(controls.storedStart(), 0);
        QCOMPARE(controls.liveStart(), 0);
        QCOMPARE(controls.liveLength(), std::min<qsizetype>(controls.storedLength(), text.size()));
    }

    // The exact requests of each kind of turn, in order.
    void requestOrder_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QStringList>("calls");
        const QStringList next{"length?", "start?", "setStart 2"};
        QTest::newRow("toggle up") << gbkOf(u"①") << false << QStringList{"toggle?", "idle"};
        QTest::newRow("token") << gbkOf(u"①") << true
                               << QStringList{"toggle?", "setLength 2", "text?",  "text?",
                                              "text?",   "play 8",      "speed?", "wait 88000"} +
                                      next;
        QTest::newRow("dash") << gbkOf(u"—") << true
                              << QStringList{"toggle?", "setLength 2", "text?",     "text?",
                                             "text?",   "speed?",      "wait 88000"} +
                                     next;
        QTest::newRow("no token") << QByteArray("ab") << true
                                  << QStringList{"toggle?", "setLength 2", "text?", "text?", "text?"} + next;
        QTest::newRow("bar line") << QByteArray("\r\n") << true
                                  << QStringList{"toggle?", "setLength 2", "text?"} + next;
        QTest::newRow("marker") << QByteArray("120\r\n") << true
                                << QStringList{"toggle?",     "setLength 2", "text?",       "text?",
                                               "setLength 3", "text?",       "setSpeed 62", "start?",
                                               "setStart 3",  "length?",     "start?",      "setStart 5"};
        QTest::newRow("end") << QByteArray() << true
                             << QStringList{"toggle?",         "setLength 2", "text?",  "text?",
                                            "text?",           "length?",     "start?", "setToggle 0",
                                            "setCaption 播放", "setStart 0"};
    }

    void requestOrder() {
        QFETCH(QByteArray, text);
        QFETCH(bool, checked);
        QFETCH(QStringList, calls);
        FakeControls controls;
        controls.text = text;
        controls.checked = checked;
        PlaybackLoop loop(controls);
        loop.turn();
        QCOMPARE(controls.calls, calls);
    }

    // Each turn starts from the stored start, wherever a previous step or the user left it.
    void startsAtTheStoredStart() {
        FakeControls controls;
        controls.text = gbkOf(u"①②③");
        controls.setSelectionStart(2);
        controls.calls.clear();
        PlaybackLoop loop(controls);
        QVERIFY(playToEnd(controls, loop));
        QCOMPARE(controls.events, (QStringList{"S09 @2+2 t0", "wait 88000 @2+2 t0", "S10 @4+2 t88",
                                               "wait 88000 @4+2 t88", "up @6+0 t176"}));
    }

    void pauseAndResumeWithTheNextToken() {
        FakeControls controls;
        controls.text = gbkOf(u"①②③");
        controls.onWait = [](FakeControls& c) {
            if (c.liveStart() == 2) {
                c.checked = false; // the user releases the toggle during ②'s wait
            }
        };
        PlaybackLoop loop(controls);
        controls.checked = true;
        loop.turn();
        loop.turn();
        QVERIFY(!controls.checked);
        QCOMPARE(controls.storedStart(), 4); // ③ highlighted, waiting
        QCOMPARE(controls.liveLength(), 2);

        controls.calls.clear();
        loop.turn();
        loop.turn();
        QCOMPARE(controls.calls, (QStringList{"toggle?", "idle", "toggle?", "idle"}));

        controls.onWait = nullptr;
        QVERIFY(playToEnd(controls, loop));
        QCOMPARE(controls.events,
                 (QStringList{"S08 @0+2 t0", "wait 88000 @0+2 t0", "S09 @2+2 t88", "wait 88000 @2+2 t88",
                              "S10 @4+2 t176", "wait 88000 @4+2 t176", "up @6+0 t264"}));
    }

    // What the user does during ①'s wait in ①②③④⑤, and what plays after it.
    void userActsDuringAWait_data() {
        QTest::addColumn<int>("clickAt");        // -1: no click
        QTest::addColumn<QByteArray>("entered"); // note entry replacing the live selection
        QTest::addColumn<QStringList>("samplesAfter");
        QTest::newRow("click at ④") << 6 << QByteArray() << QStringList{"S12 @8+2"};
        QTest::newRow("click at the end") << 10 << QByteArray() << QStringList{};
        QTest::newRow("click inside ②") << 3 << QByteArray() << QStringList{};
        QTest::newRow("note replaces ①")
            << -1 << gbkOf(u"⑦") << QStringList{"S10 @4+2", "S11 @6+2", "S12 @8+2"};
        QTest::newRow("two notes replace ①")
            << -1 << gbkOf(u"⑥⑦") << QStringList{"S10 @6+2", "S11 @8+2", "S12 @10+2"};
        QTest::newRow("click at ③, then a note") << 4 << gbkOf(u"⑦") << QStringList{"S11 @8+2", "S12 @10+2"};
        QTest::newRow("text cut short") << 0 << QByteArray("\r\n") << QStringList{};
    }

    void userActsDuringAWait() {
        QFETCH(int, clickAt);
        QFETCH(QByteArray, entered);
        QFETCH(QStringList, samplesAfter);
        FakeControls controls;
        controls.text = gbkOf(u"①②③④⑤");
        controls.onWait = [&](FakeControls& c) {
            c.onWait = nullptr;
            if (clickAt >= 0) {
                c.click(clickAt);
            }
            if (!entered.isEmpty()) {
                if (clickAt == 0) {
                    c.text = entered; // the whole text replaced (New, Open)
                    c.click(0);
                } else {
                    c.replaceSelection(entered);
                }
            }
        };
        PlaybackLoop loop(controls);
        QVERIFY(playToEnd(controls, loop));
        QStringList samples;
        for (const QString& e : controls.events) {
            if (e.startsWith(u'S')) {
                samples.append(e.section(u' ', 0, 1));
            }
        }
        QCOMPARE(samples.takeFirst(), QStringLiteral("S08 @0+2"));
        QCOMPARE(samples, samplesAfter);
        QVERIFY(!controls.events.join(u' ').contains(QStringLiteral("negative")));
    }

    void theSliderChangesTheNextWait() {
        FakeControls controls;
        controls.text = gbkOf(u"①②");
        controls.onWait = [](FakeControls& c) { c.speed = 120; };
        PlaybackLoop loop(controls);
        QVERIFY(playToEnd(controls, loop));
        QCOMPARE(controls.events, (QStringList{"S08 @0+2 t0", "wait 88000 @0+2 t0", "S09 @2+2 t88",
                                               "wait 120000 @2+2 t88", "up @4+0 t208"}));
    }

    // Whatever the bytes, playback moves forward, never writes a negative start and ends.
    void randomTextAlwaysEnds() {
        QRandomGenerator rng(13);
        const QList<QByteArray> pieces{gbkOf(u"①"), gbkOf(u"—"), gbkOf(u"⒒"),  "\r\n",      "\r", "\n",
                                       "0",         "1",         "9",          "-",         " ",  "a",
                                       "\xA2",      "\xA3",      gbkOf(u"１"), gbkOf(u"０")};
        for (int i = 0; i < 500; ++i) {
            FakeControls controls;
            const int n = static_cast<int>(rng.bounded(40));
            for (int k = 0; k < n; ++k) {
                controls.text += pieces[rng.bounded(static_cast<int>(pieces.size()))];
            }
            PlaybackLoop loop(controls);
            if (!playToEnd(controls, loop)) {
                QFAIL(qPrintable("never ends: " + controls.text.toHex(' ')));
            }
            QVERIFY(!controls.events.join(u' ').contains(QStringLiteral("negative")));
            QVERIFY(controls.speed >= 0 && controls.speed <= 32767);
        }
    }

    void runEndsWhenStopIsRequestedDuringAWait() {
        std::stop_source stop;
        FakeControls controls;
        controls.stop = &stop;
        controls.text = gbkOf(u"①②③");
        controls.checked = true;
        controls.onWait = [&](FakeControls&) { stop.request_stop(); };
        PlaybackLoop loop(controls);
        loop.run(stop.get_token());
        QCOMPARE(controls.events, (QStringList{"S08 @0+2 t0", "wait 88000 @0+2 t0"}));
        QVERIFY(controls.checked);
    }

    void runKeepsTurningWhileIdleUntilStopped() {
        std::stop_source stop;
        FakeControls controls;
        controls.stop = &stop;
        controls.text = gbkOf(u"①");
        int idles = 0;
        controls.onIdle = [&](FakeControls& c) {
            if (++idles == 3) {
                c.checked = true; // the user presses the toggle
            }
        };
        controls.onWait = [&](FakeControls&) { stop.request_stop(); };
        PlaybackLoop loop(controls);
        loop.run(stop.get_token());
        QCOMPARE(idles, 3);
        QCOMPARE(controls.events, (QStringList{"S08 @0+2 t0", "wait 88000 @0+2 t0"}));
    }

    void runReturnsAtOnceWhenStoppedBefore() {
        std::stop_source stop;
        stop.request_stop();
        FakeControls controls;
        PlaybackLoop loop(controls);
        loop.run(stop.get_token());
        QVERIFY(controls.calls.isEmpty());
    }

    void textToInt_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("120") << QByteArray("120") << 120;
        QTest::newRow("000") << QByteArray("000") << 0;
        QTest::newRow("00") << QByteArray("00") << 0;
        QTest::newRow("01") << QByteArray("01") << 1;
        QTest::newRow("digits then letters") << QByteArray("12a3") << 12;
        QTest::newRow("leading space and tab") << QByteArray(" \t42") << 42;
        QTest::newRow("leading CR LF") << QByteArray("\r\n7") << 7;
        QTest::newRow("minus") << QByteArray("-12") << -12;
        QTest::newRow("plus") << QByteArray("+9") << 9;
        QTest::newRow("sign alone") << QByteArray("-") << 0;
        QTest::newRow("space after sign") << QByteArray("- 5") << 0;
        QTest::newRow("letters") << QByteArray("abc") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("full-width 120") << gbkOf(u"１２０") << 120;
        QTest::newRow("full-width minus") << gbkOf(u"－１２") << -12;
        QTest::newRow("full-width plus, mixed") << gbkOf(u"＋") + "3" + gbkOf(u"４") << 34;
        QTest::newRow("ideographic space") << gbkOf(u"\u3000") + "5" << 5;
        QTest::newRow("rest ０") << gbkOf(u"０") << 0;
        QTest::newRow("full-width letter") << gbkOf(u"ｘ１") << 0;
        QTest::newRow("lone A3") << QByteArray("\xA3") << 0;
        QTest::newRow("A3 then digit") << QByteArray("\xA3"
                                                     "5")
                                       << 0;
        QTest::newRow("pitch token") << gbkOf(u"①") << 0;
        QTest::newRow("int max") << QByteArray("2147483647") << std::numeric_limits<int>::max();
        QTest::newRow("int min") << QByteArray("-2147483648") << std::numeric_limits<int>::min();
        QTest::newRow("too large saturates") << QByteArray("99999999999") << std::numeric_limits<int>::max();
        QTest::newRow("too small saturates") << QByteArray("-99999999999") << std::numeric_limits<int>::min();
    }

    void textToInt() {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        QCOMPARE(notation::textToInt(text), value);
    }

    void unitForTempo_data() {
        QTest::addColumn<int>("bpm");
        QTest::addColumn<int>("unit");
        QTest::newRow("120") << 120 << 62;
        QTest::newRow("100") << 100 << 75;
        QTest::newRow("40") << 40 << 187;
        QTest::newRow("240") << 240 << 31;
        QTest::newRow("300") << 300 << 25;
        QTest::newRow("999") << 999 << 7;
        QTest::newRow("10") << 10 << 750;
        QTest::newRow("1") << 1 << 7500;
        QTest::newRow("7501 rounds to 0") << 7501 << 0;
        QTest::newRow("-12") << -12 << -625;
        QTest::newRow("int max") << std::numeric_limits<int>::max() << 0;
        QTest::newRow("int min") << std::numeric_limits<int>::min() << 0;
        QTest::newRow("0 gives the largest position") << 0 << 32767;
    }

    void unitForTempo() {
        QFETCH(int, bpm);
        QFETCH(int, unit);
        QCOMPARE(notation::unitForTempo(bpm), unit);
    }
};

int tonmiro::notation::tests::runPlaybackLoopTests(int argc, char** argv) {
    PlaybackLoopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_playback_loop.moc"
