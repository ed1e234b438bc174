"""Ctrl-C and SIGTERM sent to a running `plo spark set-version`."""

import os
import signal
import subprocess
import time
import unittest

import support
from support import JAVA17, menu_entry, newest, plo_env

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

    def slow_installer(self, before_install="sleep 20", name="slow-python"):
        """The venv's python, except that `pip install` first runs `before_install` (so that a
        signal finds it running)."""
        wrapper = ws.path(name)
        with open(wrapper, "w") as f:
            f.write(f'#!/bin/sh\nif [ "$3" = install ]; then {before_install}; fi\n'
                    f'exec "{ws.venv.python}" "$@"\n')
        os.chmod(wrapper, 0o755)
        return wrapper

    def test_signals_during_install_restore_the_previous_pyspark(self):
        for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT, signal.SIGINT):
            ws.venv.set_pyspark(newest("3.5"))
            process = self.start(menu_entry("4.1") + "\n", self.slow_installer())
            self.wait_for_line(process, f"  Installing PySpark {newest('4.1')}...")
            if number == signal.SIGINT:
                os.killpg(process.pid, number)  # as a terminal's Ctrl-C
            else:
                os.kill(process.pid, number)
            rest, stderr = process.communicate(timeout=60)
            self.assertEqual(process.returncode, 1, number)
            self.assertEqual(stderr, "Aborted!\n", number)
            self.assertIn(f"Restored PySpark {newest('3.5')} from the files kept before uninstalling\n\n"
                          f"  PySpark {newest('3.5')} is installed now\n", rest)
            self.assertNotIn("To restore", rest)
            self.assertNotIn("Rolling back", rest, number)  # no further step starts
            self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"), number)
            self.assertEqual(support.imported_pyspark(ws.venv.python), newest("3.5"), number)

    def test_second_ctrl_c_ends_a_step_that_ignores_the_first(self):
        ws.venv.set_pyspark(newest("3.5"))
        stubborn = self.slow_installer("trap '' INT; sleep 600", "stubborn-python")
        process = self.start(menu_entry("4.1") + "\n", stubborn)
        self.wait_for_line(process, f"  Installing PySpark {newest('4.1')}...")
        os.killpg(process.pid, signal.SIGINT)
        time.sleep(1)
        os.killpg(process.pid, signal.SIGINT)
        rest, stderr = process.communicate(timeout=120)  # far less than the step's 600 s
        self.assertEqual(process.returncode, 1)
        self.assertIn(f"  PySpark {newest('3.5')} is installed now\n", rest)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_closed_output_during_install_restores(self):
        ws.venv.set_pyspark(newest("3.5"))
        process = self.start(menu_entry("4.1") + "\n",
                             self.slow_installer("sleep 2", "short-python"))
        self.wait_for_line(process, f"  Installing PySpark {newest('4.1')}...")
        process.stdout.close()  # a pager quit while pip runs
        process.wait(timeout=120)
        self.assertEqual(process.returncode, 141)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        self.assertEqual(support.imported_pyspark(ws.venv.python), newest("3.5"))

    def test_stash_left_by_a_killed_plo_is_cleared_next_time(self):
        ws.venv.set_pyspark(newest("3.5"))
        pid_file = ws.path("installer-pid")
        frozen = self.slow_installer(f"echo $$ > {pid_file}; exec sleep 600", "frozen-python")
        process = self.start(menu_entry("4.1") + "\n", frozen)
        self.wait_for_line(process, f"  Installing PySpark {newest('4.1')}...")
        for _ in range(200):
            if os.path.exists(pid_file):
                break
            time.sleep(0.05)
        process.kill()  # nothing of plo runs after this
        process.wait(timeout=60)
        with open(pid_file) as f:
            os.kill(int(f.read()), signal.SIGKILL)  # it holds plo's output open
        process.communicate(timeout=60)
        os.unlink(pid_file)
        self.assertIsNone(ws.venv.installed_pyspark())
        result = support.run_plo(["spark", "set-version"], plo_env(ws.venv, JAVA17),
                                 stdin=menu_entry("4.1") + "\n")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # Killed between uninstall and install, the environment looks like a deliberate `pip
        # uninstall`: the copy is cleared, with a word, never put back over it.
        self.assertIn("\nInstalling PySpark...\n\n"
                      f"  Cleared the copy of PySpark {newest('3.5')} that an interrupted plo run kept "
                      f"(PySpark was changed since)\n  Installing PySpark {newest('4.1')}...\n", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))
        self.assertFalse(os.path.exists(os.path.join(ws.venv.site_packages(), ".plo-pyspark-stash")))

    def test_end_of_input_at_rollback_question_reports_the_state(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = support.run_plo(["spark", "set-version"], plo_env(ws.venv, JAVA17),
                                 stdin=menu_entry("4.0") + "\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"Rollback to PySpark {newest('3.5')}? [Y/n]: \n  PySpark {newest('4.0')} is installed now\n"
                      f"  To restore PySpark {newest('3.5')}, run: ", result.stdout)
        # The JVM's own error line, then the front end's report.
        self.assertRegex(result.stderr, r"^  java\.lang\.UnsupportedClassVersionError: org/apache/"
                                        r"spark/launcher/Main has been compiled .*\nAborted!\n$")

    def test_ctrl_c_during_smoke_test_ends_the_jvm(self):
        ws.venv.set_pyspark(newest("3.5"))
        process = self.start(menu_entry("3.4") + "\n", ws.venv.python)
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
        self.assertIn(f"  PySpark {newest('3.4')} is installed now\n", rest)
        self.assertIn(f"To restore PySpark {newest('3.5')}, run:", rest)
        self.assertNotIn("installed successfully", rest)
        self.assertEqual(support.standin_jvms(ws.marker), [])

    def test_ctrl_c_at_the_question_aborts_the_choice(self):
        ws.venv.set_pyspark(newest("3.5"))
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
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))


if __name__ == "__main__":
    unittest.main()
