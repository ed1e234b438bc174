"""plo keeps what the interpreter answered: whatever changes between two runs, the answer it uses
must be the one asking would give (PLO_NO_CACHE=1)."""

import os
import shutil
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


def spark_dist(name, version):
    """A folder holding a pyspark package, as a Spark distribution's python/ folder does."""
    folder = ws.path(name)
    os.makedirs(os.path.join(folder, "pyspark"), exist_ok=True)
    with open(os.path.join(folder, "pyspark", "__init__.py"), "w"):
        pass
    with open(os.path.join(folder, "pyspark", "version.py"), "w") as f:
        f.write(f'__version__: str = "{version}"\n')
    return folder


def site_packages(venv):
    return [os.path.join(root, d) for root, dirs, _ in os.walk(venv.root) for d in dirs
            if d == "site-packages"][0]


def version_shown(out):
    for line in out.splitlines():
        if line.startswith("  Version:       "):
            return line.split()[-1]
    return None


class Cache(unittest.TestCase):
    def setUp(self):
        self.cache = ws.path("cache-" + self._testMethodName)
        ws.venv.set_pyspark(newest("3.5"))
        for leftover in ("plo.pth",):
            path = os.path.join(site_packages(ws.venv), leftover)
            if os.path.exists(path):
                os.remove(path)

    def env(self, venv=None, **extra):
        return plo_env(venv or ws.venv, JAVA17, XDG_CACHE_HOME=self.cache, **extra)

    def check(self, env):
        result = run_plo(["spark", "check"], env)
        # Without PySpark, check names the interpreter it asked; nothing else goes there.
        self.assertIn(result.stderr, ("", f"PySpark was looked for with {env['PLO_PYTHON']}\n"))
        return result.stdout

    def cache_file(self):
        folder = os.path.join(self.cache, "plo")
        files = os.listdir(folder)
        self.assertEqual(len(files), 1, files)
        return os.path.join(folder, files[0])

    def primed(self, env):
        """Runs plo twice: the first keeps the answer, the second uses it (its file stays as it
        was). Answers whose inputs changed within the last second are not kept: wait that out."""
        time.sleep(1.2)
        first = self.check(env)
        kept = os.stat(self.cache_file())
        self.assertEqual(self.check(env), first)
        again = os.stat(self.cache_file())
        self.assertEqual((kept.st_ino, kept.st_mtime_ns), (again.st_ino, again.st_mtime_ns))
        return first

    def assert_as_if_asked(self, env):
        cached = self.check(env)
        env = dict(env, PLO_NO_CACHE="1")
        self.assertEqual(cached, self.check(env))
        return version_shown(cached)

    def test_pip_installs_and_removes_behind_plos_back(self):
        env = self.env()
        self.assertEqual(version_shown(self.primed(env)), newest("3.5"))
        ws.venv.set_pyspark(newest("4.1"))
        self.assertEqual(self.assert_as_if_asked(env), newest("4.1"))
        ws.venv.set_pyspark(None)
        self.assertIsNone(self.assert_as_if_asked(env))

    def test_a_pth_file_appears_and_changes(self):
        ws.venv.set_pyspark(None)
        empty = ws.path("dist-a")
        os.makedirs(empty, exist_ok=True)
        dist = spark_dist("dist-b", "4.1.1")
        env = self.env()
        self.assertIsNone(version_shown(self.primed(env)))
        pth = os.path.join(site_packages(ws.venv), "plo.pth")
        with open(pth, "w") as f:
            f.write(empty + "\n")
        self.assertIsNone(self.assert_as_if_asked(env))
        self.primed(env)
        with open(pth, "r+") as f:  # in place: the folder itself does not change
            f.write(dist + "\n")
        self.assertEqual(self.assert_as_if_asked(env), "4.1.1")

    def test_sitecustomize_that_extends_the_path(self):
        # Debian's python3 has a sitecustomize of its own in the stdlib folder: a folder on
        # PYTHONPATH comes first.
        ws.venv.set_pyspark(None)
        dist = spark_dist("dist-c", "4.0.1")
        hooks = ws.path("hooks")
        os.makedirs(hooks, exist_ok=True)
        custom = os.path.join(hooks, "sitecustomize.py")
        with open(custom, "w") as f:
            f.write("import sys\n")
        env = self.env(PYTHONPATH=hooks, PYTHONDONTWRITEBYTECODE="1")
        self.assertIsNone(version_shown(self.primed(env)))
        with open(custom, "a") as f:
            f.write(f"sys.path.insert(0, {dist!r})\n")
        self.assertEqual(self.assert_as_if_asked(env), "4.0.1")

    def test_pythonpath_names_a_spark_distribution(self):
        dist = spark_dist("spark-4.1.1-bin/python", "4.1.1")
        self.primed(self.env())
        self.assertEqual(self.assert_as_if_asked(self.env(PYTHONPATH=dist)), "4.1.1")
        self.assertEqual(self.assert_as_if_asked(self.env()), newest("3.5"))
        self.assertEqual(self.assert_as_if_asked(self.env(PYTHONNOUSERSITE="1")), newest("3.5"))

    def test_venv_recreated_at_the_same_path(self):
        venv = support.Venv(ws.path("venv-again"), ws.wheels, with_pip=False)
        with open(os.path.join(site_packages(venv), "old.pth"), "w") as f:
            f.write(spark_dist("dist-d", "4.1.1") + "\n")
        env = self.env(venv)
        self.assertEqual(version_shown(self.primed(env)), "4.1.1")
        shutil.rmtree(venv.root)
        venv = support.Venv(venv.root, ws.wheels, with_pip=False)
        self.assertIsNone(self.assert_as_if_asked(env))

    def test_the_file_is_consulted_and_unfit_files_are_not(self):
        ws.venv.set_pyspark(None)
        dist = spark_dist("dist-e", "4.1.1")
        env = self.env()
        self.assertIsNone(version_shown(self.primed(env)))
        with open(self.cache_file(), "rb") as f:
            real = f.read()
        # The same file with the site folder swapped for one that holds pyspark: plo trusts it.
        site = os.fsencode(site_packages(ws.venv))
        forged = real.replace(b"path\0" + site + b"\0", b"path\0" + os.fsencode(dist) + b"\0")
        self.assertNotEqual(forged, real)

        def plant(data, mode=0o600, owner=None):
            path = self.cache_file()
            with open(path, "wb") as f:
                f.write(data)
            os.chmod(path, mode)
            if owner is not None:
                os.chown(path, owner, owner)

        plant(forged)
        self.assertEqual(version_shown(self.check(env)), "4.1.1")
        header = forged.split(b"\0")[1]
        spoiled = {
            "cut short": forged[:len(forged) // 2],
            "last byte lost": forged[:-1],
            "empty": b"",
            "another plo version": forged.replace(b"\0" + header + b"\0", b"\0" + b"0.0.1" + b"\0", 1),
        }
        for what, data in spoiled.items():
            plant(data)
            self.assertIsNone(self.assert_as_if_asked(env), what)
        if os.geteuid() == 0:
            plant(forged, owner=65534)
            self.assertIsNone(self.assert_as_if_asked(env), "another user's")
        else:
            plant(forged, mode=0)
            self.assertIsNone(self.assert_as_if_asked(env), "unreadable")

    def test_no_cache_writes_nothing(self):
        self.check(self.env(PLO_NO_CACHE="1"))
        self.assertFalse(os.path.exists(os.path.join(self.cache, "plo")))


if __name__ == "__main__":
    unittest.main()
