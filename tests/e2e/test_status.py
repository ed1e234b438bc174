"""`plo spark check` and `plo spark versions` against a real venv, real pip and real JDKs."""

import os
import subprocess
import unittest

import support
from support import JAVA17, JAVA25, newest, plo_env, run_plo

ws = None


def setUpModule():
    global ws
    ws = support.Workspace()
    support.build_companion_wheels(ws.wheels)


def tearDownModule():
    ws.cleanup()


RULE = "-" * 40


class Check(unittest.TestCase):
    def test_compatible_java_17(self):
        support.require_java(JAVA17)
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "\n".join([
            "", "PySpark Status", RULE,
            f"  Version:       {newest('3.5')}",
            "  Major.Minor:   3.5",
            "  Required Java: 8, 11, 17",
            "  Recommended:   Java 17",
            "", "Java Compatibility", RULE,
            f"  JAVA_HOME: {JAVA17}",
            "  Version:   Java 17",
            "  Vendor:    Debian",
            "",
            "  Java 17 is compatible with PySpark 3.5",
            "", ""]))
        self.assertEqual(result.stderr, "")

    def test_java_25_does_not_run_pyspark_3_5(self):
        support.require_java(JAVA25)
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["spark", "check"], plo_env(ws.venv, JAVA25))
        self.assertEqual(result.returncode, 1)
        self.assertIn("  Vendor:    Eclipse Adoptium\n", result.stdout)
        self.assertIn("  Java 25 is not compatible with PySpark 3.5 (supported: Java 8, 11, 17)\n"
                      "\n  Run 'plo java set' to select a compatible Java version\n\n", result.stdout)

    def test_java_on_path_is_resolved_to_its_home(self):
        support.require_java(JAVA17)
        ws.venv.set_pyspark(newest("4.1"))
        bin_dir = ws.path("path-java")
        os.makedirs(bin_dir, exist_ok=True)
        link = os.path.join(bin_dir, "java")
        if not os.path.lexists(link):
            os.symlink(os.path.join(JAVA17, "bin", "java"), link)
        result = run_plo(["spark", "check"], plo_env(ws.venv, path=bin_dir))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"  JAVA_HOME: {JAVA17}\n", result.stdout)
        self.assertIn("  Java 17 is compatible with PySpark 4.1\n", result.stdout)

    def test_fake_java_11_home(self):
        home = support.fake_java_home(ws.path("java11"), "11.0.22", "Azul Systems, Inc.")
        ws.venv.set_pyspark(newest("4.1"))
        result = run_plo(["spark", "check"], plo_env(ws.venv, home))
        self.assertEqual(result.returncode, 1)
        self.assertIn("  Version:   Java 11\n  Vendor:    Azul Systems, Inc.\n", result.stdout)
        self.assertIn("Java 11 is not compatible with PySpark 4.1 (supported: Java 17, 21)",
                      result.stdout)

    def test_java_8_without_release_file_asks_java(self):
        home = support.fake_java_home(
            ws.path("java8"), None,
            java_version_output='openjdk version "1.8.0_392"\\nOpenJDK Runtime Environment (build 1.8.0_392-b08)\\n')
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["spark", "check"], plo_env(ws.venv, home))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  Version:   Java 8\n  Vendor:    OpenJDK Runtime Environment\n", result.stdout)

    def test_no_java_at_all(self):
        ws.venv.set_pyspark(newest("3.5"))
        empty = ws.path("empty-bin")
        os.makedirs(empty, exist_ok=True)
        result = run_plo(["spark", "check"], plo_env(ws.venv, path=empty))
        self.assertEqual(result.returncode, 1)
        out = result.stdout.split("\n")
        self.assertEqual(len(out) - 1, 17)
        self.assertEqual(out[10], "  Java not found!")
        self.assertEqual(out[12], f"  PySpark {newest('3.5')} requires Java 8, 11, 17")

    def test_java_home_naming_nothing_or_a_file_means_no_java(self):
        ws.venv.set_pyspark(newest("3.5"))
        for home in (ws.path("no-such-jdk"), support.PLO):
            result = run_plo(["spark", "check"], plo_env(ws.venv, home))
            self.assertEqual(result.returncode, 1)
            self.assertIn("  Java not found!\n", result.stdout)
            self.assertEqual(result.stderr, "")

    def test_java_that_says_nothing_useful_is_a_clear_error(self):
        home = support.fake_java_home(ws.path("garbage-java"), None,
                                      java_version_output="\\x01\\x02 garbage\\n")
        with open(os.path.join(home, "release"), "w") as f:
            f.write("JAVA_VERSION=\"banana\"\n\x00\x01")
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["spark", "check"], plo_env(ws.venv, home))
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stderr.startswith("Error: cannot tell which version the Java at"),
                        result.stderr)

    def test_pyspark_absent(self):
        ws.venv.set_pyspark(None)
        result = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout.split("\n")[3:], [
            "  PySpark not installed!", "", "  Install with: pip install pyspark",
            "  Or run 'plo spark set-version' to select a version", "", ""])

    def test_virtual_env_is_used_without_plo_python(self):
        ws.venv.set_pyspark(newest("3.5"))
        env = plo_env(None, JAVA17, VIRTUAL_ENV=ws.venv.root, path=ws.path("empty-bin"))
        os.makedirs(ws.path("empty-bin"), exist_ok=True)
        result = run_plo(["spark", "check"], env)
        self.assertIn(f"  Version:       {newest('3.5')}\n", result.stdout, result.stderr)

    def test_spark_distribution_on_pythonpath(self):
        ws.venv.set_pyspark(None)
        dist = ws.path("spark-dist", "python")
        os.makedirs(os.path.join(dist, "pyspark"), exist_ok=True)
        with open(os.path.join(dist, "pyspark", "__init__.py"), "w"):
            pass
        with open(os.path.join(dist, "pyspark", "version.py"), "w") as f:
            f.write(f'__version__: str = "{newest("3.3")}"\n')
        result = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17, PYTHONPATH=dist))
        self.assertIn(f"  Version:       {newest('3.3')}\n", result.stdout, result.stderr)

    def test_colours_forced_and_refused(self):
        ws.venv.set_pyspark(newest("3.5"))
        forced = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17, CLICOLOR_FORCE="1"))
        self.assertIn("\x1b[36m\x1b[1mPySpark Status\x1b[0m\n", forced.stdout)
        self.assertIn("\x1b[32m  Java 17 is compatible with PySpark 3.5\x1b[0m", forced.stdout)
        for env in (dict(NO_COLOR="1", CLICOLOR_FORCE="1"), dict(FORCE_COLOR="0"), {}):
            plain = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17, **env))
            self.assertNotIn("\x1b[", plain.stdout, env)


class Companions(unittest.TestCase):
    """A package beside PySpark that does not fit it adds nothing to check's standard output: one
    line on standard error with the fix, and exit 1."""

    def tearDown(self):
        ws.venv.pip("uninstall", "-y", "delta-spark", "importlib-metadata", "zipp")

    def test_delta_spark_of_the_3_5_line_beside_4_0(self):
        support.require_java(JAVA17)
        line_3_5, line_4_0 = support.newest("3.5"), support.newest("4.0")
        ws.venv.set_pyspark(line_3_5)
        ws.venv.pip("install", "delta-spark==3.3.0")
        # What a switch made by pip alone leaves: pip only warns about delta-spark.
        ws.venv.pip("install", f"pyspark=={line_4_0}")
        broken = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17))
        self.assertEqual(broken.returncode, 1, broken.stderr)
        fix = f"{ws.venv.python} -m pip install 'delta-spark==4.0.*' pyspark=={line_4_0}"
        self.assertEqual(broken.stderr, "delta-spark 3.3.0 requires pyspark<3.6.0,>=3.5.3, but "
                                        f"PySpark is {line_4_0}. Fix: {fix}\n")
        self.assertIn(f"  Java 17 is compatible with PySpark 4.0\n", broken.stdout)

        mended = subprocess.run(fix, shell=True, env=support.pip_env(ws.wheels),
                                capture_output=True, text=True)
        self.assertEqual(mended.returncode, 0, mended.stderr)
        self.assertEqual(ws.venv.pip("check", check=False).returncode, 0)
        fits = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17))
        self.assertEqual((fits.returncode, fits.stderr), (0, ""))
        self.assertEqual(fits.stdout, broken.stdout)


class BadInterpreters(unittest.TestCase):
    def test_plo_python_missing(self):
        result = run_plo(["spark", "check"], plo_env(None, JAVA17, PLO_PYTHON=ws.path("nope")))
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr, r"^Error: PLO_PYTHON names '.*nope', which is not an executable file\n$")

    def test_plo_python_not_python(self):
        for program in ("/bin/true", "/bin/echo"):
            result = run_plo(["spark", "check"], plo_env(None, JAVA17, PLO_PYTHON=program))
            self.assertEqual(result.returncode, 1)
            self.assertIn("does not behave like a Python interpreter", result.stderr)
            self.assertNotIn("PySpark not installed", result.stdout)

    def test_hanging_interpreter_is_bounded(self):
        script = ws.path("hang.sh")
        with open(script, "w") as f:
            f.write("#!/bin/sh\nsleep 600\n")
        os.chmod(script, 0o755)
        result = run_plo(["spark", "check"], plo_env(None, JAVA17, PLO_PYTHON=script), timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn("did not answer within 20 seconds", result.stderr)

    def test_no_python_anywhere(self):
        empty = ws.path("empty-bin")
        os.makedirs(empty, exist_ok=True)
        result = run_plo(["spark", "check"], plo_env(None, JAVA17, path=empty))
        self.assertEqual(result.returncode, 1)
        self.assertIn("no Python interpreter found", result.stderr)


class FrontEnd(unittest.TestCase):
    def test_versions_matrix(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["spark", "versions"], plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 0)
        out = result.stdout.split("\n")
        rows = support.catalogue()
        self.assertEqual(len(out) - 1, 12 + 4 * len(rows))  # four lines for each PySpark line
        latest = next(row["version"] for row in rows if row["tag"] == "latest")
        self.assertIn(f"  PySpark {newest('3.5')} (stable) * INSTALLED", out)
        self.assertIn(f"  PySpark {latest} (latest)", out)
        self.assertIn(f"  PySpark {newest('4.2')}", out)
        self.assertEqual(out[-4:], [f"  PySpark: {newest('3.5')}", "  Java:    17 (Debian)", "", ""])

    def test_usage_errors_exit_2(self):
        for args in (["spark", "match-cluster"], ["spark", "nope"], ["nope"], []):
            result = run_plo(args, plo_env())
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(result.stdout, "")
            self.assertNotEqual(result.stderr, "")

    def test_help_and_version_on_stdout(self):
        self.assertEqual(run_plo(["--version"], plo_env()).stdout, "plo 0.1.0\n")
        for args in (["--help"], ["spark", "--help"]):
            result = run_plo(args, plo_env())
            self.assertEqual(result.returncode, 0)
            self.assertIn("Usage:", result.stdout)

    def test_closed_pipe_is_quiet(self):
        ws.venv.set_pyspark(newest("3.5"))
        shell = subprocess.run(["/bin/sh", "-c", f"'{support.PLO}' spark versions | head -1"],
                               env=plo_env(ws.venv, JAVA17), capture_output=True, text=True)
        self.assertEqual(shell.stdout, "\n")
        self.assertEqual(shell.stderr, "")

    def test_closed_standard_streams(self):
        ws.venv.set_pyspark(newest("3.5"))
        shell = subprocess.run(["/bin/sh", "-c", f"'{support.PLO}' spark check >&- <&-; echo $?"],
                               env=plo_env(ws.venv, JAVA17), capture_output=True, text=True)
        self.assertEqual(shell.stdout, "0\n")
        self.assertEqual(shell.stderr, "")


if __name__ == "__main__":
    unittest.main()
