"""Ctrl-C and SIGTERM sent to a running `plo spark set-version`."""

import os
import signal
import subprocess
import time
import unittest

import support
from support import JAVA17, plo_env

ws = None


def setUpModule():
    global ws
    ws = support.Workspace()
    support.require_java(JAVA17)


def tearDownModule():
    ws.cleanup()


class Interrupts(unittest.TestCase):
    def start(self, answers, python):
        env = plo_env(ws.venv, JAVA17, PLO_PYTHON=python)
        # A session of its own plays the terminal: killpg reaches plo and its foreground children.
        answers_file = ws.path("answers")
        with open(answers_file, "w") as f:
            f.write(answers)
        with open(answers_file) as stdin:
            return subprocess.Popen([support.PLO, "spark", "set-version"], env=env, stdin=stdin,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                    start_new_session=True)

    def wait_for_line(self, process, wanted):
        seen = []
        for line in process.stdout:
            seen.append(line)
            if line.rstrip("\n") == wanted:
                return seen
        self.fail(f"never saw {wanted!r}: {''.join(seen)}")

    def slow_installer(self):
        """The venv's python, except that `pip install` first waits (so a signal finds it running)."""
        wrapper = ws.path("slow-python")
        with open(wrapper, "w") as f:
            f.write(f'#!/bin/sh\nif [ "$3" = install ]; then sleep 20; fi\nexec "{ws.venv.python}" "$@"\n')
        os.chmod(wrapper, 0o755)
        return wrapper

    def test_sigterm_during_install_stops_and_says_how_to_restore(self):
        ws.venv.set_pyspark("3.5.9")
        process = self.start("3\n", self.slow_installer())
        self.wait_for_line(process, "  Installing PySpark 4.1.3...")
        os.kill(process.pid, signal.SIGTERM)
        rest, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 1)
        self.assertEqual(stderr, "Aborted!\n")
        self.assertIn("  No PySpark is installed now\n", rest)
        self.assertIn(f"  To restore PySpark 3.5.9, run: {self.slow_installer()} -m pip install "
                      "pyspark==3.5.9\n", rest)
        self.assertNotIn("Rolling back", rest)  # no further step starts
        self.assertIsNone(ws.venv.installed_pyspark())

    def test_ctrl_c_during_smoke_test_ends_the_jvm(self):
        ws.venv.set_pyspark("3.5.9")
        process = self.start("6\n", ws.venv.python)
        self.wait_for_line(process, "  Testing PySpark + Java compatibility...")
        # Give the stand-in time to start its JVM, then interrupt as a terminal would.
        for _ in range(400):
            if support.standin_jvms(ws.marker) or process.poll() is not None:
                break
            time.sleep(0.05)
        os.killpg(process.pid, signal.SIGINT)
        rest, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 1)
        self.assertEqual(stderr, "Aborted!\n")
        self.assertIn("  PySpark 3.4.4 is installed now\n", rest)
        self.assertIn("To restore PySpark 3.5.9, run:", rest)
        self.assertNotIn("installed successfully", rest)
        self.assertEqual(support.standin_jvms(ws.marker), [])

    def test_ctrl_c_at_the_question_aborts_the_choice(self):
        ws.venv.set_pyspark("3.5.9")
        process = subprocess.Popen([support.PLO, "spark", "set-version"],
                                   env=plo_env(ws.venv, JAVA17), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   start_new_session=True)
        shown = b""
        while not shown.endswith(b"Your choice: "):
            chunk = process.stdout.read1(4096)
            self.assertTrue(chunk, shown)
            shown += chunk
        os.killpg(process.pid, signal.SIGINT)
        rest, stderr = process.communicate(timeout=30)
        self.assertEqual(process.returncode, 1)
        self.assertEqual(rest, b"\nAborted.\n")
        self.assertEqual(stderr, b"")
        self.assertEqual(ws.venv.installed_pyspark(), "3.5.9")


if __name__ == "__main__":
    unittest.main()
