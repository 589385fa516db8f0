// Keyboard input figures.
//
// Sampling: the cost of one 10 ms polling tick on the UI thread (step every key, collect and
// raise the changes, run the key handler), also given as a share of the 10 ms period
// ("ui_percent"; the console prints it as an inverted rate with an SI prefix and an "s" suffix,
// so "2.5ms" there means 0.0025 %).
//
// Latency: a key press delivered to the application at a random moment, until the key handler
// starts the note's sample, through the real 10 ms precise timer and event loop. The figure is
// mostly the wait for the next sample (0 to 10 ms by design); reported as median and p99 in
// milliseconds.
//
// Run with QT_QPA_PLATFORM=offscreen on a machine without a display.

#include "input/key_handler.h"
#include "input/keyboard_device.h"
#include "input/qt_key_source.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

using namespace tonmiro::input;

namespace {

using Clock = std::chrono::steady_clock;

class CountingActions : public KeyActions {
public:
    int samples = 0;
    int buttons = 0;
    int texts = 0;
    Clock::time_point lastSample;
    void playSample(int) override {
        ++samples;
        lastSample = Clock::now();
    }
    void setButtonEnabled(KeyCode, bool) override { ++buttons; }
    void replaceSelection(QByteArrayView) override { ++texts; }
};

// Share of the 10 ms polling period that one iteration takes, in percent.
benchmark::Counter uiPercent(benchmark::IterationCount iterations) {
    return benchmark::Counter(double(iterations) * 0.010 / 100.0,
                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A tick with no key down and one with a ten-key chord held: no changes to raise.
void BM_TickSteady(benchmark::State& state) {
    KeyboardDevice device;
    device.acquire(true);
    for (int i = 0; i < state.range(0); ++i) {
        device.setKeyDown(letterKey(char('a' + i)), true);
    }
    device.sample();
    device.sample();
    for (auto _ : state) {
        KeyChanges changes = device.sample();
        benchmark::DoNotOptimize(changes);
    }
    state.counters["ui_percent"] = uiPercent(state.iterations());
}
BENCHMARK(BM_TickSteady)->Arg(0)->Arg(10);

// A tick that raises events: a note key goes down or up at every tick, through the Qt source's
// signal into the key handler (the handler's effects are counted, not performed).
void BM_TickWithNote(benchmark::State& state) {
    KeyboardDevice device;
    device.acquire(true);
    CountingActions actions;
    KeyHandler handler(device, actions);
    QtKeySource source(device);
    QObject::connect(&source, &QtKeySource::keyStateChanged, [&](KeyCode code, KeyState s) {
        handler.handle({code, s});
    });
    bool down = false;
    for (auto _ : state) {
        down = !down;
        device.setKeyDown(KeyCode(106), down);
        source.poll();
    }
    benchmark::DoNotOptimize(actions.samples);
    state.counters["ui_percent"] = uiPercent(state.iterations());
}
BENCHMARK(BM_TickWithNote);

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * double(v.size() - 1));
    return v[i];
}

// Key press arrival -> playSample call, through the real timer and event loop.
void BM_KeyToSoundLatency(benchmark::State& state) {
    QWidget window;
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        state.SkipWithError("window not activated");
        return;
    }
    KeyboardDevice device;
    CountingActions actions;
    KeyHandler handler(device, actions);
    QtKeySource source(device);
    QObject::connect(&source, &QtKeySource::keyStateChanged, [&](KeyCode code, KeyState s) {
        handler.handle({code, s});
    });
    source.attach(&window);
    source.setPollingPeriod(10);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> phase(0, 9999); // microseconds
    std::vector<double> latencies;
    const int presses = int(state.range(0));
    for (auto _ : state) {
        latencies.clear();
        for (int i = 0; i < presses; ++i) {
            // Wait a random part of a period, then press.
            const auto until = Clock::now() + std::chrono::microseconds(20000 + phase(random));
            while (Clock::now() < until) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            }
            const int before = actions.samples;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_J, Qt::NoModifier);
            const Clock::time_point sent = Clock::now();
            QApplication::sendEvent(&window, &press);
            while (actions.samples == before) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            }
            latencies.push_back(std::chrono::duration<double, std::milli>(actions.lastSample - sent).count());
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_J, Qt::NoModifier);
            QApplication::sendEvent(&window, &release);
        }
    }
    state.counters["median_ms"] = percentile(latencies, 0.5);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
}
BENCHMARK(BM_KeyToSoundLatency)->Arg(300)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
