"""compute test and match-cluster against a real Spark Connect server, started from the newest 4.x
package's jars (they hold the server from 4.0 on) on 127.0.0.1 with a token of its own."""

import os
import unittest

import real
from real import JAVA17, SPARK4

TOKEN = "plo-real-token"
port = None


def setUpModule():
    global port
    if not real.support.has_java(JAVA17):
        raise unittest.SkipTest(f"no Java at {JAVA17}")
    jars = os.listdir(os.path.join(real.spark_home(SPARK4), "jars"))
    if not any(j.startswith("spark-connect_") for j in jars):
        raise AssertionError(f"pyspark {SPARK4} ships no Spark Connect server")
    port = real.free_port()
    try:
        real.start_connect_server(SPARK4, port, TOKEN)
    except BaseException:
        real.stop_all()
        raise
    real.write_computes(f"""computes:
  connect:
    config:
      master: sc://127.0.0.1:{port}/;token={TOKEN};user_id=plo-real
  connect-no-token:
    config:
      master: sc://127.0.0.1:{port}
  connect-wrong-token:
    config:
      master: sc://localhost:{port}/;token=wrong
""")


def tearDownModule():
    real.stop_all()


class RealConnect(unittest.TestCase):
    def env(self):
        # The shared 4.x venv is only read here.
        return real.plo_env(real.spark_venv(SPARK4).python, JAVA17)

    def test_compute_test_reads_the_real_version(self):
        text = real.plo(["compute", "test", "connect"], self.env(), timeout=60)
        self.assertEqual(text.returncode, 0, text.stdout + text.stderr)
        self.assertRegex(text.stdout, r"AnalyzePlan: answered in \d+ ms, grpc-status 0 OK\n"
                                      rf"    Spark: {SPARK4}\n")
        self.assertIn("  Versions match!\n", text.stdout)
        self.assertNotIn(TOKEN, text.stdout + text.stderr)
        done, doc = real.plo_json(["compute", "test", "connect", "--json"], self.env())
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual((doc["reachable"], doc["spark_version"], doc["match"]), (True, SPARK4, True))

    def test_the_server_refuses_a_missing_or_wrong_token(self):
        for name in ("connect-no-token", "connect-wrong-token"):
            with self.subTest(name):
                done, doc = real.plo_json(["compute", "test", name, "--json"], self.env())
                self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
                endpoint, = doc["endpoints"]
                self.assertTrue(endpoint["reachable"])
                self.assertEqual(endpoint["status"], "grpc-status 16 UNAUTHENTICATED")
                self.assertIsNone(doc["spark_version"])

    def test_match_cluster_through_connect(self):
        done, doc = real.plo_json(["spark", "match-cluster", "connect", "--json"], self.env())
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual((doc["cluster_version"], doc["match"]), (SPARK4, True))


if __name__ == "__main__":
    unittest.main()
