"""The computer keyboard plays the note samples and writes their tokens into the score."""

import unittest

import harness
from e2e_case import ProgramCase

# Keys of the middle register and their samples: A = S08, S = S09, J = S12.
KEY_SAMPLES = [("a", 8), ("s", 9), ("j", 12)]
# A sample is 3.03 s long; a gap past that puts digital silence between the notes.
NOTE_GAP = 3.2


class KeyboardSoundTest(ProgramCase):
    def test_note_keys_sound_their_samples(self):
        program = self.launch()
        with self.session.record("keys") as rec:
            for key, _sample in KEY_SAMPLES:
                program.press(key, hold=0.06)
                harness.time.sleep(NOTE_GAP)
            audio = rec.stop()
        onsets = harness.silence_onsets(audio)
        self.assertEqual(len(onsets), len(KEY_SAMPLES),
                         f"expected one onset per key, found them at {onsets} (frames)")
        for onset, (key, sample) in zip(onsets, KEY_SAMPLES):
            with self.subTest(key=key):
                freq = harness.tone_frequency(audio, onset)
                print(f"key {key}: {freq:.2f} Hz")
                nearest, off = harness.nearest_sample(freq)
                self.assertEqual(nearest, sample, f"{key}: measured {freq:.1f} Hz")
                self.assertLess(abs(off), 6.0, f"{key}: {freq:.2f} Hz is {off:+.1f} cents off")


MIDDLE_1 = b"\xA2\xD9"   # ①
DASH = b"\xA1\xAA"       # —

# Keys pressed (each a chord for xdotool, held 40 ms), and the score bytes they leave.
SCORE_CASES = [
    ("A S J write ① ② ⑤", ["a", "s", "j"], MIDDLE_1 + b"\xA2\xDA\xA2\xDD"),
    # Both keys go down in one sample: events go in ascending key-code order, A (97) before
    # Left Shift (128).
    ("Shift+A in one press", ["shift+a"], MIDDLE_1 + DASH * 3),
    ("Shift, then A", ["shift", "a"], DASH * 3 + MIDDLE_1),
    # A key that goes down while Ctrl is down writes nothing (then A gives the score something
    # to save).
    ("Ctrl+J writes nothing", ["ctrl+j", "a"], MIDDLE_1),
    # A letter without a note is thrown away by the edit box.
    ("B writes nothing", ["b", "a"], MIDDLE_1),
    ("G H Space write rest, dot, dash", ["g", "h", "space"], b"\xA3\xB0\xA1\xA4" + DASH),
]


class KeyboardScoreTest(ProgramCase):
    def test_keys_write_their_tokens(self):
        for n, (title, keys, expected) in enumerate(SCORE_CASES):
            started = harness.time.monotonic()
            with self.subTest(title):
                if n:
                    self.fresh_session()
                program = self.launch()
                program.type_keys(keys, hold=harness.KEY_HOLD, gap=0.08)
                written = harness.save_via_dialog(program, self.session.path(f"score{n}.txt"))
                self.assertEqual(written, expected)
                self.assertEqual(program.window_name(), "Tonmiro", "Save changed the caption")
                program.stop()
                print(f"{title}: {harness.time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    unittest.main()
