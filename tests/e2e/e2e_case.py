"""unittest base class: a fresh Xvfb, PulseAudio server and program for every test."""

import os
import unittest

import harness


class ProgramCase(unittest.TestCase):
    def setUp(self):
        self.fresh_session()

    def fresh_session(self):
        """Ends the current session, if any, and starts a new X server and sound server. A
        program's Save dialog after another instance has run on the same X server took 15 s to
        appear, so tests that start several programs which save give each its own."""
        if getattr(self, "session", None) is not None:
            self._end_session()
        self.session = harness.Session(self.id().rsplit(".", 1)[-1]).start()
        session = self.session
        self.addCleanup(lambda: self._end_session(session))
        return session

    def _end_session(self, session=None):
        session = session or self.session
        if session.stopped:
            return
        self.session_failed = self._outcome_failed()
        failed = self.session_failed
        if failed and session.programs:
            program = session.programs[-1]
            if program.proc.poll() is None:
                try:
                    program.screenshot(session.path("failure.png"), root=True)
                except Exception:
                    pass
        session.stop(keep=failed)

    def _outcome_failed(self):
        # unittest clears the flag on any failure or error, subtests included.
        outcome = getattr(self, "_outcome", None)
        return outcome is None or not outcome.success

    def launch(self, **kwargs):
        program = self.session.launch(**kwargs)
        program.wait_main_window()
        return program
