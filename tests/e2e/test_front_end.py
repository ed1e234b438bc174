"""The front end as a new user meets it: typos, help, -q/-v/--color, the JSON schema number, where
computes.yml lives."""

import json
import os
import tempfile
import time
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

ws = None


def setUpModule():
    global ws
    ws = support.Workspace()


def tearDownModule():
    ws.cleanup()


def first_key(text):
    return json.loads(text, object_pairs_hook=lambda pairs: pairs)[0]


class Typos(unittest.TestCase):
    def test_each_level_names_the_word_and_the_closest_one(self):
        cases = [
            (["sprak", "check"], "error: unknown command 'sprak'; did you mean 'spark'?"),
            (["spark", "chek"], "error: unknown command 'chek'; did you mean 'check'?"),
            (["spark", "check", "--jsno"], "error: unknown option '--jsno'; did you mean '--json'?"),
            (["compute", "tset", "x"], "error: unknown command 'tset'; did you mean 'test'?"),
            (["java", "serach"], "error: unknown command 'serach'; did you mean 'search'?"),
            (["help", "spark", "set-verison"],
             "error: unknown command 'set-verison'; did you mean 'set-version'?"),
            (["doctorr"], "error: unknown command 'doctorr'; did you mean 'doctor'?"),
            (["frobnicate"], "error: unknown command 'frobnicate'"),
        ]
        for args, line in cases:
            result = run_plo(args, plo_env())
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(result.stdout, "", args)
            self.assertEqual(result.stderr.splitlines()[0], line, args)

    def test_compute_name_suggestion_goes_to_stderr(self):
        with tempfile.TemporaryDirectory() as home:
            env = plo_env(ws.venv, JAVA17, PLO_HOME=home)
            self.assertEqual(run_plo(["compute", "add", "prod", "--master", "local[2]"],
                                     env).returncode, 0)
            result = run_plo(["spark", "match-cluster", "prdo"], env)
            self.assertEqual(result.returncode, 1)
            self.assertIn("Compute 'prdo' not found in computes.yml", result.stdout)
            self.assertNotIn("Did you mean", result.stdout)
            self.assertIn("Did you mean 'prod'?", result.stderr)
            far = run_plo(["spark", "match-cluster", "staging"], env)
            self.assertNotIn("Did you mean", far.stderr)

    def test_java_set_of_a_missing_major_lists_the_installed_ones(self):
        support.require_java(JAVA17)
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["java", "set", "99"], plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 1)
        self.assertIn("  No Java 99 found", result.stdout)
        self.assertRegex(result.stderr, r"Installed: Java \d+")
        self.assertIn("Java 17", result.stderr)


class Help(unittest.TestCase):
    def test_bare_plo_prints_help_and_exits_2(self):
        result = run_plo([], plo_env())
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, "")
        self.assertIn("Usage: plo [OPTIONS] <COMMAND>", result.stderr)
        self.assertIn("Commands:", result.stderr)

    def test_help_of_a_command(self):
        for args in (["help", "spark", "set-version"], ["spark", "set-version", "--help"]):
            result = run_plo(args, plo_env())
            self.assertEqual(result.returncode, 0, args)
            out = result.stdout.splitlines()
            self.assertEqual(out[0], "Choose, install and verify a PySpark version")
            self.assertIn("Usage: plo spark set-version [OPTIONS] [VERSION]", out)
            for heading in ("Arguments:", "Options:", "Global options:", "Examples:"):
                self.assertIn(heading, out, args)
            self.assertTrue(any(line.startswith("  plo spark set-version 3.5 ") for line in out))
            self.assertTrue(all(len(line) <= 80 for line in out), out)

    def test_help_and_version_flags(self):
        self.assertIn("Commands:", run_plo(["help"], plo_env()).stdout)
        self.assertEqual(run_plo(["-V"], plo_env()).stdout, "plo 0.1.0\n")


class QuietVerboseColor(unittest.TestCase):
    def test_quiet_set_version_prints_nothing_on_success(self):
        ws.venv.set_pyspark(newest("4.1"))
        result = run_plo(["-q", "spark", "set-version", newest("3.5"), "--yes"], plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(result.stdout, "")
        self.assertNotIn("Successfully installed", result.stderr)  # pip's progress
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_quiet_keeps_the_errors(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["spark", "set-version", "9.9.9", "--yes", "--quiet"],
                         plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 1)
        self.assertNotIn("Current PySpark", result.stdout)
        self.assertIn("9.9.9", result.stdout)  # the failed install, in red
        self.assertIn("ERROR", result.stderr)  # pip's own error stays
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_quiet_menu_is_shown_with_its_question(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = run_plo(["-q", "spark", "set-version"], plo_env(ws.venv, JAVA17), stdin="")
        self.assertEqual(result.returncode, 1)
        self.assertIn(support.menu_line("3.5") + " [OK]", result.stdout)
        self.assertTrue(result.stdout.endswith("Your choice: "), result.stdout[-200:])
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_verbose_set_version_shows_children_and_the_smoke_test(self):
        ws.venv.set_pyspark(newest("4.1"))
        result = run_plo(["spark", "set-version", newest("3.5"), "--yes", "-v"],
                         plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Successfully installed", result.stdout + result.stderr)
        running = [l for l in result.stderr.splitlines() if l.startswith("plo: running ")]
        self.assertTrue(any("-m pip install" in l and f"pyspark=={newest('3.5')}" in l for l in running),
                        running)
        self.assertTrue(any("-m pip uninstall" in l for l in running), running)
        self.assertTrue(any(l.startswith("plo:   out| ") or l.startswith("plo:   err| ")
                            for l in result.stderr.splitlines()))
        # Nothing of -v reaches standard output: the report stays as it is.
        self.assertNotIn("plo: ", result.stdout)
        # An answer is kept only once its inputs are a second old (file times are coarse).
        time.sleep(1.5)
        run_plo(["spark", "check"], plo_env(ws.venv, JAVA17))
        again = run_plo(["spark", "check", "-v"], plo_env(ws.venv, JAVA17))
        self.assertIn("plo: import path of " + ws.venv.python + " from the cache", again.stderr)

    def test_color_flag_beats_the_environment(self):
        ws.venv.set_pyspark(newest("3.5"))
        never = run_plo(["spark", "check", "--color", "never"],
                        plo_env(ws.venv, JAVA17, FORCE_COLOR="1"))
        self.assertNotIn("\x1b[", never.stdout)
        forced = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17, FORCE_COLOR="1"))
        self.assertIn("\x1b[", forced.stdout)
        always = run_plo(["--color=always", "spark", "check"],
                         plo_env(ws.venv, JAVA17, NO_COLOR="1"))
        self.assertIn("\x1b[", always.stdout)


class JsonSchema(unittest.TestCase):
    def test_every_document_starts_with_schema_1(self):
        ws.venv.set_pyspark(newest("3.5"))
        with tempfile.TemporaryDirectory() as home:
            env = plo_env(ws.venv, JAVA17, PLO_HOME=home)
            run_plo(["compute", "add", "dev", "--master", "local[2]"], env)
            for args in (["spark", "check", "--json"], ["spark", "versions", "--json"],
                         ["spark", "match-cluster", "dev", "--json"], ["java", "search", "--json"],
                         ["compute", "list", "--json"], ["compute", "test", "dev", "--json"]):
                result = run_plo(args, env)
                self.assertEqual(first_key(result.stdout), ("schema", 1), args)
            check = json.loads(run_plo(["spark", "check", "--json"], env).stdout)
            self.assertEqual(check["java"]["found_in"], "JAVA_HOME")


class ComputesFile(unittest.TestCase):
    def file_used(self, env):
        result = run_plo(["compute", "list", "--json"], env)
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)["file"]

    def test_xdg_then_legacy_folder_then_plo_home(self):
        with tempfile.TemporaryDirectory() as home:
            env = plo_env(HOME=home)
            xdg = os.path.join(home, ".config", "plo", "computes.yml")
            self.assertEqual(self.file_used(env), xdg)
            self.assertEqual(run_plo(["compute", "add", "a", "--master", "local"], env).returncode,
                             0)
            self.assertTrue(os.path.isfile(xdg))
            listing = run_plo(["compute", "list"], env).stdout
            self.assertIn("  File: " + xdg, listing)

            config = os.path.join(home, "cfg")
            self.assertEqual(self.file_used(dict(env, XDG_CONFIG_HOME=config)),
                             os.path.join(config, "plo", "computes.yml"))

            legacy = os.path.join(home, ".plo", "computes.yml")
            os.makedirs(os.path.dirname(legacy))
            with open(legacy, "w") as f:
                f.write("computes:\n  old:\n    config:\n      master: local\n")
            self.assertEqual(self.file_used(env), legacy)
            self.assertIn("old", run_plo(["compute", "list"], env).stdout)

            mine = os.path.join(home, "mine")
            self.assertEqual(self.file_used(dict(env, PLO_HOME=mine)),
                             os.path.join(mine, "computes.yml"))

    def test_add_of_a_databricks_host_records_its_type(self):
        with tempfile.TemporaryDirectory() as home:
            env = plo_env(PLO_HOME=home)
            host = "adb-1234567890123456.7.azuredatabricks.net"
            self.assertEqual(run_plo(["compute", "add", "dbx", "--host", host], env).returncode, 0)
            self.assertEqual(run_plo(["compute", "add", "other", "--host", host, "--type", "spark"],
                                     env).returncode, 0)
            computes = {c["name"]: c["type"]
                        for c in json.loads(run_plo(["compute", "list", "--json"], env).stdout)
                        ["computes"]}
            self.assertEqual(computes, {"dbx": "databricks", "other": "spark"})


if __name__ == "__main__":
    unittest.main()
