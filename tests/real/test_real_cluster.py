"""match-cluster and compute test against real standalone clusters (a master and a worker) started
from the newest 3.5 and the newest 4.x package's jars, each on a loopback address of its own: plo
asks a master's web UI on 8080 and its REST server on 6066."""

import re
import unittest

import real
from real import JAVA17, SPARK3, SPARK4

MASTER3 = "127.0.17.3"   # REST off by default up to 4.0: the web UI tells the version
MASTER4 = "127.0.17.4"   # REST on by default from 4.1
urls = {}
client = None


def setUpModule():
    global client
    if not real.support.has_java(JAVA17):
        raise unittest.SkipTest(f"no Java at {JAVA17}")
    try:
        urls[SPARK3] = real.start_standalone(SPARK3, MASTER3)
        urls[SPARK4] = real.start_standalone(SPARK4, MASTER4)
    except BaseException:
        real.stop_all()
        raise
    real.write_computes(f"""computes:
  spark3:
    config:
      master: {urls[SPARK3]}
  spark4:
    type: spark
    config:
      master: {urls[SPARK4]}
""")
    client = real.new_venv("cluster-client", SPARK4)


def tearDownModule():
    real.stop_all()


class RealCluster(unittest.TestCase):
    def env(self):
        return real.plo_env(client.python, JAVA17)

    def test_1_match_cluster_reads_both_versions(self):
        client.set_pyspark(SPARK4)
        for name, version, matches in (("spark3", SPARK3, False), ("spark4", SPARK4, True)):
            with self.subTest(name):
                done, doc = real.plo_json(["spark", "match-cluster", name, "--json"], self.env())
                self.assertEqual(done.returncode, 0 if matches else 1, done.stdout + done.stderr)
                self.assertEqual(doc["cluster_version"], version)
                self.assertIs(doc["match"], matches)
                if not matches:
                    self.assertEqual(doc["recommendation"], real.major_minor(version) + ".x")
                text = real.plo(["spark", "match-cluster", name], self.env(), timeout=60)
                self.assertIn(f"Spark {version}", text.stdout)

    def test_2_compute_test_text_and_json(self):
        client.set_pyspark(SPARK4)
        for name, address, version, rest in (("spark3", MASTER3, SPARK3, False),
                                             ("spark4", MASTER4, SPARK4, True)):
            with self.subTest(name):
                text = real.plo(["compute", "test", name], self.env(), timeout=60)
                self.assertEqual(text.returncode, 0, text.stdout + text.stderr)
                self.assertRegex(text.stdout, r"Status: ALIVE, 1 alive workers?, 1 cores?")
                source = "REST 6066" if rest else "web UI 8080"
                self.assertRegex(text.stdout, rf"Spark: {re.escape(version)} \({source}\)")
                done, doc = real.plo_json(["compute", "test", name, "--json"], self.env())
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                self.assertEqual((doc["reachable"], doc["spark_version"]), (True, version))
                self.assertIs(doc["match"], version == SPARK4)
                endpoint, = doc["endpoints"]
                self.assertEqual((endpoint["status"], endpoint["spark_version"]), ("ALIVE", version))
                self.assertIsNone(endpoint["error"])

    def test_3_match_cluster_install(self):
        client.set_pyspark(SPARK4)
        for name, version in (("spark3", SPARK3), ("spark4", SPARK4)):
            with self.subTest(name):
                done = real.plo(["spark", "match-cluster", name, "--install", "--yes"], self.env())
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                self.assertIn(f"PySpark {version} installed successfully\n"
                              "  Java compatibility verified\n", done.stdout)
                self.assertEqual(client.installed_pyspark(), version)
                again = real.plo(["spark", "match-cluster", name], self.env(), timeout=60)
                self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
                self.assertIn("  Versions match!\n", again.stdout)


if __name__ == "__main__":
    unittest.main()
