"""`plo spark set-version VERSION --yes --json`: one document for each way a switch ends, and a
PySpark in the user site that shadows the target refused before anything changes."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

import support
from support import JAVA17, plo_env, run_plo

ws = None
# Versions of no catalogue row, so that the test means exactly these stand-ins.
WORKS, NEEDS_JAVA25, MISSING = "3.5.1", "3.5.2", "3.5.7"


def setUpModule():
    global ws
    support.require_java(JAVA17)
    ws = support.Workspace()
    support.build_pyspark_wheel(ws.wheels, WORKS, ws.marker, class_major=52)
    support.build_pyspark_wheel(ws.wheels, NEEDS_JAVA25, ws.marker, class_major=69)


def tearDownModule():
    ws.cleanup()


def switch(version, env=None, *extra):
    result = run_plo(["spark", "set-version", version, "--yes", "--json", *extra],
                     env or plo_env(ws.venv, JAVA17), timeout=180)
    return result, json.loads(result.stdout)


class SwitchDocument(unittest.TestCase):
    def test_each_outcome(self):
        ws.venv.set_pyspark(None)
        result, doc = switch(WORKS)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((doc["schema"], doc["ok"], doc["outcome"], doc["from"], doc["to"]),
                         (1, True, "installed", None, WORKS))
        self.assertEqual((doc["distribution"], doc["installer"], doc["note"], doc["error"]),
                         ("pyspark", "pip", None, None))
        self.assertEqual([s["step"] for s in doc["steps"]], ["install", "verify"])
        # Standard output is the document alone; pip's output was captured.
        self.assertNotIn("Successfully installed", result.stdout + result.stderr)

        result, doc = switch(WORKS + ".0")
        self.assertEqual((result.returncode, doc["outcome"], doc["ok"]),
                         (0, "already_installed", True))

        result, doc = switch(NEEDS_JAVA25)
        self.assertEqual(result.returncode, 1)
        self.assertEqual((doc["outcome"], doc["from"], doc["to"]), ("rolled_back", WORKS, NEEDS_JAVA25))
        verify = [s for s in doc["steps"] if s["step"] == "verify"][0]
        self.assertTrue(verify["java_error"])
        self.assertEqual(doc["steps"][-1], {"step": "rollback", "version": WORKS, "ok": True})
        self.assertIn("UnsupportedClassVersionError", doc["error"])
        self.assertEqual(support.imported_pyspark(ws.venv.python), WORKS)

        result, doc = switch(MISSING)
        self.assertEqual((result.returncode, doc["outcome"], doc["ok"]), (1, "failed", False))
        self.assertIn("No matching distribution", doc["error"])
        self.assertIn({"step": "install", "version": MISSING, "ok": False}, doc["steps"])
        self.assertEqual(support.imported_pyspark(ws.venv.python), WORKS)


class UserSite(unittest.TestCase):
    def test_a_user_site_pyspark_ahead_of_the_target_is_refused_before_any_change(self):
        python = support.pyenv_python("3.11")
        if not python:
            self.skipTest("no pyenv Python 3.11")
        base = tempfile.mkdtemp(prefix="plo-e2e-userbase-")
        self.addCleanup(shutil.rmtree, base, True)
        env = dict(support.pip_env(ws.wheels), PYTHONUSERBASE=base)
        subprocess.run([python, "-m", "pip", "install", "--user", f"pyspark=={WORKS}"], env=env,
                       check=True, capture_output=True)
        site = subprocess.run([python, "-c", "import sysconfig;print(sysconfig.get_path('purelib'))"],
                              capture_output=True, text=True, check=True).stdout.strip()
        before = sorted(os.listdir(site))

        result, doc = switch(NEEDS_JAVA25, plo_env(None, JAVA17, PLO_PYTHON=python,
                                                   PYTHONUSERBASE=base, PIP_FIND_LINKS=ws.wheels),
                           "--system")
        self.assertEqual((result.returncode, doc["outcome"]), (1, "refused"), result.stderr)
        self.assertIn("comes before", doc["error"])
        self.assertIn("-m pip uninstall pyspark", result.stdout + result.stderr)
        # Nothing changed: the user's copy is still what import finds, the site folder as it was.
        self.assertEqual(support.imported_pyspark(python, PYTHONUSERBASE=base), WORKS)
        self.assertEqual(sorted(os.listdir(site)), before)


if __name__ == "__main__":
    unittest.main()
