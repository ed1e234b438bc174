"""`plo spark set-version` driven with answers on stdin, installing stand-in wheels with real pip."""

import os
import re
import subprocess
import unittest

import support
from support import JAVA17, custom_menu_entry, menu_entry, menu_line, newest, plo_env, run_plo

ws = None


def setUpModule():
    global ws
    ws = support.Workspace()
    support.require_java(JAVA17)


def tearDownModule():
    ws.cleanup()


# Menu answers by meaning: menu_entry(line) chooses a line, custom_menu_entry() a typed version.
class SetVersion(unittest.TestCase):
    def set_version(self, answers, java_home=JAVA17, timeout=180):
        return run_plo(["spark", "set-version"], plo_env(ws.venv, java_home), stdin=answers,
                       timeout=timeout)

    def test_successful_switch(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('4.1')}\n")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))
        out = result.stdout
        self.assertIn(f"  Current PySpark: {newest('3.5')}\n", out)
        self.assertIn(f"{menu_line('4.1')} [OK]\n", out)
        self.assertIn(f"{menu_line('3.5')} [OK] * CURRENT\n", out)
        self.assertIn(f"{menu_line('4.3')} [OK]\n", out)
        self.assertIn(f"{menu_line('4.2')} [OK]\n", out)
        self.assertIn("  Your Java: 17 (Debian)\n", out)
        # pip's own output comes between plo's lines, in order.
        old, new = re.escape(newest("3.5")), re.escape(newest("4.1"))
        self.assertRegex(out, rf"(?s)  Uninstalling PySpark {old}\.\.\.\n  Removed PySpark {old}\n"
                              rf"  Installing PySpark {new}\.\.\.\n.*Successfully installed pyspark-{new}.*"
                              r"  Testing PySpark \+ Java compatibility\.\.\.\n\n"
                              rf"PySpark {new} installed successfully\n  Java compatibility verified\n\n$")

    def test_empty_or_users_spark_home(self):
        ws.venv.set_pyspark(newest("4.1"))
        result = run_plo(["spark", "set-version"], dict(plo_env(ws.venv, JAVA17), SPARK_HOME=""),
                         stdin=f"{menu_entry('3.5')}\n")
        self.assertIn(f"PySpark {newest('3.5')} installed successfully\n  Java compatibility verified\n",
                      result.stdout, result.stdout + result.stderr)
        # A Spark home of the user's own is used as it is: its spark-submit leaves a mark.
        package = os.path.join(ws.venv.site_packages(), "pyspark")
        home = ws.path("users-spark")
        os.makedirs(os.path.join(home, "bin"), exist_ok=True)
        for name in ("spark-class", "load-spark-env.sh"):
            target = os.path.join(home, "bin", name)
            if not os.path.lexists(target):
                os.symlink(os.path.join(package, "bin", name), target)
        if not os.path.lexists(os.path.join(home, "jars")):
            os.symlink(os.path.join(package, "jars"), os.path.join(home, "jars"))
        mark = ws.path("users-spark-used")
        submit = os.path.join(home, "bin", "spark-submit")
        with open(submit, "w") as f:
            f.write(f'#!/bin/sh\ntouch "{mark}"\nexec "$SPARK_HOME"/bin/spark-class '
                    'org.apache.spark.deploy.SparkSubmit "$@"\n')
        os.chmod(submit, 0o755)
        result = run_plo(["spark", "set-version"], dict(plo_env(ws.venv, JAVA17), SPARK_HOME=home),
                         stdin=f"{menu_entry('4.1')}\n")
        self.assertIn(f"PySpark {newest('4.1')} installed successfully\n  Java compatibility verified\n",
                      result.stdout, result.stdout + result.stderr)
        self.assertTrue(os.path.exists(mark))

    def test_java25_refuses_spark35_and_rolls_back(self):
        support.require_java(support.JAVA25)
        ws.venv.set_pyspark(newest("4.1"))
        result = self.set_version(f"{menu_entry('3.5')}\ny\ny\n", java_home=support.JAVA25)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("\nJava compatibility error: Java compatibility error\n\n"
                      "   This PySpark version doesn't work with your current Java.\n"
                      "   PySpark 3.5 requires Java 8, 11, 17\n\n"
                      f"Rollback to PySpark {newest('4.1')}? [Y/n]: \nRolling back...\n", result.stdout)
        self.assertIn(f"Restored PySpark {newest('4.1')}\n", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))

    def test_already_installed(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('3.5')}\n")
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.endswith(f"\nPySpark {newest('3.5')} is already installed\n\n"))

    def test_unknown_version_is_rolled_back(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{custom_menu_entry()}\n9.9.9\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("No matching distribution found for pyspark==9.9.9", result.stdout + result.stderr)
        self.assertIn(f"\nFailed to install PySpark 9.9.9\n\nRolling back to PySpark {newest('3.5')}...\n", result.stdout)
        self.assertIn(f"Restored PySpark {newest('3.5')}\n", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_custom_answers_that_are_no_version_are_refused_at_the_question(self):
        ws.venv.set_pyspark(newest("3.5"))
        marker = ws.path("pwned")
        for typed in (f"{newest('3.5')}; touch {marker}", f"$(touch {marker})", "--version",
                      f'{newest("3.5")}; python_version < "3"', "3.5.*"):
            result = self.set_version(f"{custom_menu_entry()}\n{typed}\n")
            self.assertEqual(result.returncode, 1, typed)
            self.assertIn(f"Error: '{typed}' is not a valid version\n"
                          "Enter PySpark version (e.g., 3.4.1): ", result.stdout)
            self.assertNotIn("Installing PySpark", result.stdout)
            self.assertFalse(os.path.exists(marker))
            self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"), typed)
        # Blanks around a version are trimmed, as pip trims them.
        result = self.set_version(f"{custom_menu_entry()}\n {newest('3.5')} \n")
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.endswith(f"\nPySpark {newest('3.5')} is already installed\n\n"))

    def test_offline_rollback_failure_restores_the_kept_files(self):
        ws.venv.set_pyspark(newest("3.5"))
        empty = ws.path("no-wheels")
        os.makedirs(empty, exist_ok=True)
        env = dict(plo_env(ws.venv, JAVA17), PIP_FIND_LINKS=empty)
        result = run_plo(["spark", "set-version"], env, stdin=f"{menu_entry('4.1')}\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"Rolling back to PySpark {newest('3.5')}...\n  Installing PySpark {newest('3.5')}...\n", result.stdout)
        self.assertTrue(result.stdout.endswith(
            "Rollback failed! Run 'plo spark set-version' again\n"
            f"Restored PySpark {newest('3.5')} from the files kept before uninstalling\n"), result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        self.assertEqual(support.imported_pyspark(ws.venv.python), newest("3.5"))
        self.assertFalse(os.path.exists(os.path.join(ws.venv.site_packages(), ".plo-pyspark-stash")))
        # What came back still starts the way PySpark does.
        result = self.set_version(f"{menu_entry('4.1')}\n")
        self.assertIn(f"PySpark {newest('4.1')} installed successfully\n  Java compatibility verified\n",
                      result.stdout, result.stdout + result.stderr)

    def test_pyspark_from_pythonpath_is_left_alone(self):
        ws.venv.set_pyspark(newest("4.1"))
        folder = ws.path("on-pythonpath")
        import zipfile
        with zipfile.ZipFile(os.path.join(ws.wheels, f"pyspark-{newest('3.5')}-py3-none-any.whl")) as wheel:
            wheel.extractall(folder)
        env = dict(plo_env(ws.venv, JAVA17), PYTHONPATH=folder)
        result = run_plo(["spark", "set-version"], env, stdin=f"{menu_entry('4.1')}\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"  Current PySpark: {newest('3.5')}\n", result.stdout)
        self.assertIn(f"  PySpark {newest('3.5')} comes from {folder}, which PYTHONPATH names: pip cannot "
                      "replace it\n   Remove that entry from PYTHONPATH first", result.stdout)
        self.assertNotIn("Uninstalling", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))

    def test_stale_virtual_env_is_named(self):
        ws.venv.set_pyspark(newest("3.5"))
        env = plo_env(ws.venv, JAVA17, VIRTUAL_ENV=ws.path("gone"))
        del env["PLO_PYTHON"]
        env["PATH"] = os.path.dirname(ws.venv.python) + ":/usr/bin:/bin"
        result = run_plo(["spark", "set-version"], env, stdin="")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"Error: VIRTUAL_ENV names {ws.path('gone')}, which has no bin/python",
                      result.stderr)
        result = run_plo(["spark", "versions"], env)
        self.assertIn(f"Warning: VIRTUAL_ENV names {ws.path('gone')}, which has no bin/python; "
                      f"using {ws.venv.python}3 instead\n", result.stderr)

    def test_java_error_with_rollback_accepted(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('4.0')}\ny\n")
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("\nJava compatibility error: Java compatibility error\n\n"
                      "   This PySpark version doesn't work with your current Java.\n"
                      "   PySpark 4.0 requires Java 17, 21\n\n"
                      f"Rollback to PySpark {newest('3.5')}? [Y/n]: \nRolling back...\n", result.stdout)
        self.assertTrue(result.stdout.endswith(
            f"Restored PySpark {newest('3.5')}\n\n   To use the new version, first run:\n     plo java set\n\n"))
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_java_error_with_rollback_declined(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('4.0')}\nn\n")
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith("\n   To fix this, run:\n     plo java set\n\n"))
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.0"))

    def test_newer_jdk_runs_what_17_cannot(self):
        support.require_java(support.JAVA25)
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('4.0')}\ny\n", java_home=support.JAVA25)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"PySpark {newest('4.0')} installed successfully\n  Java compatibility verified\n", result.stdout)

    def test_warning_declined_changes_nothing(self):
        support.require_java(support.JAVA25)
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('3.4')}\n\n", java_home=support.JAVA25)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Warning: PySpark 3.4 requires Java 8, 11, 17\n   Your Java: 25\n", result.stdout)
        self.assertTrue(result.stdout.endswith("Install anyway? [y/N]: "))
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_hanging_smoke_test_times_out_and_leaves_nothing(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('3.4')}\n", timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"PySpark {newest('3.4')} installed successfully\n  Note: Test timed out\n", result.stdout)
        self.assertEqual(support.standin_jvms(ws.marker), [])

    def test_bad_answers_and_end_of_input(self):
        ws.venv.set_pyspark(newest("3.5"))
        past_the_end = int(custom_menu_entry()) + 1
        cases = [
            (f"0\n{past_the_end}\n-1\n99999999999999999999999\nfour\n", f"Enter 1-{custom_menu_entry()}",
             "\nAborted.\n", ""),
            ("", "Your choice: ", "\nAborted.\n", ""),
            (f"{custom_menu_entry()}\n", "Enter PySpark version (e.g., 3.4.1): ", "", "Aborted!\n"),
            (f"{custom_menu_entry()}\n  \n", "Enter PySpark version (e.g., 3.4.1): ", "", "Aborted!\n"),
        ]
        for answers, shown, stdout_end, stderr in cases:
            result = self.set_version(answers)
            self.assertEqual(result.returncode, 1, answers)
            self.assertIn(shown, result.stdout, answers)
            self.assertTrue(result.stdout.endswith(stdout_end), answers)
            self.assertEqual(result.stderr, stderr, answers)
        self.assertIn("Error: 'four' is not a valid integer.", self.set_version("four\n").stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_end_of_input_at_rollback_question_keeps_new_version(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(f"{menu_entry('4.0')}\n")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.splitlines()[-1], "Aborted!")
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.0"))

    def test_fresh_environment_without_pyspark(self):
        ws.venv.set_pyspark(None)
        result = self.set_version(f"{menu_entry('3.5')}\n")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotIn("Current PySpark", result.stdout)
        self.assertNotIn("Uninstalling", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))


class StandIn(unittest.TestCase):
    """The stand-in pyspark fails where and as the real one does."""

    def smoke(self, **env):
        return subprocess.run([ws.venv.python, "-c", support.smoke_test_script()],
                              env={"PATH": "/usr/bin:/bin", **env}, capture_output=True,
                              text=True, cwd=ws.root, timeout=120)

    def test_launch_failures(self):
        ws.venv.set_pyspark(newest("3.5"))
        home = os.path.join(ws.venv.site_packages(), "pyspark")
        empty = self.smoke(JAVA_HOME=JAVA17)
        self.assertIn("FileNotFoundError: [Errno 2] No such file or directory: './bin/spark-submit'",
                      empty.stderr)
        self.assertIn("pyspark/java_gateway.py", empty.stderr)
        self.assertEqual(self.smoke(JAVA_HOME=JAVA17, SPARK_HOME=home).stdout, "OK\n")
        bare_path = ws.path("path-without-java")
        os.makedirs(bare_path, exist_ok=True)
        if not os.path.lexists(os.path.join(bare_path, "bash")):
            os.symlink("/bin/bash", os.path.join(bare_path, "bash"))
        no_java = self.smoke(SPARK_HOME=home, PATH=bare_path)
        self.assertIn("JAVA_HOME is not set\n", no_java.stderr)
        self.assertIn("[JAVA_GATEWAY_EXITED] Java gateway process exited before sending its port "
                      "number.", no_java.stderr)
        if support.has_java(support.JAVA25):
            new = self.smoke(JAVA_HOME=support.JAVA25, SPARK_HOME=home)
            # Java 23 says "... supported only if a security manager is allowed", 24 and later
            # "getSubject is not supported".
            self.assertIn("java.lang.UnsupportedOperationException: getSubject is", new.stderr)
        ws.venv.set_pyspark(newest("4.0"))
        old = self.smoke(JAVA_HOME=JAVA17, SPARK_HOME=home)
        self.assertIn("java.lang.UnsupportedClassVersionError: org/apache/spark/launcher/Main has "
                      "been compiled by a more recent version of the Java Runtime", old.stderr)


class WithoutPip(unittest.TestCase):
    """Interpreters whose pip cannot run: uv venvs, --without-pip, a system Python (PEP 668)."""

    def bare_venv(self, name):
        bare = support.Venv(ws.path(name), ws.wheels, with_pip=False)
        site = [os.path.join(root, d) for root, dirs, _ in os.walk(bare.root) for d in dirs
                if d == "site-packages"][0]
        # Install the stand-in with pip from outside, as uv would have.
        subprocess.run([support.BASE_PYTHON, "-m", "pip", "--python", bare.python, "install",
                        f"pyspark=={newest('3.5')}"], env=support.pip_env(ws.wheels), check=True,
                       capture_output=True)
        return bare, site

    def test_without_pip_or_uv_nothing_is_touched(self):
        bare, _ = self.bare_venv("bare-venv")
        result = run_plo(["spark", "set-version"], plo_env(bare, JAVA17), stdin=f"{menu_entry('4.1')}\n")
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith(
            "\nInstalling PySpark...\n\n"
            f"  pip is not available for {bare.python}\n"
            f"   Add pip to it:  {bare.python} -m ensurepip\n"
            "   or install uv (https://docs.astral.sh/uv/), which plo then uses instead of pip\n\n"),
            result.stdout)
        self.assertNotIn("Uninstalling", result.stdout)
        self.assertNotIn("Rollback failed", result.stdout)
        self.assertEqual(support.imported_pyspark(bare.python), newest("3.5"))

    def test_uv_replaces_a_missing_pip(self):
        bare, _ = self.bare_venv("uv-venv")
        path = support.standin_uv(ws.path("uv-bin")) + ":/usr/bin:/bin"
        result = run_plo(["spark", "set-version"], plo_env(bare, JAVA17, path=path), stdin=f"{menu_entry('4.1')}\n")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"  Uninstalling PySpark {newest('3.5')}...\n  Removed PySpark {newest('3.5')}\n"
                      f"  Installing PySpark {newest('4.1')}...\n", result.stdout)
        self.assertIn(f"PySpark {newest('4.1')} installed successfully\n  Java compatibility verified\n",
                      result.stdout)
        self.assertEqual(support.imported_pyspark(bare.python), newest("4.1"))

    def test_externally_managed_system_python_is_refused(self):
        if not os.path.exists("/usr/lib/python3.11/EXTERNALLY-MANAGED"):
            raise unittest.SkipTest("no externally managed Python here")
        env = plo_env(None, JAVA17, PLO_PYTHON="/usr/bin/python3")
        result = run_plo(["spark", "set-version"], env, stdin=f"{menu_entry('3.5')}\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("  /usr/bin/python3 is externally managed (PEP 668)", result.stdout)
        self.assertIn("     python3 -m venv ~/venvs/spark\n", result.stdout)
        self.assertNotIn(f"Installing PySpark {newest('3.5')}", result.stdout)


if __name__ == "__main__":
    unittest.main()
