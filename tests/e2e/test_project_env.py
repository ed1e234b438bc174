"""The project's environment found as `uv pip` finds it (an un-activated .venv), told on standard
error and in JSON; the project's own PySpark pins against [tool.plo] and the installed PySpark."""

import json
import os
import subprocess
import tempfile
import unittest

import support
from support import JAVA17, newest, plo_env, write

ws = None


def setUpModule():
    global ws
    support.require_java(JAVA17)
    ws = support.Workspace()


def tearDownModule():
    ws.cleanup()


def plo(args, cwd, **extra):
    """plo run from `cwd` with no interpreter named: neither PLO_PYTHON nor VIRTUAL_ENV."""
    env = plo_env(None, JAVA17)
    env.update(support.pip_env(ws.wheels))
    env.update(extra)
    env["XDG_CACHE_HOME"] = support.CACHE_HOME
    return subprocess.run([support.PLO, *args], env=env, cwd=cwd, capture_output=True, text=True,
                          timeout=300)


class ProjectVenv(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.project = ws.path("proj")
        write(os.path.join(cls.project, "pyproject.toml"), "[project]\nname = \"proj\"\n")
        os.makedirs(os.path.join(cls.project, "src", "jobs"))
        cls.venv = support.Venv(os.path.join(cls.project, ".venv"), ws.wheels)
        cls.venv.set_pyspark(newest("3.5"))

    def test_found_from_the_project_and_a_subfolder(self):
        python = os.path.join(self.project, ".venv", "bin", "python")
        source = f"project .venv ({self.project}/pyproject.toml)"
        for cwd in (self.project, os.path.join(self.project, "src", "jobs")):
            result = plo(["spark", "check", "--json"], cwd)
            document = json.loads(result.stdout)
            self.assertEqual(document["interpreter"], python, cwd)
            self.assertEqual(document["interpreter_source"], source)
            self.assertEqual(document["pyspark"]["version"], newest("3.5"))
            self.assertIn(f"Interpreter: {python}, from {source}\n", result.stderr)
        # -q keeps standard error to what went wrong.
        result = plo(["-q", "spark", "check"], self.project)
        self.assertNotIn("Interpreter:", result.stderr)

    def test_a_change_lands_in_it_without_system(self):
        result = plo(["spark", "set-version", newest("4.1"), "--yes", "--json"],
                     os.path.join(self.project, "src"))
        document = json.loads(result.stdout)
        self.assertEqual(document["outcome"], "installed", result.stderr)
        self.assertEqual(document["interpreter_source"],
                         f"project .venv ({self.project}/pyproject.toml)")
        self.assertEqual(self.venv.installed_pyspark(), newest("4.1"))
        self.venv.set_pyspark(newest("3.5"))


class ProjectToolMissing(unittest.TestCase):
    def test_refused_before_any_change_unless_no_project(self):
        project = ws.path("poetry-proj")
        pyproject = (f"[tool.poetry]\nname = \"p\"\n[tool.poetry.dependencies]\n"
                     f"pyspark = \"{newest('3.5')}\"\n")
        lock = f"[[package]]\nname = \"pyspark\"\nversion = \"{newest('3.5')}\"\n"
        write(os.path.join(project, "pyproject.toml"), pyproject)
        write(os.path.join(project, "poetry.lock"), lock)
        venv = support.Venv(os.path.join(project, ".venv"), ws.wheels)
        venv.set_pyspark(newest("3.5"))
        result = plo(["spark", "set-version", newest("4.1"), "--yes"], project)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("poetry is not on PATH", result.stdout + result.stderr)
        self.assertIn(f"poetry add --lock --directory={project} pyspark=={newest('4.1')}",
                      result.stdout + result.stderr)
        self.assertEqual(venv.installed_pyspark(), newest("3.5"))

        result = plo(["spark", "set-version", newest("4.1"), "--yes", "--no-project"], project)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Warning: --no-project leaves pyproject.toml and poetry.lock as they are: "
                      "the next poetry install puts the old PySpark back", result.stderr)
        self.assertEqual(venv.installed_pyspark(), newest("4.1"))
        with open(os.path.join(project, "pyproject.toml")) as f:
            self.assertEqual(f.read(), pyproject)


class ProjectToolFails(unittest.TestCase):
    def test_a_failing_uv_leaves_both_files_byte_for_byte_and_pyspark_as_it_was(self):
        project = ws.path("uv-fails")
        pyproject = f"[project]\nname = \"p\"\ndependencies = [\"pyspark=={newest('3.5')}\"]\n"
        lock = f"version = 1\n[[package]]\nname = \"pyspark\"\nversion = \"{newest('3.5')}\"\n"
        write(os.path.join(project, "pyproject.toml"), pyproject)
        write(os.path.join(project, "uv.lock"), lock)
        venv = support.Venv(os.path.join(project, ".venv"), ws.wheels)
        venv.set_pyspark(newest("3.5"))
        # A uv that scribbles over both files, then finds no solution.
        tools = ws.path("uv-fails-bin")
        write(os.path.join(tools, "uv"),
              "#!/bin/sh\nfor a in \"$@\"; do case $a in --directory=*) d=${a#--directory=};; esac; done\n"
              "echo half > \"$d/pyproject.toml\"; echo half > \"$d/uv.lock\"\n"
              "echo 'error: No solution found when resolving dependencies' >&2; exit 1\n", 0o755)
        result = plo(["spark", "set-version", newest("4.1"), "--yes"], project,
                     PATH=f"{tools}:/usr/bin:/bin")
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("error: No solution found when resolving dependencies", result.stderr)
        self.assertIn("pyproject.toml and uv.lock are back as they were", result.stderr)
        for name, text in (("pyproject.toml", pyproject), ("uv.lock", lock)):
            with open(os.path.join(project, name)) as f:
                self.assertEqual(f.read(), text)
        self.assertEqual(venv.installed_pyspark(), newest("3.5"))


class GlobalInterpreter(unittest.TestCase):
    def test_refused_without_system_where_no_project_is_around(self):
        with tempfile.TemporaryDirectory(prefix="plo-e2e-noproject-") as folder:
            before = support.imported_pyspark("/usr/bin/python3")
            result = plo(["-q", "spark", "set-version", newest("3.5"), "--yes"], folder)
            self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
            self.assertRegex(result.stdout + result.stderr,
                             r"/usr/bin/python3 (is not a virtual or conda environment|"
                             r"is externally managed)")
            self.assertEqual(support.imported_pyspark("/usr/bin/python3"), before)
            document = json.loads(plo(["spark", "check", "--json"], folder).stdout)
            self.assertEqual(document["interpreter_source"], "PATH")


class ProjectPins(unittest.TestCase):
    """[tool.plo] asks for one line, the project's requirement and uv.lock for another."""

    @classmethod
    def setUpClass(cls):
        cls.project = ws.path("pinned")
        os.makedirs(cls.project)
        cls.venv = support.Venv(os.path.join(cls.project, ".venv"), ws.wheels)
        cls.venv.set_pyspark(newest("3.5"))

    def write_project(self, dependencies):
        write(os.path.join(self.project, "pyproject.toml"),
              "[project]\nname = \"pinned\"\nversion = \"0\"\n"
              f"dependencies = [{dependencies}]\n\n[tool.plo]\npyspark = \"4.1\"\njava = 17\n")
        write(os.path.join(self.project, "uv.lock"),
              "version = 1\n\n[[package]]\nname = \"pyspark\"\n"
              f"version = \"{newest('3.5')}\"\n")

    def test_a_contradiction_in_check_doctor_and_sync(self):
        self.write_project("\"numpy\"")
        os.remove(os.path.join(self.project, "uv.lock"))
        plain = plo(["spark", "check"], self.project)
        self.write_project(f"\"pyspark=={newest('3.5')}\"")
        result = plo(["spark", "check"], self.project)
        self.assertEqual(result.stdout, plain.stdout)  # standard output as it was
        self.assertIn(f"{self.project}/pyproject.toml:4 ([project].dependencies): "
                      f"pyspark=={newest('3.5')} contradicts [tool.plo] pyspark = \"4.1\". "
                      f"Fix: uv add \"pyspark=={newest('4.1')}\", or plo pin --pyspark "
                      f"{newest('3.5')}\n", result.stderr)
        project = json.loads(plo(["spark", "check", "--json"], self.project).stdout)["project"]
        self.assertEqual(project["pyspark"], "4.1")
        self.assertEqual([(c["file"], c["line"]) for c in project["pin_conflicts"]],
                         [(f"{self.project}/pyproject.toml", 4), (f"{self.project}/uv.lock", 5)])

        result = plo(["doctor"], self.project)
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stdout, r"\[(✗|x)\] pyproject.toml: ")
        self.assertIn(f"      Fix: uv add \"pyspark=={newest('4.1')}\", or plo pin --pyspark "
                      f"{newest('3.5')}\n", result.stdout)

        result = plo(["sync", "--yes"], self.project)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Nothing changed: make them agree", result.stdout)
        self.assertEqual(self.venv.installed_pyspark(), newest("3.5"))

        result = plo(["pin", "--pyspark", "4.1"], self.project)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"Change both: uv add \"pyspark=={newest('4.1')}\", then plo pin --pyspark 4.1",
                      result.stdout)


if __name__ == "__main__":
    unittest.main()
