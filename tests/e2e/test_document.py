"""The score document through the real program: notes entered from the keyboard are saved
through the file dialog, the close question guards unsaved changes, and a score opened from a
file plays its notes."""

import os
import time
import unittest

import harness
from e2e_case import ProgramCase

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")

# A, Enter, J: ① then a bar line (CR LF) then ⑤.
ENTERED_KEYS = ["a", "Return", "j"]
ENTERED_BYTES = b"\xA2\xD9\r\n\xA2\xDD"

# The tempo marker 020 makes a TimeUnit 375 ms, so each note with its eight dashes lasts
# 9 x 375 = 3375 ms, longer than a sample (3.03 s): every note starts after digital silence.
OPENED_SCORE = "three_registers.txt"
OPENED_SAMPLES = [5, 8, 19]             # ⒌ 181.0 Hz, ① 241.6 Hz, ⑸ 722.7 Hz
NOTE_MS = 9 * 375
PLAY_SECONDS = 3 * NOTE_MS / 1000 + 3.3
# Onsets are read to a few ms. Each of a note's nine steps adds the cost of its control
# requests to its wait (measured 1.4 to 2 ms a step), which the waits do not make up for; an
# 88 ms unit (the slider's, with the marker ignored) would be 2.6 s short.
EARLY_MS, LATE_MS = 10.0, 9 * 3.0 + 10.0


class ScoreDocumentTest(ProgramCase):
    def assert_save_button(self, program, enabled, when):
        self.assertEqual(harness.button_enabled(program, harness.SAVE_BUTTON_RECT), enabled,
                         f"保存 should be {'enabled' if enabled else 'disabled'} {when}")

    def test_save_close_question_open_and_play(self):
        program = self.launch()
        self.assert_save_button(program, False, "at start")

        # Notes from real keys, saved through the dialog under a name without an extension.
        program.type_keys(ENTERED_KEYS, gap=0.08)
        self.assert_save_button(program, True, "after notes were entered")
        typed = self.session.path("entered")
        written = harness.save_via_dialog(program, typed + ".txt", typed=typed)
        self.assertEqual(written, ENTERED_BYTES)
        self.assertEqual(program.window_name(), "Tonmiro", "Save changed the caption")
        self.assert_save_button(program, False, "after the save")

        # A change, then a close request: the question comes, and Cancel keeps everything.
        program.press("k")
        self.assert_save_button(program, True, "after a further note")
        program.press("Escape")
        box = program.wait_window("^提示！$", timeout=10)
        program.focus(box)
        program.press("Escape")
        harness.wait_for(lambda: not program.window_exists(box), 10, what="the question to close")
        time.sleep(0.5)
        self.assertIsNone(program.proc.poll(), f"the program exited after Cancel\n{program.log()}")
        self.assertTrue(program.window_exists(), "the main window went after Cancel")
        self.assertEqual(program.find_windows("^提示！$"), [], "the question is still shown")
        self.assert_save_button(program, True, "after the close was cancelled")
        with open(typed + ".txt", "rb") as f:
            self.assertEqual(f.read(), ENTERED_BYTES, "Cancel wrote the file")
        program.focus()

        # Open replaces the modified score without asking, shows the path and counts as saved.
        fixture = os.path.realpath(os.path.join(FIXTURES, OPENED_SCORE))
        harness.open_via_dialog(program, fixture)
        harness.wait_for(lambda: program.window_name() != "Tonmiro", 10, what="a new caption")
        self.assertEqual(program.window_name(), "Tonmiro    " + fixture)
        self.assert_save_button(program, False, "after Open")

        # Playback from the start of the opened text: its three notes, in order, one note
        # length apart at the tempo its marker sets.
        with self.session.record("opened") as rec:
            program.click(*harness.PLAY_TOGGLE)
            time.sleep(PLAY_SECONDS)
            audio = rec.stop()
        onsets = harness.silence_onsets(audio)
        self.assertEqual(len(onsets), len(OPENED_SAMPLES), f"onsets at frames {onsets}")
        for n, (onset, sample) in enumerate(zip(onsets, OPENED_SAMPLES)):
            freq = harness.tone_frequency(audio, onset)
            nearest, off = harness.nearest_sample(freq)
            print(f"note {n + 1}: {freq:.1f} Hz (S{nearest:02d} {off:+.1f} cents)")
            with self.subTest(note=n + 1):
                self.assertEqual(nearest, sample, f"note {n + 1} sounded {freq:.1f} Hz")
                self.assertLess(abs(off), 6.0)
        gaps = [(b - a) / harness.RATE * 1000 for a, b in zip(onsets, onsets[1:])]
        print("note intervals (ms): " + " ".join(f"{g:.1f}" for g in gaps))
        for gap in gaps:
            self.assertGreater(gap, NOTE_MS - EARLY_MS)
            self.assertLess(gap, NOTE_MS + LATE_MS)

        # Nothing unsaved: Esc closes without a question and the program ends normally.
        program.focus()
        program.press("Escape")
        code = program.wait_exit(timeout=10)
        self.assertEqual(code, 0, f"exit code {code} after Esc on a saved score\n{program.log()}")


if __name__ == "__main__":
    unittest.main()
