// The sound subsystem's test program: the sample bank, the mixer and the sound device.

#include <QCoreApplication>

#if defined(__SANITIZE_THREAD__)
// Qt Test's watchdog thread: the uninstrumented Qt libraries wake, join and free it in ways
// ThreadSanitizer cannot see, so it reports races inside Qt Test that are not there.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:libQt6Test.so\n";
}
#endif

int runSampleBankTest(int argc, char** argv);
int runMixerTest(int argc, char** argv);
int runSoundDeviceTest(int argc, char** argv);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failures = 0;
    failures += runSampleBankTest(argc, argv);
    failures += runMixerTest(argc, argv);
    failures += runSoundDeviceTest(argc, argv);
    return failures == 0 ? 0 : 1;
}
