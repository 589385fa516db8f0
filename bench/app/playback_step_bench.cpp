// Playback figures: the overhead of one token step of the real program.
//
// A real MainWindow (shown, on the offscreen platform) with its own playback thread, which runs
// PlaybackLoop through PlaybackBridge: every control request of a step is carried to the UI
// thread and blocks until served there. The speed slider's position is written to 0, so every
// wait is empty and what is left is the cost of the requests themselves: the round trips, the
// byte <-> character mapping of the edit box, re-selecting, scrolling and repainting.
//
// One iteration plays a window of the score: the stored selection start is put at the window's
// first byte, the play toggle is clicked, and the UI thread runs its event loop until either the
// toggle pops up at the end of the score ("to_end") or the stored start has moved a fixed number
// of steps ("middle"; the toggle is then released and the loop left to go idle). The iteration
// time is elapsed / steps, so the Time column is the mean cost of one step. Every step's own
// duration (between two successive moves of the stored start, as seen on the UI thread) is
// collected too, and given as step_median_us and step_p99_us over all iterations. A run that
// takes longer than kRunBudgetMs stops there and counts the steps it made (partial_runs).
// The "hidden" cases play in a window that is not on screen, so nothing is repainted: the
// difference to the shown case is the painting's share of a step.
//
// Scores: lines of "①②③④⑤⑥⑦—" and CR LF (18 bytes a line) of 1 KB and of 1 MB, and a 1 MB score
// that is one single line.
//
// Run with QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy.

#include "app/main_window.h"
#include "app/score_document.h"
#include "app/score_edit.h"
#include "app/speed_slider.h"
#include "bench/app/bench_scores.h"
#include "notation/gbk_codec.h"
#include "sound/sound_device.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using tonmiro::app::MainWindow;
using tonmiro::bench::linesScore;
using tonmiro::bench::singleLineScore;

namespace {

using Clock = std::chrono::steady_clock;

constexpr qsizetype kKiB = 1024;
constexpr qsizetype kMiB = 1024 * 1024;
// Steps played per iteration in the windows of the 1 MB scores: about what the 1 KB score has.
constexpr qsizetype kWindowSteps = 512;
constexpr int kIterations = 20;
constexpr int kSlowIterations = 3;
// The longest one run may take; a slower run stops there and counts the steps it made.
constexpr int kRunBudgetMs = 5000;

struct NoDialogs final : tonmiro::app::DocumentDialogs {
    std::optional<QString> askSavePath(const QString&) override { return std::nullopt; }
    std::optional<QString> askOpenPath(const QString&) override { return std::nullopt; }
    Answer askSaveChanges() override { return Answer::No; }
};

struct Program {
    NoDialogs dialogs;
    tonmiro::sound::SoundDevice sound;
    MainWindow window{sound, &dialogs};
};

// Whole: the score from its start to its end. Tail: its last kWindowSteps steps, to the end.
// Middle: kWindowSteps steps from the middle of the score.
enum class Span { Whole, Tail, Middle };

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(p * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Runs the event loop until the predicate holds or the timeout (a hang guard, not a measure).
template <class Pred> bool spinUntil(Pred done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Lets the event loop serve whatever the playback thread still asks for, for ms milliseconds.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Per case: which score, which part of it, whether the window is on screen (a hidden window is
// not repainted, which shows how much of a step the painting takes) and how many iterations.
struct Case {
    const QByteArray* score;
    Span span;
    bool shown;
};

void playbackStep(benchmark::State& state, const Case& c) {
    Program p;
    tonmiro::app::ScoreEdit* edit = p.window.scoreEdit();
    QPushButton* toggle = p.window.playToggle();
    edit->setText(*c.score);
    p.window.speedSlider()->setPosition(0);
    if (c.shown) {
        p.window.show();
    }
    settle(50);

    const qsizetype length = edit->textLength();
    if (length != c.score->size()) {
        state.SkipWithError("the edit box does not hold the score byte for byte");
        return;
    }
    // Even byte positions only: every token is two bytes, so a step never lands inside one.
    qsizetype first = 0;
    qsizetype steps = 0; // turns that move the stored start, plus the one that finds the end
    if (c.span != Span::Middle) {
        first =
            c.span == Span::Whole ? 0 : std::max<qsizetype>(0, (length - 2 * kWindowSteps) & ~qsizetype(1));
        steps = (length - first + 1) / 2 + 1;
    } else {
        first = (length / 2) & ~qsizetype(1);
        steps = kWindowSteps;
    }
    const qsizetype target = first + 2 * steps; // middle only

    std::vector<double> stepUs;
    stepUs.reserve(size_t(steps) * kIterations);
    bool recording = false;
    bool moved = false; // any move of the stored start, recorded or not
    qsizetype lastStart = 0;
    qsizetype movesThisRun = 0;
    Clock::time_point lastMove;
    Clock::time_point finished;
    bool done = false;

    QEventLoop loop;
    const auto onMove = [&] {
        const qsizetype start = edit->storedSelectionStart();
        if (start == lastStart) {
            return; // a new length, or the live selection only
        }
        moved = true;
        if (!recording) {
            lastStart = start;
            return;
        }
        const Clock::time_point now = Clock::now();
        stepUs.push_back(std::chrono::duration<double, std::micro>(now - lastMove).count());
        ++movesThisRun;
        lastMove = now;
        lastStart = start;
        if (c.span == Span::Middle && start >= target) {
            finished = now;
            recording = false;
            done = true;
            loop.quit();
        }
    };
    QObject::connect(edit, &QPlainTextEdit::cursorPositionChanged, &loop, onMove);
    QObject::connect(edit, &QPlainTextEdit::selectionChanged, &loop, onMove);
    QObject::connect(toggle, &QPushButton::toggled, &loop, [&](bool checked) {
        if (!checked && recording) {
            finished = Clock::now();
            ++movesThisRun; // the turn that found the end
            recording = false;
            done = true;
            loop.quit();
        }
    });

    // Releases the toggle and lets the turn in progress finish: quiet once the stored start has
    // not moved for several step times.
    const auto releaseAndWaitIdle = [&] {
        if (toggle->isChecked()) {
            toggle->click();
        }
        const int quietMs = std::max(20, int(3 * percentile(stepUs, 0.5) / 1000.0));
        do {
            moved = false;
            settle(quietMs);
        } while (moved);
    };

    int partialRuns = 0;
    for (auto _ : state) {
        edit->setSelectionLength(0);
        edit->setSelectionStart(first);
        lastStart = first;
        movesThisRun = 0;
        done = false;
        recording = true;
        const Clock::time_point begin = Clock::now();
        lastMove = begin;
        toggle->click();
        // A score that makes steps very slow gets a bounded run: the steps made so far count.
        QTimer budget;
        budget.setSingleShot(true);
        QObject::connect(&budget, &QTimer::timeout, &loop, [&] {
            finished = Clock::now();
            recording = false;
            loop.quit();
        });
        budget.start(kRunBudgetMs);
        loop.exec();
        recording = false;
        if (!done) {
            ++partialRuns;
        }
        if (movesThisRun == 0) {
            state.SkipWithError("playback made no step within the time budget");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(finished - begin).count() /
                               double(movesThisRun));

        if (done && c.span != Span::Middle) {
            // The last turn goes on after the pop-up: caption, then the start back to 0.
            if (!spinUntil(
                    [&] {
                        return edit->storedSelectionStart() == 0 && toggle->text() == QStringLiteral("播放");
                    },
                    5000)) {
                state.SkipWithError("the toggle popped up but playback did not come back to the start");
                break;
            }
        }
        releaseAndWaitIdle();
    }
    releaseAndWaitIdle();

    state.counters["steps"] = double(steps);
    state.counters["partial_runs"] = double(partialRuns);
    state.counters["score_bytes"] = double(length);
    state.counters["step_median_us"] = percentile(stepUs, 0.5);
    state.counters["step_p99_us"] = percentile(stepUs, 0.99);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    const QByteArray lines1K = linesScore(kKiB);
    const QByteArray lines1M = linesScore(kMiB);
    const QByteArray single1M = singleLineScore(kMiB);

    // Cases live as long as the benchmarks that refer to them.
    static std::vector<Case> cases;
    cases.reserve(16);
    const auto add = [](const char* name, const QByteArray& score, Span span, bool shown, int iterations) {
        const Case& c = cases.emplace_back(Case{&score, span, shown});
        benchmark::RegisterBenchmark(name, [&c](benchmark::State& s) { playbackStep(s, c); })
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMicrosecond);
    };
    add("BM_PlaybackStep/lines_1KB/whole_to_end", lines1K, Span::Whole, true, kIterations);
    add("BM_PlaybackStep/lines_1MB/tail_to_end", lines1M, Span::Tail, true, kIterations);
    add("BM_PlaybackStep/lines_1MB/middle", lines1M, Span::Middle, true, kIterations);
    add("BM_PlaybackStep/lines_1KB/whole_to_end/hidden", lines1K, Span::Whole, false, kIterations);
    add("BM_PlaybackStep/lines_1MB/middle/hidden", lines1M, Span::Middle, false, kIterations);
    // Steps inside one huge line are slow: few runs, each bounded by the budget.
    add("BM_PlaybackStep/single_line_1MB/tail_to_end", single1M, Span::Tail, true, kSlowIterations);
    add("BM_PlaybackStep/single_line_1MB/middle", single1M, Span::Middle, true, kSlowIterations);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
