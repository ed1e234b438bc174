"""`plo runtimes` and runtime computes: the managed runtimes' table against a real venv with
stand-in wheels and a real JDK, offline. Versions come from plo's own table by meaning."""

import json
import os
import subprocess
import unittest

import support
from support import JAVA17, newest, plo_env

ws = None


def table():
    result = subprocess.run([support.PLO, "runtimes", "--json"], env=plo_env(),
                            capture_output=True, text=True, check=True)
    return {row["name"]: row for row in json.loads(result.stdout)["runtimes"]}


def other_patch(version):
    """Another patch of the same line: the local PySpark that is near a runtime's but not it."""
    head, _, last = version.rpartition(".")
    return f"{head}.{1 if last != '1' else 2}"


def setUpModule():
    global ws
    ws = support.Workspace()
    rows = table()
    glue = rows["glue-5.0"]["spark"]
    for version in {glue, other_patch(glue)}:
        support.build_pyspark_wheel(ws.wheels, version, ws.marker, class_major=52)
    delta = rows["glue-5.0"]["delta"]
    for version in {delta, other_patch(delta)}:
        support.build_wheel(ws.wheels, "delta-spark", version, {"delta/__init__.py": ""})


def tearDownModule():
    ws.cleanup()


class Runtimes(unittest.TestCase):
    def setUp(self):
        support.require_java(JAVA17)
        self.rows = table()
        self.home = ws.path("home-" + self._testMethodName)
        os.makedirs(self.home, exist_ok=True)

    def plo(self, *args, venv=None):
        env = plo_env(venv or ws.venv, JAVA17, PLO_HOME=self.home, LC_ALL="C.UTF-8")
        return subprocess.run([support.PLO, *args], env=env, capture_output=True, text=True,
                              timeout=300)

    def show(self, name, venv=None):
        result = self.plo("runtimes", "show", name, "--json", venv=venv)
        return result.returncode, json.loads(result.stdout)

    def test_every_platform_with_a_source_per_row(self):
        platforms = {row["platform"] for row in self.rows.values()}
        self.assertEqual(platforms, {"glue", "emr", "dataproc", "databricks", "fabric", "synapse"})
        for row in self.rows.values():
            self.assertTrue(row["source"].startswith("https://"), row["name"])
            self.assertEqual(row["checked"], row["checked"][:10])
        glue = self.plo("runtimes", "--platform", "glue").stdout
        self.assertIn("AWS Glue", glue)
        self.assertNotIn("emr-", glue)

    def test_show_then_use_brings_the_environment_to_the_runtime(self):
        venv = support.Venv(ws.path("venv-use"), ws.wheels)
        glue5, glue4 = self.rows["glue-5.0"], self.rows["glue-4.0"]
        venv.set_pyspark(other_patch(glue5["spark"]))
        code, document = self.show("glue-5.0", venv)
        self.assertEqual(code, 1)
        failing = [row for row in document["rows"] if not row["ok"]]
        self.assertEqual([(r["component"], r["local"], r["runtime"]) for r in failing],
                         [("PySpark", other_patch(glue5["spark"]), glue5["spark"])])
        self.assertEqual(failing[0]["fix"], "plo spark set-version " + glue5["spark"])
        text = self.plo("runtimes", "show", "glue-5.0", venv=venv).stdout
        self.assertEqual(text.count("✗"), 1, text)

        code, document = self.show("glue-4.0", venv)
        self.assertEqual(code, 1)
        self.assertEqual([r["component"] for r in document["rows"] if not r["ok"]],
                         ["PySpark", "Python", "Java"])
        self.assertIn("uv venv --python " + glue4["python"][-1],
                      [r["fix"] for r in document["rows"]])

        used = self.plo("runtimes", "use", "glue-5.0", "--yes", venv=venv)
        self.assertEqual(used.returncode, 0, used.stdout + used.stderr)
        self.assertEqual(venv.installed_pyspark(), glue5["spark"])
        self.assertIn("Pinned Java 17", used.stdout)
        self.assertEqual(self.show("glue-5.0", venv)[0], 0)

    def test_a_runtime_compute_is_matched_from_the_table(self):
        venv = support.Venv(ws.path("venv-compute"), ws.wheels)
        glue = self.rows["glue-5.0"]
        venv.set_pyspark(newest("3.4"))  # another line than the runtime's
        added = self.plo("compute", "add", "etl", "--type", "glue", "--runtime", "glue-5.0")
        self.assertEqual(added.returncode, 0, added.stdout + added.stderr)
        path = os.path.join(self.home, "computes.yml")
        with open(path) as f:
            before = f.read()
        refused = self.plo("compute", "add", "other", "--type", "glue", "--runtime", "glue-9.9")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("Not added", refused.stdout)
        with open(path) as f:
            self.assertEqual(f.read(), before)

        tested = self.plo("compute", "test", "etl", "--json", venv=venv)
        self.assertEqual(json.loads(tested.stdout)["spark_version"], glue["spark"])
        tested = self.plo("compute", "test", "etl", venv=venv)
        self.assertIn("  Nothing was asked: the version above is the one this compute runs\n",
                      tested.stdout)
        self.assertNotIn("Compute answered", tested.stdout)
        document = json.loads(self.plo("spark", "match-cluster", "etl", "--json", venv=venv).stdout)
        self.assertEqual(document["cluster_version"], glue["spark"])
        self.assertEqual(document["runtime"]["name"], "glue-5.0")

        matched = self.plo("spark", "match-cluster", "etl", "--install", "--yes", venv=venv)
        self.assertIn("  Runtime:     " + glue["title"] + "\n", matched.stderr)
        self.assertNotIn("Runtime:", matched.stdout)
        self.assertEqual(matched.returncode, 0, matched.stdout + matched.stderr)
        self.assertEqual(venv.installed_pyspark(), glue["spark"])

    def test_a_project_on_a_runtime_syncs_to_it(self):
        venv = support.Venv(ws.path("venv-project"), ws.wheels)
        glue = self.rows["glue-5.0"]
        venv.set_pyspark(other_patch(glue["spark"]))
        venv.pip("install", "delta-spark==" + other_patch(glue["delta"]))
        folder = ws.path("project")
        os.makedirs(os.path.join(folder, ".git"))
        env = plo_env(venv, JAVA17, PLO_HOME=self.home)

        def plo(*args):
            return subprocess.run([support.PLO, *args], env=env, cwd=folder, capture_output=True,
                                  text=True, timeout=300)

        pinned = plo("pin", "--runtime", "glue-5.0")
        self.assertEqual(pinned.returncode, 0, pinned.stdout + pinned.stderr)
        with open(os.path.join(folder, "pyproject.toml")) as f:
            self.assertEqual(f.read(), '[tool.plo]\nruntime = "glue-5.0"\n')
        drift = plo("spark", "check")
        self.assertEqual(drift.returncode, 1)
        self.assertIn("run 'plo sync'", drift.stdout)

        # The delta-spark move goes through the installer the switch used (uv: pip's own settings
        # would keep plo on pip, so the wheels reach uv through its own).
        env["PATH"] = support.standin_uv(ws.path("uv-bin")) + ":" + env["PATH"]
        env.update(UV_NO_INDEX="1", UV_FIND_LINKS=env.pop("PIP_FIND_LINKS"))
        env.pop("PIP_NO_INDEX")
        synced = plo("-v", "sync", "--yes", "--installer", "uv")
        self.assertEqual(synced.returncode, 0, synced.stdout + synced.stderr[-3000:])
        self.assertRegex(synced.stderr, r"uv pip install --python \S+ --no-deps delta-spark==")
        self.assertEqual(venv.installed_pyspark(), glue["spark"])
        self.assertIn("Pinned Java 17", synced.stdout)
        self.assertIn("delta-spark " + glue["delta"] + " installed", synced.stdout)
        check = plo("spark", "check", "--json")
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        project = json.loads(check.stdout)["project"]
        self.assertEqual((project["runtime"], project["matches"]), ("glue-5.0", True))

        # An explicit key beside the runtime wins, and doctor names the contradiction.
        with open(os.path.join(folder, "pyproject.toml"), "a") as f:
            f.write(f'java = {glue["java"] + 4}\n')
        doctor = json.loads(plo("doctor", "--json").stdout)
        area = next(c for c in doctor["checks"] if c["area"] == "project")
        self.assertTrue(any("differs from AWS Glue 5.0" in d for d in area["details"]), area)

    def test_an_unknown_name_lists_the_closest(self):
        result = self.plo("runtimes", "show", "glue-5.9")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Unknown runtime 'glue-5.9'", result.stdout)
        self.assertIn("glue-5.0", result.stdout)
        self.assertNotIn("emr-", result.stdout)


if __name__ == "__main__":
    unittest.main()
