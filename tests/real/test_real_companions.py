"""The real pyspark with the real delta-spark and pandas, switched from the newest 3.5 to the
newest 4.0 and back by plo: after each switch delta-spark is of PySpark's line, `pip check` is
clean, `import delta` works and doctor's pandas round trip passes in a real session. (Delta's
jars come from Maven, which these machines cannot reach: the session itself runs without them.)"""

import os
import subprocess
import unittest

import real
from real import JAVA17, SPARK3

SPARK40 = os.environ.get("PLO_REAL_SPARK40")
DELTA3 = os.environ.get("PLO_REAL_DELTA3")
DELTA4 = os.environ.get("PLO_REAL_DELTA4")
venv = None


def setUpModule():
    global venv
    if not (SPARK40 and DELTA3 and DELTA4):
        # Never a skip: scripts/test-real.sh gives these with the wheelhouse.
        raise RuntimeError("PLO_REAL_SPARK40, PLO_REAL_DELTA3 and PLO_REAL_DELTA4 are not set: "
                           "run the real tier through scripts/test-real.sh")
    real.support.require_java(JAVA17)
    venv = real.new_venv("companions")
    venv.pip("install", f"pyspark=={SPARK3}", f"delta-spark=={DELTA3}", "pandas<3", "numpy<2")


def installed(name):
    shown = venv.pip("show", name, check=False).stdout
    return next((l.split(": ", 1)[1] for l in shown.splitlines() if l.startswith("Version: ")), None)


class RealCompanions(unittest.TestCase):
    def switch_and_check(self, version, delta):
        env = real.plo_env(venv.python, JAVA17)
        done, doc = real.plo_json(["spark", "set-version", version, "--yes", "--json"], env,
                                  timeout=900)
        self.assertEqual((done.returncode, doc["outcome"]), (0, "installed"), done.stderr[-3000:])
        self.assertIn("delta-spark", [m["name"] for m in doc["companions"]])
        self.assertEqual((installed("pyspark"), installed("delta-spark")), (version, delta))
        checked = venv.pip("check", check=False)
        self.assertEqual(checked.returncode, 0, checked.stdout)
        imported = subprocess.run([venv.python, "-c", "import delta, delta.tables"],
                                  env=real.pip_env(), capture_output=True, text=True)
        self.assertEqual(imported.returncode, 0, imported.stderr)
        done, report = real.plo_json(["doctor", "--deep", "--json"], env, timeout=300)
        areas = {c["area"]: c for c in report["checks"]}
        self.assertEqual(areas["pandas"]["status"], "ok", areas["pandas"])
        self.assertEqual(areas["companions"]["status"], "ok", areas["companions"])

    def test_delta_and_pandas_follow_pyspark_to_40_and_back(self):
        self.switch_and_check(SPARK40, DELTA4)
        self.switch_and_check(SPARK3, DELTA3)


if __name__ == "__main__":
    unittest.main()
