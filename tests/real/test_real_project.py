"""A uv project whose .venv is not activated, as `uv run` users keep it: set-version changes
pyproject.toml and uv.lock through the real uv so that `uv sync` keeps the switch, a failing smoke
test puts both files back byte for byte, and --no-project changes only the environment."""

import os
import subprocess
import unittest

import real
from real import JAVA17, SPARK3, SPARK4


class RealUvProject(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not real.support.has_java(JAVA17):
            raise unittest.SkipTest(f"no Java at {JAVA17}")
        cls.uv = real.uv()
        cls.path = os.path.dirname(cls.uv) + ":/usr/bin:/bin"
        cls.project = os.path.join(real.ROOT, "uv-project")
        os.makedirs(cls.project)
        cls.uv_run("init", "--bare", "--no-workspace", "--name", "proj")
        cls.uv_run("add", "--quiet", f"pyspark=={SPARK4}")

    @classmethod
    def uv_run(cls, *args):
        env = dict(real.pip_env(), PATH=cls.path, UV_PYTHON=real.support.BASE_PYTHON)
        return subprocess.run([cls.uv, *args], cwd=cls.project, env=env, check=True,
                              capture_output=True, text=True)

    def files(self):
        found = {}
        for name in ("pyproject.toml", "uv.lock"):
            with open(os.path.join(self.project, name), "rb") as f:
                found[name] = f.read()
        return found

    def switch(self, version, java, *flags):
        env = real.plo_env(None, java, path=self.path)
        env.pop("VIRTUAL_ENV", None)
        return subprocess.run([real.support.PLO, "spark", "set-version", version, "--yes", *flags],
                              cwd=self.project, env=env, capture_output=True, text=True,
                              timeout=900)

    def imported(self):
        return self.uv_run("run", "--quiet", "python", "-c",
                           "import pyspark;print(pyspark.__version__)").stdout.strip()

    def test_the_project_follows_the_switch_or_stays_byte_for_byte(self):
        before = self.files()
        with self.subTest("a Java error puts both files back"):
            done = self.switch(SPARK3, real.java25_home())
            self.assertNotEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn("Java compatibility error", done.stdout)
            self.assertIn("pyproject.toml and uv.lock are back as they were", done.stderr)
            self.assertEqual(self.files(), before)
            self.assertEqual(self.imported(), SPARK4)

        with self.subTest("uv sync and uv run keep the switch"):
            done = self.switch(SPARK3, JAVA17)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn("from project .venv", done.stderr)
            self.assertIn(f"pyspark=={SPARK3}", self.files()["pyproject.toml"].decode())
            self.assertIn(f'version = "{SPARK3}"', self.files()["uv.lock"].decode())
            self.uv_run("sync", "--quiet")
            self.assertEqual(self.imported(), SPARK3)

        with self.subTest("--no-project warns that uv will undo it"):
            before = self.files()
            done = self.switch(SPARK4, JAVA17, "--no-project")
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn("Warning: --no-project leaves pyproject.toml and uv.lock as they are: "
                          "the next uv sync or uv run puts the old PySpark back", done.stderr)
            self.assertEqual(self.files(), before)


if __name__ == "__main__":
    unittest.main()
