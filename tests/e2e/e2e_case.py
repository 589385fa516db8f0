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
        session.problems_at_start = self._problems_reported() or []
        self.addCleanup(lambda: self._end_session(session))
        return session

    def _end_session(self, session=None):
        session = session or self.session
        if session.stopped:
            return
        reports = self._problems_reported()
        earlier = getattr(session, "problems_at_start", [])
        new = [r for r in reports or [] if r not in earlier]
        failed = bool(new) or reports is None
        if failed:
            self._keep_evidence(session, new)
        session.stop(keep=failed)

    def _keep_evidence(self, session, problems):
        """Writes what went wrong into the session's folder before it is copied: the
        tracebacks, each program's exit status, and a screenshot of the whole screen (taken
        while the programs still run, so a hung or half-drawn window shows as it was)."""
        with open(session.path("failure.txt"), "w") as f:
            for test, text in problems or []:
                f.write(f"{test}\n{text}\n")
            for n, program in enumerate(session.programs, start=1):
                code = program.proc.poll()
                f.write(f"program {n} (pid {program.proc.pid}): "
                        + ("still running when the test ended" if code is None
                           else f"exited with {code}") + f"; output in {os.path.basename(program.log_path)}\n")
        try:
            session.screenshot(session.path("failure.png"))
        except Exception as error:  # the X server itself may be gone
            with open(session.path("failure.txt"), "a") as f:
                f.write(f"no screenshot: {error}\n")

    def _problems_reported(self):
        """Failures and errors reported so far for this test, subtests included, as (test id,
        traceback) pairs. unittest resets its own success flag at the start of every part
        (subtest, cleanup), so only the result's lists tell whether a part before this one
        failed."""
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        if result is None or not hasattr(result, "failures"):
            return None
        return [(test.id() if hasattr(test, "id") else str(test), text)
                for test, text in list(result.errors) + list(result.failures)
                if self._concerns_me(test)]

    def _concerns_me(self, test):
        # A subtest reports itself as a _SubTest whose test_case is this test.
        return test is self or getattr(test, "test_case", None) is self

    def launch(self, **kwargs):
        program = self.session.launch(**kwargs)
        program.wait_main_window()
        return program
