#include "sound/sample_bank.h"
#include "tests/sound/pitch.h"
#include "tools/note_synth.h"

#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using tonmiro::sound::SampleBank;
namespace synth = tonmiro::sound::synth;
namespace test = tonmiro::sound::test;

namespace {

constexpr double kRate = SampleBank::kSampleRate;

quint32 le16(QByteArrayView b, qsizetype at) {
    return quint8(b[at]) | (quint32(quint8(b[at + 1])) << 8);
}

quint32 le32(QByteArrayView b, qsizetype at) {
    return le16(b, at) | (le16(b, at + 2) << 16);
}

void setLe16(QByteArray& b, qsizetype at, quint32 v) {
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}

void setLe32(QByteArray& b, qsizetype at, quint32 v) {
    setLe16(b, at, v & 0xffff);
    setLe16(b, at + 2, v >> 16);
}

std::vector<float> toFloat(std::span<const std::int16_t> frames) {
    std::vector<float> out(frames.size());
    std::transform(frames.begin(), frames.end(), out.begin(), [](std::int16_t v) { return v / 32768.0f; });
    return out;
}

QByteArray generatedImage(const std::vector<std::int16_t>& frames) {
    const auto bytes = synth::waveImage(frames);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

void addSampleRows() {
    QTest::addColumn<int>("sample");
    for (int n = 1; n <= SampleBank::kCount; ++n) {
        QTest::addRow("S%02d", n) << n;
    }
}

} // namespace

class SampleBankTest : public QObject {
    Q_OBJECT

private slots:
    void layout_data() { addSampleRows(); }
    void layout() {
        QFETCH(int, sample);
        const QByteArrayView image = SampleBank::embedded().image(sample);
        QCOMPARE(image.size(), 66860);
        QCOMPARE(image.first(4), QByteArrayView("RIFF"));
        QCOMPARE(le32(image, 4), 66852u);
        QCOMPARE(image.sliced(8, 4), QByteArrayView("WAVE"));
        QCOMPARE(image.sliced(12, 4), QByteArrayView("fmt "));
        QCOMPARE(le32(image, 16), 16u);
        QCOMPARE(le16(image, 20), 1u);     // PCM
        QCOMPARE(le16(image, 22), 1u);     // mono
        QCOMPARE(le32(image, 24), 11025u); // frames per second
        QCOMPARE(le32(image, 28), 22050u); // bytes per second
        QCOMPARE(le16(image, 32), 2u);     // block alignment
        QCOMPARE(le16(image, 34), 16u);    // bits per sample
        QCOMPARE(image.sliced(36, 4), QByteArrayView("data"));
        QCOMPARE(le32(image, 40), 66808u);
        QCOMPARE(image.sliced(66852), QByteArrayView(QByteArray(8, '\0')));

        const auto frames = SampleBank::embedded().frames(sample);
        QCOMPARE(frames.size(), std::size_t(SampleBank::kFrames));
        for (std::size_t i = 0; i < frames.size(); i += 997) {
            QCOMPARE(quint16(frames[i]), le16(image, 44 + 2 * qsizetype(i)));
        }
    }

    void unknownNumbersAreEmpty() {
        for (int n : {0, -1, 27, 100}) {
            QVERIFY(SampleBank::embedded().image(n).isEmpty());
            QVERIFY(SampleBank::embedded().frames(n).empty());
        }
    }

    void envelope_data() { addSampleRows(); }
    void envelope() {
        QFETCH(int, sample);
        const auto frames = SampleBank::embedded().frames(sample);
        QVERIFY(!frames.empty());
        std::vector<int> level(frames.size());
        std::transform(frames.begin(), frames.end(), level.begin(),
                       [](std::int16_t v) { return std::abs(int(v)); });
        const auto peakAt = std::max_element(level.begin(), level.end()) - level.begin();
        const int peak = level[std::size_t(peakAt)];
        const auto firstIndex = [&](auto pred) {
            return std::find_if(level.begin(), level.end(), pred) - level.begin();
        };
        const auto lastIndex = [&](auto pred) {
            return level.rend() - std::find_if(level.rbegin(), level.rend(), pred) - 1;
        };

        // About 1,500 frames of digital silence, then a soft start (no click).
        const auto firstSound = firstIndex([](int v) { return v != 0; });
        QVERIFY2(firstSound >= 1400 && firstSound <= 1600, qPrintable(QString::number(firstSound)));
        QVERIFY(*std::max_element(level.begin() + firstSound, level.begin() + firstSound + 20) < peak / 100);
        // Audible soon after: a tenth of the peak between 0.136 and 0.20 s.
        const double audible = firstIndex([&](int v) { return v >= peak / 10; }) / kRate;
        QVERIFY2(audible >= 0.136 && audible <= 0.20, qPrintable(QString::number(audible)));
        // Loudest between 0.18 and 0.31 s, at half to full scale.
        QVERIFY2(peakAt / kRate >= 0.18 && peakAt / kRate <= 0.31,
                 qPrintable(QString::number(peakAt / kRate)));
        QVERIFY2(peak >= 32768 * 45 / 100 && peak <= 32767, qPrintable(QString::number(peak)));
        // Free decay below 1 % of the peak by 2.1 to 2.9 s.
        const double quiet = double(lastIndex([&](int v) { return v * 100 >= peak; }) + 1) / kRate;
        QVERIFY2(quiet >= 2.1 && quiet <= 2.9, qPrintable(QString::number(quiet)));
        // 0.12 to 0.17 s of digital silence at the end, reached softly.
        const auto lastSound = lastIndex([](int v) { return v != 0; });
        const double tail = double(qsizetype(level.size()) - lastSound - 1) / kRate;
        QVERIFY2(tail >= 0.12 && tail <= 0.17, qPrintable(QString::number(tail)));
        QVERIFY(*std::max_element(level.begin() + lastSound - 20, level.begin() + lastSound + 1) <
                peak / 100);
    }

    void peaksDifferFromSampleToSample() {
        int lowest = 32767;
        int highest = 0;
        for (int n = 1; n <= SampleBank::kCount; ++n) {
            const auto frames = SampleBank::embedded().frames(n);
            int peak = 0;
            for (auto v : frames) {
                peak = std::max(peak, std::abs(int(v)));
            }
            lowest = std::min(lowest, peak);
            highest = std::max(highest, peak);
        }
        QVERIFY2(highest - lowest > 32768 / 5, qPrintable(QStringLiteral("%1..%2").arg(lowest).arg(highest)));
    }

    void pitch_data() {
        QTest::addColumn<int>("sample");
        QTest::addColumn<double>("expected");
        const int steps[7] = {0, 2, 4, 5, 7, 9, 11};
        for (int n = 1; n <= SampleBank::kCount; ++n) {
            const int k = 12 * ((n - 1) / 7) + steps[(n - 1) % 7];
            QTest::addRow("S%02d", n) << n << 120.7 * std::pow(2.0, k / 12.0);
        }
    }
    void pitch() {
        QFETCH(int, sample);
        QFETCH(double, expected);
        const auto frames = toFloat(SampleBank::embedded().frames(sample));
        const double f0 = test::measureFundamental(frames, kRate);
        QVERIFY2(std::abs(test::cents(f0, expected)) <= 4.0,
                 qPrintable(QStringLiteral("%1 Hz, expected %2 Hz").arg(f0).arg(expected)));
    }

    // The measurement above must tell a detuned sample from a good one.
    void pitchMeasurementSeesDetuning_data() {
        QTest::addColumn<int>("sample");
        QTest::addColumn<double>("detune"); // cents
        QTest::newRow("S01 semitone sharp") << 1 << 100.0;
        QTest::newRow("S08 semitone flat") << 8 << -100.0;
        QTest::newRow("S26 semitone sharp") << 26 << 100.0;
        QTest::newRow("S12 6 cents sharp") << 12 << 6.0;
        QTest::newRow("S03 octave low") << 3 << -1200.0;
        QTest::newRow("S19 2 cents flat") << 19 << -2.0;
    }
    void pitchMeasurementSeesDetuning() {
        QFETCH(int, sample);
        QFETCH(double, detune);
        auto recipe = synth::recipe(sample);
        const double nominal = recipe.frequency;
        recipe.frequency *= std::pow(2.0, detune / 1200.0);
        const double measured =
            test::cents(test::measureFundamental(toFloat(synth::synthesize(recipe)), kRate), nominal);
        QVERIFY2(std::abs(measured - detune) < 0.5, qPrintable(QString::number(measured)));
    }

    // The committed assets are what the generator makes now (regenerate with target make_samples).
    void assetsMatchTheGenerator_data() { addSampleRows(); }
    void assetsMatchTheGenerator() {
        QFETCH(int, sample);
        const auto made = synth::synthesize(synth::recipe(sample));
        const auto stored = SampleBank::embedded().frames(sample);
        QCOMPARE(stored.size(), made.size());
        int worst = 0;
        for (std::size_t i = 0; i < made.size(); ++i) {
            worst = std::max(worst, std::abs(int(made[i]) - int(stored[i])));
        }
        QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
    }

    void decodeImage_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("frames"); // -1: rejected
        const QByteArray good = generatedImage({100, -200, 300});
        QTest::newRow("three frames") << good << 3;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("truncated header") << good.left(30) << -1;
        QTest::newRow("truncated data") << good.left(good.size() - 10) << -1;
        QByteArray b = good;
        b.replace(0, 4, "RIFX");
        QTest::newRow("big-endian form") << b << -1;
        b = good;
        b.replace(8, 4, "AVI ");
        QTest::newRow("not WAVE") << b << -1;
        b = good;
        setLe16(b, 20, 3);
        QTest::newRow("float format") << b << -1;
        b = good;
        setLe16(b, 22, 2);
        QTest::newRow("stereo") << b << -1;
        b = good;
        setLe32(b, 24, 22050);
        QTest::newRow("other rate") << b << -1;
        b = good;
        setLe16(b, 34, 8);
        QTest::newRow("8-bit") << b << -1;
        b = good;
        setLe32(b, 40, 1000);
        QTest::newRow("data longer than the file") << b << -1;
        b = good;
        setLe32(b, 4, 100000);
        QTest::newRow("RIFF size past the end") << b << -1;
        b = good;
        b.replace(36, 4, "junk");
        QTest::newRow("no data chunk") << b << -1;
        b = good;
        b.replace(12, 4, "junk");
        QTest::newRow("no fmt chunk") << b << -1;
        // A recording with an odd-sized LIST chunk (padded) before its data.
        b = good;
        QByteArray list("LIST\x05\x00\x00\x00INFOx\x00", 14);
        b.insert(36, list);
        setLe32(b, 4, le32(b, 4) + 14);
        QTest::newRow("extra chunk") << b << 3;
    }
    void decodeImage() {
        QFETCH(QByteArray, image);
        QFETCH(int, frames);
        const auto decoded = SampleBank::decodeImage(image);
        if (frames < 0) {
            QVERIFY(decoded.empty());
        } else {
            QCOMPARE(decoded, (std::vector<std::int16_t>{100, -200, 300}));
        }
    }
};

int runSampleBankTest(int argc, char** argv) {
    SampleBankTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sample_bank_test.moc"
