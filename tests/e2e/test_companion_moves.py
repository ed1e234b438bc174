"""The packages beside PySpark move with a switch, in pip's own run, inside its transaction:
delta-spark follows PySpark's line and back, --keep-companions leaves it and says so, a package
no release of which fits refuses the switch before any change, and a failed install of a
companion puts PySpark and the companions back."""

import json
import subprocess
import unittest

import support
from support import JAVA17, plo_env, run_plo

ws = None
# Stand-ins of no catalogue row (both start on Java 17): the test means exactly these versions.
OLD, NEW = "3.5.3", "4.0.0"


class Bare(support.Workspace):
    VERSIONS = {}


def setUpModule():
    global ws
    support.require_java(JAVA17)
    ws = Bare()
    for version in (OLD, NEW):
        support.build_pyspark_wheel(ws.wheels, version, ws.marker, class_major=52)
    support.build_companion_wheels(ws.wheels)
    # A user's own package, pinned to the 3.5 line in its only release.
    support.build_wheel(ws.wheels, "ownlib", "1.0", {"ownlib/__init__.py": ""},
                        metadata="Requires-Dist: pyspark<3.6\n")
    # One whose newer release fits 4.0 but cannot be installed (its dependency is nowhere).
    support.build_wheel(ws.wheels, "brokenlib", "1.0", {"brokenlib/__init__.py": ""},
                        metadata="Requires-Dist: pyspark<3.6\n")
    support.build_wheel(ws.wheels, "brokenlib", "2.0", {"brokenlib/__init__.py": ""},
                        metadata="Requires-Dist: pyspark>=4.0\nRequires-Dist: nowhere-to-be-found\n")


def tearDownModule():
    ws.cleanup()


def switch(version, *extra):
    result = run_plo(["spark", "set-version", version, "--yes", "--json", *extra],
                     plo_env(ws.venv, JAVA17), timeout=240)
    return result, json.loads(result.stdout)


def installed(name):
    shown = ws.venv.pip("show", name, check=False).stdout
    return next((l.split(": ", 1)[1] for l in shown.splitlines() if l.startswith("Version: ")), None)


def start_from(*packages):
    for name in ("ownlib", "brokenlib"):
        ws.venv.pip("uninstall", "-y", name, check=False)
    ws.venv.pip("install", f"pyspark=={OLD}", *packages)


class CompanionMoves(unittest.TestCase):
    def test_delta_follows_pyspark_there_and_back(self):
        start_from("delta-spark==3.3.0")
        result, doc = switch(NEW)
        self.assertEqual((result.returncode, doc["outcome"]), (0, "installed"), result.stderr)
        self.assertEqual([(m["name"], m["from"], m["to"]) for m in doc["companions"]],
                         [("delta-spark", "3.3.0", "4.0.0")])
        self.assertIn({"step": "check_companions", "ok": True}, doc["steps"])
        self.assertIn("delta-spark 3.3.0 -> 4.0.0", result.stderr)
        self.assertEqual(installed("delta-spark"), "4.0.0")
        self.assertEqual(ws.venv.pip("check", check=False).returncode, 0)

        result, doc = switch(OLD)
        self.assertEqual((result.returncode, doc["outcome"]), (0, "installed"), result.stderr)
        self.assertEqual((installed("pyspark"), installed("delta-spark")), (OLD, "3.3.0"))

    def test_keep_companions_leaves_them_and_names_them(self):
        start_from("delta-spark==3.3.0")
        result, doc = switch(NEW, "--keep-companions")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(doc["companions"], [])
        self.assertEqual([l["name"] for l in doc["companions_left"]], ["delta-spark"])
        self.assertIn("delta-spark 3.3.0 requires pyspark<3.6.0,>=3.5.3", result.stderr)
        self.assertEqual((installed("pyspark"), installed("delta-spark")), (NEW, "3.3.0"))

    def test_a_package_no_release_of_which_fits_refuses_before_any_change(self):
        start_from("ownlib==1.0")
        result, doc = switch(NEW)
        self.assertEqual((result.returncode, doc["outcome"]), (1, "refused"))
        self.assertIn("ownlib 1.0 requires pyspark<3.6", doc["error"])
        self.assertIn("--keep-companions", result.stderr)
        self.assertEqual(doc["steps"], [])
        self.assertEqual(installed("pyspark"), OLD)

    def test_a_companion_that_fails_to_install_takes_pyspark_back_with_it(self):
        start_from("brokenlib==1.0")
        result, doc = switch(NEW)
        self.assertEqual((result.returncode, doc["outcome"]), (1, "failed"), result.stderr)
        self.assertEqual([m["to"] for m in doc["companions"]], ["2.0"])
        self.assertIn({"step": "rollback", "version": OLD, "ok": True}, doc["steps"])
        self.assertEqual((installed("pyspark"), installed("brokenlib")), (OLD, "1.0"))
        self.assertEqual(support.imported_pyspark(ws.venv.python), OLD)


if __name__ == "__main__":
    unittest.main()
