#include "tests/input/keyboard/keyboard_tests.h"

#include <QApplication>

// Runs every test class of the keyboard input; the exit status is non-zero when any failed.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    using namespace tonmiro::input::tests;
    int failed = 0;
    failed += runKeyboardDeviceTests(argc, argv);
    failed += runKeyHandlerTests(argc, argv);
    failed += runKeyTableTests(argc, argv);
    failed += runQtKeySourceTests(argc, argv);
    failed += runKeyboardViewTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
