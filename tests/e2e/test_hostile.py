"""Hostile Java homes, interpreters, files and input: plo stays bounded in time and memory and
prints no control character it was sent."""

import os
import subprocess
import tempfile
import threading
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

ws = None



def setUpModule():
    global ws
    ws = support.Workspace()


def tearDownModule():
    ws.cleanup()


def run_measured(args, env, timeout=90):
    """Runs plo; returns (exit status, stdout, stderr, peak resident memory in KiB), the peak as the
    kernel reports it to the parent for plo and the children it reaped."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen([support.PLO, *args], env=env, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err)
        timer = threading.Timer(timeout, process.kill)
        timer.start()
        try:
            _, status, usage = os.wait4(process.pid, 0)
        finally:
            timer.cancel()
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        return (process.returncode, out.read().decode(errors="replace"),
                err.read().decode(errors="replace"), usage.ru_maxrss)


def script(name, body):
    path = ws.path(name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body)
    os.chmod(path, 0o755)
    return path


def java_home(name, release=None, java_body=None):
    home = ws.path(name)
    os.makedirs(os.path.join(home, "bin"), exist_ok=True)
    if release is not None:
        with open(os.path.join(home, "release"), "wb") as f:
            f.write(release)
    java = os.path.join(home, "bin", "java")
    with open(java, "w") as f:
        f.write("#!/bin/sh\n" + (java_body or "exit 1\n"))
    os.chmod(java, 0o755)
    return home


class Memory(unittest.TestCase):
    def test_java_flooding_stderr_is_capped_and_limited_in_time(self):
        ws.venv.set_pyspark(newest("3.5"))
        # No release file: plo asks `java -version`, which writes zeros without end.
        home = java_home("flood-java", java_body="exec cat /dev/zero >&2\n")
        status, out, err, peak = run_measured(["spark", "check"], plo_env(ws.venv, home))
        self.assertEqual(status, 1)
        self.assertTrue(err.startswith("Error: cannot tell which version the Java at"), err)
        self.assertLess(peak, support.memory_ceiling_kib())

    def test_java_with_a_version_and_then_a_flood(self):
        ws.venv.set_pyspark(newest("3.5"))
        home = java_home("flood-java-17", java_body=(
            "printf 'openjdk version \"17.0.1\"\\n' >&2\nhead -c 300000000 /dev/zero >&2\n"))
        status, out, err, peak = run_measured(["spark", "check"], plo_env(ws.venv, home))
        self.assertEqual(status, 0, out + err)
        self.assertIn("  Version:   Java 17\n", out)
        self.assertIn("... (cut)\n", out)  # the vendor, taken from the zeros, is cut and escaped
        self.assertNotIn("\0", out)
        self.assertLess(peak, support.memory_ceiling_kib())

    def test_interpreter_flooding_stdout(self):
        python = script("flood-python", "head -c 300000000 /dev/zero\n")
        status, out, err, peak = run_measured(["spark", "check"], plo_env(None, JAVA17, PLO_PYTHON=python))
        self.assertEqual(status, 1)
        self.assertIn("printed more than 1 MiB when asked for its import path (cut there)", err)
        self.assertLess(peak, support.memory_ceiling_kib())

    def test_interpreter_whose_grandchild_keeps_the_pipe_open(self):
        ws.venv.set_pyspark(newest("3.5"))
        # The grandchild leaves the interpreter's process group and holds stdout for 60 s.
        python = script("holding-python", f'setsid sleep 60 &\nexec "{ws.venv.python}" "$@"\n')
        result = run_plo(["spark", "check"], plo_env(None, JAVA17, PLO_PYTHON=python), timeout=15)
        self.assertIn(f"  Version:       {newest('3.5')}\n", result.stdout, result.stderr)

    def test_set_version_reading_dev_zero(self):
        ws.venv.set_pyspark(newest("3.5"))
        with open("/dev/zero") as zero:
            result = subprocess.run([support.PLO, "spark", "set-version"], env=plo_env(ws.venv, JAVA17),
                                    stdin=zero, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith(
            b"Your choice: Error: the answer is longer than 1 MiB\n\nAborted.\n"), result.stdout[-200:])
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))


class Fifos(unittest.TestCase):
    def test_release_fifo_falls_back_to_java_version(self):
        ws.venv.set_pyspark(newest("3.5"))
        home = java_home("fifo-java", java_body=(
            "printf 'openjdk version \"11.0.2\"\\nOpenJDK Runtime Environment (build 11)\\n' >&2\n"))
        os.mkfifo(os.path.join(home, "release"))
        result = run_plo(["spark", "check"], plo_env(ws.venv, home), timeout=30)
        self.assertIn("  Version:   Java 11\n  Vendor:    OpenJDK Runtime Environment\n", result.stdout,
                      result.stderr)

    def test_version_module_and_metadata_fifos(self):
        ws.venv.set_pyspark(None)
        site = ws.path("fifo-site")
        os.makedirs(os.path.join(site, "pyspark"), exist_ok=True)
        open(os.path.join(site, "pyspark", "__init__.py"), "w").close()
        os.mkfifo(os.path.join(site, "pyspark", "version.py"))
        dist = os.path.join(site, f"pyspark-{newest('3.4')}.dist-info")
        os.makedirs(dist, exist_ok=True)
        metadata = os.path.join(dist, "METADATA")
        with open(metadata, "w") as f:
            f.write(f"Name: pyspark\nVersion: {newest('3.4')}\n")
        result = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17, PYTHONPATH=site), timeout=30)
        self.assertIn(f"  Version:       {newest('3.4')}\n", result.stdout, result.stderr)
        os.remove(metadata)
        os.mkfifo(metadata)
        result = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17, PYTHONPATH=site), timeout=30)
        self.assertIn("  PySpark not installed!\n", result.stdout, result.stderr)


class Escapes(unittest.TestCase):
    def assert_no_controls(self, text):
        for c in text:
            code = ord(c)
            self.assertFalse((code < 0x20 and c not in "\n\t") or 0x7F <= code <= 0x9F, repr(text))

    def test_vendor_from_release_and_from_java_version(self):
        ws.venv.set_pyspark(newest("3.5"))
        home = java_home("evil-release", release=(
            b'JAVA_VERSION="17.0.2"\nIMPLEMENTOR="Evil\x1b]0;pwned\x07\x1b[2J \xc2\x9b1m"\n'))
        result = run_plo(["spark", "check"], plo_env(ws.venv, home))
        self.assertIn("  Vendor:    Evil\\x1b]0;pwned\\x07\\x1b[2J \\xc2\\x9b1m\n", result.stdout)
        self.assert_no_controls(result.stdout)
        home = java_home("evil-java", java_body=(
            "printf 'openjdk version \"17.0.2\"\\nEvil\\033[2J Runtime (build 1)\\n' >&2\n"))
        result = run_plo(["spark", "check"], plo_env(ws.venv, home))
        self.assertIn("  Vendor:    Evil\\x1b[2J Runtime\n", result.stdout)
        self.assert_no_controls(result.stdout)

    def test_compute_values_and_registry_errors(self):
        home = ws.path("evil-home")
        os.makedirs(home, exist_ok=True)
        computes = os.path.join(home, "computes.yml")
        with open(computes, "w") as f:
            f.write('computes:\n  c:\n    type: "sp\\ark"\n    config:\n'
                    '      master: "yarn\\e]0;x\\a"\n      host: "edge\\x9b2J"\n')
        env = plo_env(ws.venv, JAVA17, PLO_HOME=home)
        result = run_plo(["spark", "match-cluster", "c"], env)
        self.assertEqual(result.stdout.split("\n")[4:8], [
            "  Compute:     c", "  Type:        sp\\x07rk", "  Master URL:  yarn\\x1b]0;x\\x07",
            "  Host:        edge\\xc2\\x9b2J"])
        self.assert_no_controls(result.stdout)
        with open(computes, "w") as f:
            f.write('computes:\n  c:\n    config:\n      "k\\e[2J": [1]\n')
        result = run_plo(["spark", "match-cluster", "c"], env)
        self.assertIn("the setting 'k\\x1b[2J' of 'c' is not a single value", result.stdout)
        self.assert_no_controls(result.stdout)


if __name__ == "__main__":
    unittest.main()
