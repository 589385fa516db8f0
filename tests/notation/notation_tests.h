#pragma once

// Entry points of the test classes that tst_notation runs, one per source file.
namespace tonmiro::notation::tests {

int runGbkCodecTests(int argc, char** argv);
int runAlphabetTests(int argc, char** argv);
int runScoreFileTests(int argc, char** argv);
int runPlaybackLoopTests(int argc, char** argv);

} // namespace tonmiro::notation::tests
