"""`plo spark match-cluster` against stand-in Spark masters on loopback addresses."""

import http.server
import json
import os
import signal
import socket
import subprocess
import time
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

ws = None
servers = []

MASTER_3 = "127.0.0.23"     # REST server (spark.master.rest.enabled=true) and web UI of Spark 3.5.1
MASTER_4 = "127.0.0.24"     # web UI only (spark.master.rest.enabled=false), Spark 4.2.0
NOBODY = "127.0.0.25"       # nothing listens
SILENT = "127.0.0.26"       # accepts connections, never answers
GARBAGE = "127.0.0.27"      # answers with junk
HUNG = [f"127.0.9.{i}" for i in range(1, 61)]   # accept connections, never answer
SPANS = "127.0.9.61"        # a web UI page that a scan from each "<" to the next ">" takes minutes on


def handler(rest_version=None, ui_html=None, junk=False):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            port = self.server.server_address[1]
            if junk:
                body = b"\x00\xff not json <span class=\"version\"><script>" * 1000
                status = 200
            elif port == 6066:
                status = 200 if self.path.startswith("/v1/submissions/status/") else 400
                body = json.dumps({"action": "SubmissionStatusResponse", "serverSparkVersion": rest_version,
                                   "submissionId": "plo-probe", "success": False}, indent=2).encode()
            else:
                status, body = 200, ui_html.encode()
            self.send_response(status)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            try:
                self.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                pass  # plo had its answer elsewhere and hung up

        def log_message(self, *args):
            pass
    return Handler



def setUpModule():
    global ws
    ws = support.Workspace()
    # A break between the attributes occurs too.
    ui3 = '<html><h3><span class="version"\n      style="margin-right: 15px;">3.5.1</span>Spark Master</h3></html>'
    ui4 = support.master_ui_page("4.2.0")
    support.serve_http(MASTER_3, 6066, handler(rest_version="3.5.1"), servers)
    support.serve_http(MASTER_3, 8080, handler(ui_html=ui3), servers)
    support.serve_http(MASTER_4, 8080, handler(ui_html=ui4), servers)
    support.serve_http(GARBAGE, 6066, handler(junk=True), servers)
    support.serve_http(GARBAGE, 8080, handler(junk=True), servers)
    # Just under the 1 MiB body cap.
    support.serve_http(SPANS, 8080, handler(ui_html="<span " * 174746 + '><span class="version">3.5.1</span>'), servers)
    for address in [SILENT] + HUNG:
        for port in (6066, 8080):
            silent = socket.socket()
            silent.bind((address, port))
            silent.listen(8)
            servers.append(silent)
    ws.databricks_wheels = ws.path("databricks-wheels")
    os.makedirs(ws.databricks_wheels)
    support.build_databricks_wheel(ws.databricks_wheels)


def tearDownModule():
    for server in servers:
        if isinstance(server, socket.socket):
            server.close()
        else:
            server.shutdown()
            server.server_close()
    ws.cleanup()


COMPUTES = f"""
computes:
  prod:
    type: spark
    config:
      master: spark://{MASTER_3}:7077
  new:
    config:
      master: spark://{MASTER_4}:7077
  ha:
    config:
      master: spark://{NOBODY}:7077,{MASTER_3}:7077
  down:
    config:
      master: spark://{NOBODY}:7077
  silent:
    config:
      master: spark://{SILENT}:7077
  junk:
    config:
      master: spark://{GARBAGE}:7077
  dev:
    config:
      master: local[*]
  not-local:
    config:
      master: localhost:7077
  hung-first:
    config:
      master: spark://{HUNG[0]}:7077,{HUNG[1]}:7077,{MASTER_3}:7077
  all-hung:
    config:
      master: spark://{",".join(h + ":7077" for h in HUNG)}
  spans:
    config:
      master: spark://{SPANS}:7077
  analytics:
    type: databricks
    config:
      host: adb-1234567890123456.7.azuredatabricks.net
"""


class MatchCluster(unittest.TestCase):
    def match(self, name, computes=COMPUTES, timeout=60):
        home = ws.path("plo-home")
        os.makedirs(home, exist_ok=True)
        with open(os.path.join(home, "computes.yml"), "w") as f:
            f.write(computes)
        return run_plo(["spark", "match-cluster", name], plo_env(ws.venv, JAVA17, PLO_HOME=home),
                       timeout=timeout)

    def test_rest_server_of_a_3_x_master(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("prod")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"  Master URL:  spark://{MASTER_3}:7077\n", result.stdout)
        self.assertIn("  Spark Version: 3.5.1\n", result.stdout)
        self.assertTrue(result.stdout.endswith(
            f"  Driver (local): PySpark {newest('3.5')}\n  Cluster:        Spark 3.5.1\n\n  Versions match!\n\n"))

    def test_web_ui_of_a_4_x_master_and_mismatch(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("new")
        self.assertEqual(result.returncode, 1)
        self.assertIn("  Spark Version: 4.2.0\n", result.stdout)
        self.assertIn("  VERSION MISMATCH!\n", result.stdout)
        self.assertTrue(result.stdout.endswith(
            "Java Note:\n  PySpark 4.2 requires Java 17, 21, 25\n  Current Java 17 is compatible\n\n"))

    def test_high_availability_list_tries_each_master(self):
        ws.venv.set_pyspark(newest("3.5"))
        self.assertIn("  Spark Version: 3.5.1\n", self.match("ha").stdout)

    def test_hung_masters_before_a_healthy_one_are_asked_side_by_side(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("hung-first", timeout=30)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  Spark Version: 3.5.1\n", result.stdout)

    def test_web_ui_page_of_many_open_spans_is_scanned_in_time(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("spans", timeout=30)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  Spark Version: 3.5.1\n", result.stdout)

    def test_interrupt_ends_the_wait_for_sixty_silent_masters(self):
        home = ws.path("plo-home")
        os.makedirs(home, exist_ok=True)
        with open(os.path.join(home, "computes.yml"), "w") as f:
            f.write(COMPUTES)
        for signal_number in (signal.SIGINT, signal.SIGTERM):
            process = subprocess.Popen(
                [support.PLO, "spark", "match-cluster", "all-hung"],
                env=plo_env(ws.venv, JAVA17, PLO_HOME=home), stdin=subprocess.DEVNULL,
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, start_new_session=True)
            seen = []
            for line in process.stdout:
                seen.append(line)
                if line == "Connecting to cluster...\n":
                    break
            time.sleep(1)
            os.kill(process.pid, signal_number)
            # Without the interrupt plo would wait out its 9 s budget and report "Could not detect".
            rest, stderr = process.communicate(timeout=5)
            self.assertEqual(process.returncode, 1, signal_number)
            self.assertEqual(stderr, "Aborted!\n", signal_number)
            self.assertNotIn("Could not detect", rest)

    def test_unreachable_silent_and_junk_masters_are_not_detected(self):
        for name in ("down", "silent", "junk"):
            result = self.match(name, timeout=30)
            self.assertEqual(result.returncode, 1, name)
            self.assertIn("  Could not detect cluster version\n", result.stdout, name)
            self.assertEqual(len(result.stdout.split("\n")) - 1, 21, name)
            self.assertEqual(result.stderr, "", name)

    def test_local_master_uses_local_pyspark(self):
        ws.venv.set_pyspark(newest("4.1"))
        result = self.match("dev")
        self.assertEqual(result.returncode, 0)
        self.assertIn("  (Local mode - using PySpark version)\n", result.stdout)
        ws.venv.set_pyspark(None)
        result = self.match("dev")
        self.assertEqual(result.returncode, 1)
        self.assertNotIn("Local mode", result.stdout)

    def test_localhost_master_is_not_local_mode(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("not-local")
        self.assertEqual(result.returncode, 1)
        self.assertNotIn("Local mode", result.stdout)
        self.assertNotIn("Versions match!", result.stdout)
        self.assertIn("  Could not detect cluster version\n", result.stdout)

    def test_databricks_with_and_without_client(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("analytics")
        self.assertEqual(result.returncode, 1)
        self.assertIn("  Databricks cluster detected\n  Note: Version detection requires active connection\n"
                      "  Install databricks-connect for full support\n", result.stdout)
        ws.venv.pip("install", "--find-links", ws.databricks_wheels, "databricks-connect")
        try:
            result = self.match("analytics")
            self.assertIn("  Run 'plo compute test analytics' to verify connectivity\n\n"
                          "  Could not detect cluster version", result.stdout)
        finally:
            ws.venv.pip("uninstall", "-y", "databricks-connect")

    def test_broken_databricks_client_is_an_error(self):
        broken = ws.path("broken-databricks")
        os.makedirs(broken, exist_ok=True)
        support.build_databricks_wheel(broken, broken=True)
        ws.venv.pip("install", "--find-links", broken, "databricks-connect")
        try:
            result = self.match("analytics")
            self.assertEqual(result.returncode, 1)
            self.assertEqual(result.stderr,
                             "Error: cannot load databricks-connect: RuntimeError: broken client\n")
            self.assertTrue(result.stdout.endswith("  Note: Version detection requires active connection\n"))
        finally:
            ws.venv.pip("uninstall", "-y", "databricks-connect")

    def test_undefined_name(self):
        result = self.match("nope")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout.split("\n")[4:], [
            "Compute 'nope' not found in computes.yml",
            "  Run 'plo compute list' to see available compute engines", "", ""])

    def test_malformed_computes_files(self):
        cases = [
            ("computes:\n  prod: [unclosed\n", "not valid YAML"),
            ("- just\n- a list\n", "the top level is not a mapping"),
            ("computes: 3\n", "'computes' is not a mapping"),
            ("computes:\n  prod: 7\n", "compute 'prod' is not a mapping"),
        ]
        for text, message in cases:
            result = self.match("prod", computes=text)
            self.assertEqual(result.returncode, 1, text)
            out = result.stdout.split("\n")
            self.assertTrue(out[4].startswith("Error loading compute config: "), out)
            self.assertIn("computes.yml", out[4])
            self.assertIn(message, out[4])
            self.assertEqual(len(out) - 1, 6)

    def test_computes_file_that_is_a_fifo_or_a_folder(self):
        for kind in ("fifo", "folder"):
            home = ws.path(f"home-{kind}")
            os.makedirs(home, exist_ok=True)
            target = os.path.join(home, "computes.yml")
            os.mkfifo(target) if kind == "fifo" else os.makedirs(target)
            result = run_plo(["spark", "match-cluster", "prod"], plo_env(ws.venv, JAVA17, PLO_HOME=home),
                             timeout=30)
            self.assertEqual(result.returncode, 1, kind)
            self.assertEqual(result.stdout.split("\n")[4:], [
                f"Error loading compute config: {target}: not a regular file", "", ""], kind)

    def test_computes_file_above_4_mib_is_refused(self):
        home = ws.path("home-big")
        os.makedirs(home, exist_ok=True)
        with open(os.path.join(home, "computes.yml"), "w") as f:
            f.write(COMPUTES + "#" * (4 << 20))
        result = run_plo(["spark", "match-cluster", "prod"], plo_env(ws.venv, JAVA17, PLO_HOME=home))
        self.assertEqual(result.returncode, 1)
        self.assertIn("computes.yml: larger than 4 MiB", result.stdout)

    def test_missing_file_affects_only_match_cluster(self):
        env = plo_env(ws.venv, JAVA17, PLO_HOME=ws.path("no-such-home"))
        result = run_plo(["spark", "match-cluster", "prod"], env)
        self.assertIn("Error loading compute config: ", result.stdout)
        self.assertEqual(run_plo(["spark", "versions"], env).returncode, 0)


if __name__ == "__main__":
    unittest.main()
