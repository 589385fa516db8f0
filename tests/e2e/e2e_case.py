"""unittest base class: a fresh Xvfb, PulseAudio server and program for every test."""

import os
import unittest

import harness


class ProgramCase(unittest.TestCase):
    def setUp(self):
        self.session = harness.Session(self.id().rsplit(".", 1)[-1]).start()
        self._keep = True
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
        outcome = getattr(self, "_outcome", None)
        if outcome is None:
            return True
        result = getattr(outcome, "result", None)
        errors = getattr(result, "errors", []) + getattr(result, "failures", [])
        return any(test is self for test, _ in errors) or not getattr(outcome, "success", True)

    def launch(self, **kwargs):
        program = self.session.launch(**kwargs)
        program.wait_main_window()
        return program
