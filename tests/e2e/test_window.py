"""The main window comes up as laid out and Esc closes the program."""

import time
import unittest

import harness
from e2e_case import ProgramCase


class WindowTest(ProgramCase):
    def test_window_caption_and_size_then_esc_exits(self):
        program = self.launch()
        self.assertEqual(program.window_name(), "Tonmiro")
        x, y, width, height = program.geometry()
        # No window manager: the outer frame is the client area itself.
        self.assertEqual((width, height), (harness.WINDOW_WIDTH, harness.WINDOW_HEIGHT))
        # Centred on the 1280 x 1024 screen.
        self.assertEqual((x, y), ((1280 - 876) // 2, (1024 - 840) // 2))

        program.press("Escape")
        pressed_at = time.monotonic()
        code = program.wait_exit(timeout=5.0)
        self.assertIsNotNone(code, "the program is still running 5 s after Esc")
        self.assertLess(time.monotonic() - pressed_at, 2.0, "exit took more than 2 s after Esc")
        self.assertEqual(code, 0, program.log())


if __name__ == "__main__":
    unittest.main()
