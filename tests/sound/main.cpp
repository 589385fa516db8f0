// The sound subsystem's test program: the sample bank, the mixer and the sound device.

#include <QCoreApplication>

int runSampleBankTest(int argc, char** argv);
int runMixerTest(int argc, char** argv);
int runSoundDeviceTest(int argc, char** argv);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failures = 0;
    failures += runSampleBankTest(argc, argv);
    failures += runMixerTest(argc, argv);
    failures += runSoundDeviceTest(argc, argv);
    return failures;
}
