#include "tests/notation/notation_tests.h"

#include <QCoreApplication>

// Runs every test class of the notation library; the exit status is non-zero when any failed.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    using namespace tonmiro::notation::tests;
    int failed = 0;
    failed += runGbkCodecTests(argc, argv);
    failed += runAlphabetTests(argc, argv);
    failed += runScoreFileTests(argc, argv);
    failed += runPlaybackLoopTests(argc, argv);

    return failed == 0 ? 0 : 1;
}
