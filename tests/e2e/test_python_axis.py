"""The interpreter's Python against each PySpark line: check, the set-version menu and warning, and a
PySpark that cannot be imported, over pyenv's interpreters (skipped where one is missing)."""

import json
import os
import shutil
import tempfile
import time
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

# What each line's stand-in does when imported where its real package would fail: 3.3's imports
# distutils, which Python 3.12 removed.
IMPORTS_DISTUTILS = "from distutils.version import LooseVersion\nfrom pyspark.version import __version__\n"

tmp = None
wheels = None
marker = None


def setUpModule():
    global tmp, wheels, marker
    support.require_java(JAVA17)
    tmp = tempfile.mkdtemp(prefix="plo-e2e-python-")
    wheels = os.path.join(tmp, "wheels")
    os.makedirs(wheels)
    marker = f"-Dplo.e2e.standin={os.path.basename(tmp)}"
    # The real packages' python_requires, which pip honours.
    support.build_pyspark_wheel(wheels, newest("4.3"), marker, class_major=61, requires_python=">=3.11")
    support.build_pyspark_wheel(wheels, newest("3.5"), marker, requires_python=">=3.8")
    support.build_pyspark_wheel(wheels, newest("3.3"), marker, requires_python=">=3.7",
                                extra_files={"pyspark/__init__.py": IMPORTS_DISTUTILS})


def tearDownModule():
    if tmp:
        shutil.rmtree(tmp, True)


def venv_of(minor):
    base = support.pyenv_python(minor)
    if not base:
        raise unittest.SkipTest(f"no Python {minor} under ~/.pyenv/versions")
    return support.Venv(os.path.join(tmp, f"venv-{minor}"), wheels, base=base)


def pyspark_folder(version):
    """A folder holding just a pyspark package of `version`, for PYTHONPATH."""
    folder = os.path.join(tmp, f"path-{version}")
    os.makedirs(os.path.join(folder, "pyspark"), exist_ok=True)
    with open(os.path.join(folder, "pyspark", "__init__.py"), "w"):
        pass
    with open(os.path.join(folder, "pyspark", "version.py"), "w") as f:
        f.write(f'__version__: str = "{version}"\n')
    return folder


class Check(unittest.TestCase):
    def test_each_python_against_spark_35(self):
        # 3.5 declares Python 3.8 to 3.11.
        folder = pyspark_folder(newest("3.5"))
        time.sleep(1.5)  # plo keeps no answer whose inputs changed within the last second
        tried = 0
        for minor, fits in (("3.8", True), ("3.9", True), ("3.10", True), ("3.11", True),
                            ("3.12", False), ("3.13", False)):
            python = support.pyenv_python(minor)
            if not python:
                continue
            tried += 1
            env = plo_env(None, JAVA17, PLO_PYTHON=python, PYTHONPATH=folder)
            result = run_plo(["spark", "check", "--json"], env)
            doc = json.loads(result.stdout)
            self.assertTrue(doc["python_version"].startswith(minor + "."), doc)
            self.assertEqual(doc["python_supported"], {"min": "3.8", "max": "3.11"})
            self.assertEqual(doc["python_fits"], fits, minor)
            self.assertEqual(result.returncode, 0 if fits else 1, minor)

            # The same answer again from the cache: no interpreter started for it.
            again = run_plo(["-v", "spark", "check", "--json"], env)
            self.assertIn("from the cache", again.stderr)
            self.assertEqual(json.loads(again.stdout)["python_version"], doc["python_version"])

            text = run_plo(["spark", "check"], env).stdout
            red = f"  Python {minor} is not supported by PySpark 3.5 (Python 3.8 to 3.11)\n"
            if fits:
                self.assertNotIn("Python 3", text)
                self.assertTrue(text.endswith("  Java 17 is compatible with PySpark 3.5\n\n"), text)
            else:
                self.assertIn("  Java 17 is compatible with PySpark 3.5\n\n" + red + "\n"
                              "  Run 'plo spark set-version' to select a version that supports "
                              f"Python {minor}\n\n", text)
        if tried < 2:
            self.skipTest("fewer than two of Pythons 3.8 to 3.13 under ~/.pyenv/versions")

    def test_spark_33_in_python_313(self):
        venv = venv_of("3.13")
        venv.pip("install", "pyspark==" + newest("3.3"))
        result = run_plo(["spark", "check"], plo_env(venv, JAVA17))
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("  Java 17 is compatible with PySpark 3.3\n\n"
                      "  Python 3.13 is not supported by PySpark 3.3 (Python 3.7 to 3.10)\n\n"
                      "  Run 'plo spark set-version' to select a version that supports Python 3.13\n",
                      result.stdout)


class SetVersion(unittest.TestCase):
    def test_menu_mark_and_warning_for_43_in_python_310(self):
        venv = venv_of("3.10")
        venv.set_pyspark(newest("3.5"))
        python = support.subprocess.run(
            [venv.python, "-c", "import platform;print(platform.python_version())"],
            capture_output=True, text=True, check=True).stdout.strip()
        menu = run_plo(["spark", "set-version"], plo_env(venv, JAVA17), stdin=support.menu_entry("4.3") + "\nn\n")
        self.assertEqual(menu.returncode, 1, menu.stdout + menu.stderr)
        out = menu.stdout
        self.assertIn(support.menu_line("4.3") + " [OK] [!py]\n", out)
        self.assertIn(support.menu_line("3.5") + " [OK] * CURRENT\n", out)
        self.assertIn("  [OK] = compatible, [!] = requires different Java\n"
                      f"  [!py] = requires different Python (yours: {python})\n\n", out)
        self.assertIn("\nWarning: PySpark 4.3 requires Python 3.11 or newer\n"
                      f"   Your Python: {python}\n", out)
        self.assertIn("Install anyway? [y/N]: ", out)
        self.assertEqual(venv.installed_pyspark(), newest("3.5"))

        # Told to go on, pip refuses it for this Python, and the old version comes back.
        forced = run_plo(["spark", "set-version", "4.3", "--yes"], plo_env(venv, JAVA17))
        self.assertEqual(forced.returncode, 1, forced.stdout + forced.stderr)
        self.assertIn("Warning: PySpark 4.3 requires Python 3.11 or newer\n", forced.stdout)
        self.assertIn(f"Failed to install PySpark {newest('4.3')}\n", forced.stdout)
        self.assertIn(f"Restored PySpark {newest('3.5')}\n", forced.stdout)
        self.assertEqual(venv.installed_pyspark(), newest("3.5"))

    def test_import_failure_is_rolled_back(self):
        venv = venv_of("3.13")
        venv.set_pyspark(newest("3.5"))
        result = run_plo(["spark", "set-version", newest("3.3")], plo_env(venv, JAVA17), stdin="y\n\n")
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        out = result.stdout
        self.assertIn("Warning: PySpark 3.3 supports Python up to 3.10\n", out)
        self.assertIn(f"\nPySpark {newest('3.3')} cannot be imported: ModuleNotFoundError: No module named "
                      "'distutils'\n\n   PySpark 3.3 runs on Python 3.7 to 3.10; yours is 3.13", out)
        self.assertIn(f"Rollback to PySpark {newest('3.5')}? [Y/n]: ", out)
        self.assertIn(f"Restored PySpark {newest('3.5')}\n", out)
        self.assertNotIn("installed successfully", out)
        self.assertEqual(venv.installed_pyspark(), newest("3.5"))
        self.assertEqual(support.imported_pyspark(venv.python), newest("3.5"))


if __name__ == "__main__":
    unittest.main()
