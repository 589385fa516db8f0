#include "sound/mixer.h"
#include "sound/sample_bank.h"
#include "tests/sound/pitch.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <thread>

using tonmiro::sound::Mixer;
using tonmiro::sound::SampleBank;
namespace test = tonmiro::sound::test;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 48000;

// Fixture samples at the device rate, so the mixer plays them without conversion:
// 1: a marked first frame then 99 quieter frames; 2: 1,000 frames at 0.1;
// 3: 10,000 frames at 1/1000; 4: 4,800 frames of a full-scale square wave.
struct Fixtures {
    std::vector<std::int16_t> marked, plateau, quiet, square;
    std::array<std::span<const std::int16_t>, 4> spans;
    Fixtures() {
        marked.assign(100, 4096);
        marked[0] = 8192;
        plateau.assign(1000, 3277);
        quiet.assign(10000, 33);
        square.resize(4800);
        for (std::size_t i = 0; i < square.size(); ++i) {
            square[i] = (i / 50) % 2 ? 32767 : -32767;
        }
        spans = {marked, plateau, quiet, square};
    }
};

// Renders period-sized buffers on a simulated clock that advances exactly one buffer per call;
// before each render, the starts whose request time has come are handed to the mixer, as the
// producing threads would have done during the previous buffer.
struct Run {
    Mixer& mixer;
    Mixer::Clock::time_point t0;
    int period;
    std::vector<float> out; // interleaved stereo
    std::vector<std::pair<int, Mixer::Clock::time_point>> pending;

    Mixer::Clock::time_point frameTime(double frame) const {
        return t0 + std::chrono::duration_cast<Mixer::Clock::duration>(
                        std::chrono::duration<double>(frame / kRate));
    }
    void request(int sample, double atFrame) { pending.emplace_back(sample, frameTime(atFrame)); }
    void render(int buffers) {
        for (int b = 0; b < buffers; ++b) {
            const auto first = out.size() / 2;
            const auto now = frameTime(double(first));
            for (auto it = pending.begin(); it != pending.end();) {
                if (it->second <= now) {
                    mixer.start(it->first, it->second);
                    it = pending.erase(it);
                } else {
                    ++it;
                }
            }
            out.resize(out.size() + 2 * std::size_t(period));
            mixer.render(out.data() + 2 * first, period, now);
        }
    }
    float left(std::size_t frame) const { return out[2 * frame]; }
    float right(std::size_t frame) const { return out[2 * frame + 1]; }
    // Frames where a marked first frame (sample 1) comes in: the level jumps by a quarter.
    std::vector<std::size_t> onsets() const {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < out.size() / 2; ++i) {
            if (left(i) - (i > 0 ? left(i - 1) : 0.0f) > 0.2f) {
                at.push_back(i);
            }
        }
        return at;
    }
    std::vector<std::size_t> framesEqualTo(float v) const {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < out.size() / 2; ++i) {
            if (left(i) == v) {
                at.push_back(i);
            }
        }
        return at;
    }
};

} // namespace

class MixerTest : public QObject {
    Q_OBJECT

    Fixtures m_fixtures;
    const Mixer::Clock::time_point m_t0 = Mixer::Clock::time_point(1000s);

private slots:
    // Onsets land on the frame of their request time plus the fixed latency, wherever the
    // buffer boundaries fall, and keep the spacing of the requests.
    void onsetAtTheFrameOfItsRequest_data() {
        QTest::addColumn<int>("period");
        QTest::addColumn<double>("first"); // request frames after the first render
        QTest::addColumn<double>("second");
        QTest::newRow("256, same buffer") << 256 << 10.0 << 30.0;
        QTest::newRow("256, across a boundary") << 256 << 250.0 << 262.0;
        QTest::newRow("256, on boundaries") << 256 << 256.0 << 512.0;
        QTest::newRow("256, fractional frames") << 256 << 1000.4 << 1371.6;
        QTest::newRow("64, many buffers apart") << 64 << 3.0 << 1731.0;
        QTest::newRow("100, odd period") << 100 << 99.0 << 101.0;
        QTest::newRow("441") << 441 << 440.0 << 1323.0;
        QTest::newRow("1024, larger than a chunk") << 1024 << 300.0 << 700.0;
    }
    void onsetAtTheFrameOfItsRequest() {
        QFETCH(int, period);
        QFETCH(double, first);
        QFETCH(double, second);
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, period);
        double latency = std::chrono::duration<double>(mixer.latency()).count() * kRate;
        QVERIFY(std::abs(latency - 2.0 * period) < 0.01);
        latency = 2.0 * period;
        Run run{mixer, m_t0, period, {}, {}};
        run.request(1, first);
        run.request(1, second);
        run.render(int((second + latency) / period) + 4);
        const auto onsets = run.onsets();
        QCOMPARE(onsets.size(), std::size_t(2));
        QCOMPARE(onsets[0], std::size_t(std::llround(first + latency)));
        QCOMPARE(onsets[1], std::size_t(std::llround(second + latency)));
    }

    // The clock mapping: a callback that jitters by less than a period leaves onsets where the
    // stream's own clock puts them; one that comes more than a period late (the stream fell
    // behind: an underrun) moves the mapping at once, so later requests keep their latency.
    void callbackTimingMovesTheMappingOnlyWhenLate_data() {
        QTest::addColumn<double>("lateness"); // frames
        QTest::addColumn<bool>("follows");
        QTest::newRow("on time") << 0.0 << false;
        QTest::newRow("jitter late") << 100.0 << false;
        QTest::newRow("jitter early") << -100.0 << false;
        QTest::newRow("underrun") << 1000.0 << true;
        QTest::newRow("long stall") << 48000.0 << true;
    }
    void callbackTimingMovesTheMappingOnlyWhenLate() {
        QFETCH(double, lateness);
        QFETCH(bool, follows);
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        Run run{mixer, m_t0, 256, {}, {}};
        run.render(8);
        // The next callback for stream frame 2048 comes at clock frame 2048 + lateness.
        const double callAt = 2048 + lateness;
        mixer.start(1, run.frameTime(callAt - 10));
        run.out.resize(run.out.size() + std::size_t(2 * 256 * 4));
        for (std::ptrdiff_t b = 0; b < 4; ++b) {
            mixer.render(run.out.data() + 2 * (2048 + 256 * b), 256, run.frameTime(callAt + double(256 * b)));
        }
        const auto onsets = run.onsets();
        QCOMPARE(onsets.size(), std::size_t(1));
        const double expected = follows ? 2048 - 10 + 512 : callAt - 10 + 512;
        QVERIFY2(std::abs(double(onsets[0]) - expected) <= 3.0, qPrintable(QString::number(onsets[0])));
    }

    // A request older than the fixed latency sounds at the start of the next buffer, whole.
    void lateStartSoundsAtOnceFromItsBeginning() {
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        Run run{mixer, m_t0, 256, {}, {}};
        run.render(3);
        mixer.start(1, m_t0 - 1s);
        run.render(2);
        QCOMPARE(run.left(767), 0.0f);
        QCOMPARE(run.left(768), 8192 / 32768.0f);
        QCOMPARE(run.left(768 + 99), 4096 / 32768.0f);
        QCOMPARE(run.left(768 + 100), 0.0f);
    }

    // Two overlapping starts of the same sample: both play fully, the first is not cut.
    void overlappingStartsOfOneSampleBothPlayFully() {
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        Run run{mixer, m_t0, 256, {}, {}};
        run.request(2, 0);
        run.request(2, 300);
        run.render(8);
        const float one = 3277 / 32768.0f;
        const std::size_t a = 512; // onset of the first: latency of two periods
        for (std::size_t i = 0; i < 1300; ++i) {
            const float expected = (i >= 300 && i < 1000 ? 2 : 1) * one;
            QVERIFY2(run.left(a + i) == expected,
                     qPrintable(QStringLiteral("%1: %2").arg(i).arg(run.left(a + i))));
        }
        QCOMPARE(run.left(a - 1), 0.0f);
        QCOMPARE(run.left(a + 1300), 0.0f);
    }

    // With every voice busy a further start is not heard, and no sounding voice is cut.
    void fullPoolDropsTheNewStartAndCutsNothing() {
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        Run run{mixer, m_t0, 256, {}, {}};
        for (int i = 0; i < Mixer::kVoiceCount; ++i) {
            run.request(3, 0);
        }
        run.render(4);
        QCOMPARE(mixer.activeVoices(), Mixer::kVoiceCount);
        run.request(1, 4 * 256);
        run.request(3, 4 * 256);
        run.render(40);
        QCOMPARE(mixer.droppedStarts(), std::uint64_t(2));
        const float all = Mixer::kVoiceCount * (33 / 32768.0f);
        for (std::size_t i = 512; i < 512 + 10000; ++i) {
            QVERIFY2(std::abs(run.left(i) - all) < 1e-4f, qPrintable(QString::number(i)));
        }
        QCOMPARE(run.left(512 + 10000), 0.0f);
        QCOMPARE(mixer.activeVoices(), 0);
        // The voices are free again.
        const std::size_t later = run.out.size() / 2;
        run.request(1, double(later));
        run.render(4);
        QCOMPARE(run.left(later + 512), 8192 / 32768.0f);
    }

    void queueRefusesWhenFull() {
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        int accepted = 0;
        while (mixer.start(1, m_t0) && accepted < 100000) {
            ++accepted;
        }
        QCOMPARE(accepted, 1024);
        std::vector<float> out(512);
        mixer.render(out.data(), 256, m_t0);
        QVERIFY(mixer.start(1, m_t0));
    }

    void masterGainsApplyPerChannel_data() {
        QTest::addColumn<float>("left");
        QTest::addColumn<float>("right");
        QTest::newRow("full") << 1.0f << 1.0f;
        QTest::newRow("half left, quarter right") << 0.5f << 0.25f;
        QTest::newRow("silent") << 0.0f << 0.0f;
        QTest::newRow("level 655") << 655 / 65535.0f << 655 / 65535.0f;
        QTest::newRow("left only") << 1.0f << 0.0f;
    }
    void masterGainsApplyPerChannel() {
        QFETCH(float, left);
        QFETCH(float, right);
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        mixer.setGains(left, right);
        Run run{mixer, m_t0, 256, {}, {}};
        run.request(2, 0);
        run.render(6);
        const float x = 3277 / 32768.0f;
        for (std::size_t i = 512; i < 1512; ++i) {
            QCOMPARE(run.left(i), x * left);
            QCOMPARE(run.right(i), x * right);
        }
    }

    // A gain change is ramped over a buffer, not stepped.
    void gainChangeIsRamped() {
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        Run run{mixer, m_t0, 256, {}, {}};
        run.request(3, 0);
        run.render(3);
        mixer.setGains(0.0f, 0.0f);
        run.render(2);
        const float x = 33 / 32768.0f;
        QCOMPARE(run.left(767), x);
        QVERIFY(run.left(768) < x && run.left(768) > 0.9f * x);
        QVERIFY(run.left(900) > 0.0f && run.left(900) < 0.6f * x);
        QCOMPARE(run.left(1023), 0.0f);
    }

    // Dozens of full-scale voices stay within full scale; a single quiet voice is untouched.
    void limiterKeepsTheMixWithinFullScale() {
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        Run run{mixer, m_t0, 256, {}, {}};
        for (int i = 0; i < 200; ++i) {
            run.request(4, i * 7.0);
        }
        run.render(30);
        float peak = 0.0f;
        for (float v : run.out) {
            QVERIFY(std::isfinite(v));
            peak = std::max(peak, std::abs(v));
        }
        QVERIFY2(peak <= 1.0f, qPrintable(QString::number(peak)));
        QVERIFY2(peak > 0.9f, qPrintable(QString::number(peak)));
    }

    // Converted to 48 kHz, a note keeps its length, pitch, level and the time of its onset.
    void conversionKeepsPitchTimingAndLevel_data() {
        QTest::addColumn<int>("sample");
        QTest::newRow("S01") << 1;
        QTest::newRow("S14") << 14;
        QTest::newRow("S26") << 26;
    }
    void conversionKeepsPitchTimingAndLevel() {
        QFETCH(int, sample);
        const auto& bank = SampleBank::embedded();
        std::array<std::span<const std::int16_t>, SampleBank::kCount> sources;
        for (int i = 0; i < SampleBank::kCount; ++i) {
            sources[std::size_t(i)] = bank.frames(i + 1);
        }
        Mixer mixer;
        mixer.prepare(sources, SampleBank::kSampleRate, kRate, 256);
        const auto in = bank.frames(sample);
        const auto out = mixer.converted(sample);
        const double ratio = double(kRate) / SampleBank::kSampleRate;
        QVERIFY(std::abs(double(out.size()) - in.size() * ratio) <= 1.0);

        std::vector<float> original(in.size());
        std::transform(in.begin(), in.end(), original.begin(), [](std::int16_t v) { return v / 32768.0f; });
        const double f0 = test::measureFundamental(original, SampleBank::kSampleRate);
        const double f1 = test::measureFundamental(out, kRate);
        QVERIFY2(std::abs(test::cents(f1, f0)) < 0.5, qPrintable(QStringLiteral("%1 -> %2").arg(f0).arg(f1)));

        const auto peakOf = [](auto span) {
            float peak = 0.0f;
            for (auto v : span) {
                peak = std::max(peak, std::abs(float(v)));
            }
            return peak;
        };
        const float inPeak = peakOf(original);
        QVERIFY(std::abs(peakOf(out) - inPeak) < 0.02f * inPeak);
        // The energy-weighted mean time of the note: a shift of the conversion moves it.
        const auto centroid = [](std::span<const float> x, double rate) {
            double weighted = 0.0;
            double energy = 0.0;
            for (std::size_t i = 0; i < x.size(); ++i) {
                weighted += double(i) * x[i] * x[i];
                energy += double(x[i]) * x[i];
            }
            return weighted / energy / rate;
        };
        const double shift = centroid(out, kRate) - centroid(original, SampleBank::kSampleRate);
        QVERIFY2(std::abs(shift) < 20e-6, qPrintable(QString::number(shift)));
    }

    // Start requests from several threads at once while the audio thread renders.
    void startsFromManyThreads() {
        Mixer mixer;
        mixer.prepare(m_fixtures.spans, kRate, kRate, 256);
        std::atomic<bool> done{false};
        std::thread audio([&] {
            std::vector<float> out(512);
            auto now = Mixer::Clock::now();
            while (!done.load()) {
                mixer.render(out.data(), 256, now);
                now += 5ms;
            }
        });
        std::vector<std::thread> producers;
        producers.reserve(3);
        std::atomic<int> accepted{0};
        for (int p = 0; p < 3; ++p) {
            producers.emplace_back([&] {
                for (int i = 0; i < 2000; ++i) {
                    accepted += mixer.start(1 + i % 4) ? 1 : 0;
                }
            });
        }
        for (auto& t : producers) {
            t.join();
        }
        done = true;
        audio.join();
        QVERIFY(accepted.load() > 0);
    }
};

int runMixerTest(int argc, char** argv) {
    MixerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mixer_test.moc"
