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
                # The loudest part of the sample: from about 0.05 s after it becomes audible.
                segment = audio[onset + int(0.05 * harness.RATE): onset + int(0.65 * harness.RATE)]
                freq = harness.fundamental(segment)
                nearest, off = harness.nearest_sample(freq)
                self.assertEqual(nearest, sample, f"{key}: measured {freq:.1f} Hz")
                self.assertLess(abs(off), 8.0, f"{key}: {freq:.2f} Hz is {off:+.1f} cents off")


if __name__ == "__main__":
    unittest.main()
