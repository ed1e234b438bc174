"""Every way PySpark is installed: the Spark Connect client, pyspark-connect, databricks-connect
(alone and beside pyspark), and a SPARK_HOME naming another Spark; real venvs and pip with
stand-in wheels laid out as the real packages are."""

import json
import os
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

ws = None


def setUpModule():
    global ws
    ws = support.Workspace()
    for version in (newest("4.0"), newest("4.1")):
        support.build_client_wheel(ws.wheels, version)
    support.build_connect_wheel(ws.wheels, newest("4.1"))
    support.build_databricks_connect_wheel(ws.wheels, "15.4.3", "3.5.0", ws.marker)
    # A folder without java: what a machine with no JDK has on PATH.
    os.makedirs(ws.path("no-java-bin"))


def tearDownModule():
    ws.cleanup()


def fresh_venv(name, *requirements):
    venv = support.Venv(ws.path(name), ws.wheels)
    if requirements:
        venv.pip("install", *requirements)
    return venv


def no_java_env(venv, **extra):
    return plo_env(venv, path=ws.path("no-java-bin"), **extra)


def spark_distribution(name, version):
    """A Spark unpacked as Apache ships it: RELEASE, bin/spark-submit, jars/."""
    home = ws.path(name)
    os.makedirs(os.path.join(home, "bin"))
    os.makedirs(os.path.join(home, "jars"))
    with open(os.path.join(home, "RELEASE"), "w") as f:
        f.write(f"Spark {version} built for Hadoop 3.3.4\nBuild flags: -B -Pyarn\n")
    script = os.path.join(home, "bin", "spark-submit")
    with open(script, "w") as f:
        f.write("#!/bin/sh\nexit 1\n")
    os.chmod(script, 0o755)
    return home


class SparkConnectClient(unittest.TestCase):
    def test_client_needs_no_java_and_set_version_keeps_it(self):
        venv = fresh_venv("client-venv", f"pyspark-client=={newest('4.1')}")
        result = run_plo(["spark", "check"], no_java_env(venv))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"  Package:       pyspark-client {newest('4.1')} (Spark Connect client only)\n"
                      "\nJava Compatibility\n" + "-" * 40 + "\n"
                      "  Spark Connect client: no local Java needed\n\n", result.stdout)
        self.assertNotIn("Java not found!", result.stdout)

        doc = json.loads(run_plo(["spark", "check", "--json"], no_java_env(venv)).stdout)
        self.assertEqual((doc["pyspark"]["distribution"], doc["pyspark"]["flavour"],
                          doc["java_needed"], doc["java"]), ("pyspark-client", "client", False, None))

        result = run_plo(["spark", "set-version", newest("4.0"), "--yes"], no_java_env(venv))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"  Installing PySpark {newest('4.0')}...\n", result.stdout)
        self.assertIn(f"PySpark {newest('4.0')} installed successfully\n"
                      "  Import verified (Spark Connect client: no local Java needed)\n", result.stdout)
        self.assertNotIn("Testing PySpark + Java", result.stdout)
        shown = venv.pip("show", "pyspark-client").stdout
        self.assertIn(f"Version: {newest('4.0')}", shown)
        self.assertIsNone(venv.installed_pyspark())  # no classic pyspark crept in
        self.assertEqual(support.imported_pyspark(venv.python), newest("4.0"))

        # A version the index does not have: the client that was there comes back.
        result = run_plo(["spark", "set-version", newest("4.2"), "--yes"], no_java_env(venv))
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"Failed to install PySpark {newest('4.2')}\n", result.stdout)
        self.assertIn(f"Restored PySpark {newest('4.0')}\n", result.stdout)
        self.assertIn(f"Version: {newest('4.0')}", venv.pip("show", "pyspark-client").stdout)
        self.assertEqual(support.imported_pyspark(venv.python), newest("4.0"))

        # pyspark-client starts at 4.0: plo says so and changes nothing.
        result = run_plo(["spark", "set-version", newest("3.5"), "--yes"], no_java_env(venv))
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"there is no pyspark-client {newest('3.5')}", result.stdout)
        self.assertEqual(support.imported_pyspark(venv.python), newest("4.0"))


class PySparkConnect(unittest.TestCase):
    def test_connect_marker_over_pyspark_is_classic(self):
        support.require_java(JAVA17)
        venv = fresh_venv("connect-venv", f"pyspark-connect=={newest('4.1')}")  # pulls pyspark of its version
        result = run_plo(["spark", "check"], plo_env(venv, JAVA17))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  Recommended:   Java 17\n"
                      f"  Package:       pyspark-connect {newest('4.1')} (Spark Connect by default, over pyspark)\n",
                      result.stdout)
        self.assertIn("  Java 17 is compatible with PySpark 4.1\n", result.stdout)
        doc = json.loads(run_plo(["spark", "check", "--json"], plo_env(venv, JAVA17)).stdout)
        self.assertEqual((doc["pyspark"]["distribution"], doc["pyspark"]["flavour"]),
                         ("pyspark", "connect"))


class DatabricksConnect(unittest.TestCase):
    def test_databricks_connect_alone(self):
        venv = fresh_venv("databricks-venv", "databricks-connect==15.4.3")
        result = run_plo(["spark", "check"], no_java_env(venv))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  Version:       3.5.0\n", result.stdout)
        self.assertIn("  Package:       Databricks Connect 15.4.3 (Spark 3.5)\n", result.stdout)
        self.assertIn("  Databricks Connect (a Spark Connect client): no local Java needed\n",
                      result.stdout)
        doc = json.loads(run_plo(["spark", "check", "--json"], no_java_env(venv)).stdout)
        self.assertEqual(doc["databricks_connect"],
                         {"version": "15.4.3", "runtime": "15.4", "spark_version": "3.5.0"})

        # set-version does not lay pyspark over it, and says how to switch.
        result = run_plo(["spark", "set-version", newest("3.5"), "--yes"], plo_env(venv, JAVA17))
        self.assertEqual(result.returncode, 1)
        self.assertIn("databricks-connect 15.4.3 provides pyspark here: plo does not install "
                      "pyspark over it\n", result.stdout)
        self.assertIn("     pip uninstall -y databricks-connect pyspark\n", result.stdout)
        self.assertIn("     pip install \"databricks-connect==16.4.*\"\n", result.stdout)
        self.assertNotIn("Installing PySpark", result.stdout)
        self.assertIsNone(venv.installed_pyspark())
        self.assertIn("Version: 15.4.3", venv.pip("show", "databricks-connect").stdout)

    def test_pyspark_beside_databricks_connect_is_an_error(self):
        support.require_java(JAVA17)
        venv = fresh_venv("both-venv", f"pyspark=={newest('3.5')}")
        venv.pip("install", "databricks-connect==15.4.3")  # pip lets it overwrite pyspark's files
        result = run_plo(["spark", "check"], plo_env(venv, JAVA17))
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn(f"  databricks-connect 15.4.3 and pyspark {newest('3.5')} are installed together: they "
                      "overwrite each other's pyspark package\n"
                      "  Databricks says databricks-connect and pyspark are mutually exclusive.\n"
                      "  Keep one: run 'pip uninstall -y databricks-connect pyspark', then one of:\n"
                      "    pip install \"databricks-connect==15.4.*\"\n"
                      f"    pip install pyspark=={newest('3.5')}\n\n", result.stdout)
        doc = json.loads(run_plo(["spark", "check", "--json"], plo_env(venv, JAVA17)).stdout)
        self.assertEqual(doc["conflicts"], [{"name": "databricks-connect", "version": "15.4.3"},
                                            {"name": "pyspark", "version": newest("3.5")}])


class SparkHome(unittest.TestCase):
    def check(self, spark_home):
        support.require_java(JAVA17)
        ws.venv.set_pyspark(newest("3.5"))
        return run_plo(["spark", "check"], plo_env(ws.venv, JAVA17, SPARK_HOME=spark_home))

    def test_spark_home_of_another_version(self):
        home = spark_distribution("spark-3.3.2", "3.3.2")
        result = self.check(home)
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith(
            "  Java 17 is compatible with PySpark 3.5\n\n"
            f"  SPARK_HOME is {home} (Spark 3.3.2): PySpark {newest('3.5')} will launch that Spark, not its own\n"
            f"  Unset SPARK_HOME (PySpark then launches its own Spark), or point it at Spark {newest('3.5')}\n\n"),
            result.stdout)


if __name__ == "__main__":
    unittest.main()
