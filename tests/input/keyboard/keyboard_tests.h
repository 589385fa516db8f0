#pragma once

// Entry points of the test classes that tst_keyboard runs, one per source file.
namespace tonmiro::input::tests {

int runKeyboardDeviceTests(int argc, char** argv);
int runKeyHandlerTests(int argc, char** argv);
int runKeyTableTests(int argc, char** argv);
int runQtKeySourceTests(int argc, char** argv);
int runKeyboardViewTests(int argc, char** argv);

} // namespace tonmiro::input::tests
