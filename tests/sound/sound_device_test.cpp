#include "sound/mixer.h"
#include "sound/sample_bank.h"
#include "sound/sound_device.h"
#include "tests/sound/pitch.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using tonmiro::sound::Mixer;
using tonmiro::sound::SampleBank;
using tonmiro::sound::SoundDevice;
namespace test = tonmiro::sound::test;

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (m_had) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

} // namespace

class SoundDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void playBeforeBindIsNotHeard() {
        SoundDevice device;
        QVERIFY(!device.isBound());
        device.playSample(1);
        device.playSample(26);
        QVERIFY(!device.isOutputOpen());
        QCOMPARE(device.mixer().activeVoices(), 0);
    }

    void volumeReadsBackTheLevelsLastSet_data() {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::newRow("silence") << 0 << 0;
        QTest::newRow("position 1") << 655 << 655;
        QTest::newRow("position 50") << 32767 << 32767;
        QTest::newRow("position 99") << 64879 << 64879;
        QTest::newRow("full") << 65535 << 65535;
        QTest::newRow("different channels") << 1 << 65534;
    }
    void volumeReadsBackTheLevelsLastSet() {
        QFETCH(int, left);
        QFETCH(int, right);
        SoundDevice device;
        QVERIFY(!device.volume().has_value());
        device.setVolume(quint16(left), quint16(right));
        QCOMPARE(device.volume(), std::optional<quint32>(quint32(left) | (quint32(right) << 16)));
    }

    // With no usable driver, binding and playing go on silently.
    void noDriverStaysSilent() {
        ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
        SoundDevice device;
        device.bind(0);
        QVERIFY(device.isBound());
        QVERIFY(!device.isOutputOpen());
        device.playSample(5);
        device.setVolume(100, 100);
        QCOMPARE(device.mixer().activeVoices(), 0);
    }

    // The dummy driver: starts from the UI thread and another thread at the same time, then
    // the device is destroyed while the voices still sound.
    void playFromTwoThreadsThenDestroyWhileSounding() {
        auto device = std::make_unique<SoundDevice>();
        device->bind(0);
        QVERIFY(device->isBound());
        QVERIFY(device->isOutputOpen());
        device->playSample(0);
        device->playSample(27);
        std::thread playback([&] {
            for (int i = 0; i < 100; ++i) {
                device->playSample(1 + i % 26);
            }
        });
        for (int i = 0; i < 100; ++i) {
            device->playSample(26 - i % 26);
        }
        playback.join();
        QTRY_VERIFY_WITH_TIMEOUT(device->mixer().activeVoices() == 200, 5000);
        QCOMPARE(device->mixer().droppedStarts(), std::uint64_t(0));
        device.reset();
    }

    void secondBindKeepsTheStream() {
        SoundDevice device;
        device.bind(0);
        device.bind(0);
        QVERIFY(device.isOutputOpen());
        device.playSample(3);
        QTRY_COMPARE_WITH_TIMEOUT(device.mixer().activeVoices(), 1, 5000);
    }

    // SDL's disk driver writes what the mixer renders to a file: one played sample must come
    // out at its level and pitch, scaled by the volume.
    void diskDriverReceivesTheSample() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.raw"));
        ScopedEnv driver("SDL_AUDIODRIVER", "disk");
        ScopedEnv file("SDL_DISKAUDIOFILE", QFile::encodeName(path));
        // Paced at about one 256-frame period per buffer, so the mixer's clock follows the stream
        // as on a real device; unpaced, the whole file could be written before the start is due.
        ScopedEnv delay("SDL_DISKAUDIODELAY", "5");
        constexpr int sample = 12;
        QByteArray raw;
        {
            SoundDevice device;
            device.bind(0);
            QVERIFY(device.isOutputOpen());
            device.setVolume(32767, 65535);
            device.playSample(sample);
            // Wait until the whole note has been written.
            const qint64 wanted = qint64(4.0 * 48000) * 2 * qint64(sizeof(float));
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() >= wanted, 20000);
            QTRY_COMPARE_WITH_TIMEOUT(device.mixer().activeVoices(), 0, 20000);
        }
        QFile out(path);
        QVERIFY(out.open(QIODevice::ReadOnly));
        raw = out.readAll();
        std::vector<float> left;
        std::vector<float> right;
        const auto* frames = reinterpret_cast<const float*>(raw.constData());
        for (qsizetype i = 0; i + 1 < raw.size() / qsizetype(sizeof(float)); i += 2) {
            left.push_back(frames[i]);
            right.push_back(frames[i + 1]);
        }
        const auto first = std::find_if(right.begin(), right.end(), [](float v) { return v != 0.0f; });
        QVERIFY(first != right.end());
        const std::vector<float> note(first, right.end());
        float peakLeft = 0.0f;
        float peakRight = 0.0f;
        for (std::size_t i = 0; i < left.size(); ++i) {
            peakLeft = std::max(peakLeft, std::abs(left[i]));
            peakRight = std::max(peakRight, std::abs(right[i]));
        }
        float samplePeak = 0.0f;
        for (auto v : SampleBank::embedded().frames(sample)) {
            samplePeak = std::max(samplePeak, std::abs(v / 32768.0f));
        }
        QVERIFY2(std::abs(peakRight - samplePeak) < 0.02f * samplePeak,
                 qPrintable(QString::number(peakRight)));
        QVERIFY(std::abs(peakLeft - 0.5f * peakRight) < 0.01f * peakRight);
        const double f0 = test::measureFundamental(note, 48000.0, 0.1);
        QVERIFY2(std::abs(test::cents(f0, 120.7 * std::pow(2.0, 19 / 12.0))) < 4.0,
                 qPrintable(QString::number(f0)));
    }
};

int runSoundDeviceTest(int argc, char** argv) {
    SoundDeviceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sound_device_test.moc"
