"""unittest base class: a fresh Xvfb, PulseAudio server and program for every test."""

import os
import unittest

import harness


class ProgramCase(unittest.TestCase):
    def setUp(self):
        self.session = harness.Session(self.id().rsplit(".", 1)[-1]).start()
        self.addCleanup(self._end_session)

    def _end_session(self):
        failed = self._outcome_failed()
        if failed and self.session.programs:
            program = self.session.programs[-1]
            if program.proc.poll() is None:
                try:
                    program.screenshot(self.session.path("failure.png"), window=None)
                except Exception:
                    pass
        self.session.stop(keep=failed)

    def _outcome_failed(self):
        # unittest clears the flag on any failure or error, subtests included.
        outcome = getattr(self, "_outcome", None)
        return outcome is None or not outcome.success

    def launch(self, **kwargs):
        program = self.session.launch(**kwargs)
        program.wait_main_window()
        return program
