"""set-version with the real uv in a venv that `uv venv` made without pip, and the PEP 668 refusal
against Debian's own Python."""

import os
import subprocess
import unittest

import real
from real import JAVA17, SPARK3, SPARK4

SYSTEM_PYTHON = "/usr/bin/python3"


class RealUv(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not real.support.has_java(JAVA17):
            raise unittest.SkipTest(f"no Java at {JAVA17}")
        cls.uv = real.uv()
        cls.venv = os.path.join(real.ROOT, "uv-venv")
        subprocess.run([cls.uv, "venv", "--quiet", "--python", SYSTEM_PYTHON, cls.venv],
                       env=real.pip_env(), check=True)
        cls.python = os.path.join(cls.venv, "bin", "python")
        subprocess.run([cls.uv, "pip", "install", "--quiet", "--python", cls.python,
                        f"pyspark=={SPARK3}"], env=real.pip_env(), check=True)

    def installed(self):
        return real.support.imported_pyspark(self.python)

    def test_set_version_through_uv_pip_and_back(self):
        no_pip = subprocess.run([self.python, "-m", "pip", "--version"], capture_output=True)
        self.assertNotEqual(no_pip.returncode, 0, "uv venv made a venv with pip")
        env = real.plo_env(self.python, JAVA17,
                           path=os.path.dirname(self.uv) + ":/usr/bin:/bin")
        for version in (SPARK4, SPARK3):
            with self.subTest(version):
                done = real.plo(["spark", "set-version", version, "--yes"], env)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                self.assertIn(f"PySpark {version} installed successfully\n"
                              "  Java compatibility verified\n", done.stdout)
                self.assertEqual(self.installed(), version)


class RealInstallerChoice(unittest.TestCase):
    """--installer uv in a venv that has pip: the real uv installs, unless pip's own settings say
    where packages come from (uv would not read them)."""

    @classmethod
    def setUpClass(cls):
        if not real.support.has_java(JAVA17):
            raise unittest.SkipTest(f"no Java at {JAVA17}")
        cls.uv = real.uv()
        cls.venv = real.new_venv("uv-asked", SPARK3)

    def switch(self, version, **extra):
        env = real.plo_env(self.venv.python, JAVA17,
                           path=os.path.dirname(self.uv) + ":/usr/bin:/bin", **extra)
        for name in ("PIP_NO_INDEX", "PIP_FIND_LINKS"):
            if name not in extra:
                env.pop(name)
        done = real.plo(["-v", "spark", "set-version", version, "--yes", "--installer", "uv"], env)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn(f"PySpark {version} installed successfully\n  Java compatibility verified\n",
                      done.stdout)
        self.assertEqual(self.venv.installed_pyspark(), version)
        return done.stderr

    def test_uv_when_asked_pip_when_pips_settings_would_be_lost(self):
        self.assertRegex(self.switch(SPARK4), r"plo: running \S*/uv pip install --python ")
        stderr = self.switch(SPARK3, PIP_NO_INDEX="1", PIP_FIND_LINKS=real.WHEELS)
        self.assertIn("plo: using pip, not uv (asked by --installer): uv would ignore pip's settings",
                      stderr)
        self.assertRegex(stderr, r"plo: running \S+ -m pip install ")


class RealExternallyManaged(unittest.TestCase):
    def test_debian_python_refused(self):
        if not os.access(SYSTEM_PYTHON, os.X_OK):
            self.skipTest(f"no {SYSTEM_PYTHON}")
        stdlib = subprocess.run([SYSTEM_PYTHON, "-c", "import sysconfig;print(sysconfig.get_path('stdlib'))"],
                                capture_output=True, text=True, check=True).stdout.strip()
        if not os.path.exists(os.path.join(stdlib, "EXTERNALLY-MANAGED")):
            self.skipTest(f"{SYSTEM_PYTHON} is not marked externally managed")
        before = real.support.imported_pyspark(SYSTEM_PYTHON)
        env = real.plo_env(SYSTEM_PYTHON, JAVA17)
        done = real.plo(["spark", "set-version", SPARK3, "--yes"], env, timeout=120)
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn("externally managed (PEP 668)", done.stdout + done.stderr)
        self.assertNotIn("Uninstalling", done.stdout)
        self.assertEqual(real.support.imported_pyspark(SYSTEM_PYTHON), before)
        # Debian's pip refuses for the same reason plo gives.
        has_pip = subprocess.run([SYSTEM_PYTHON, "-m", "pip", "--version"], capture_output=True)
        if has_pip.returncode == 0:
            pip = subprocess.run([SYSTEM_PYTHON, "-m", "pip", "install", "--dry-run",
                                  f"pyspark=={SPARK3}"], env=real.pip_env(),
                                 capture_output=True, text=True)
            self.assertEqual(pip.returncode, 1)
            self.assertIn("externally-managed-environment", pip.stdout + pip.stderr)


if __name__ == "__main__":
    unittest.main()
