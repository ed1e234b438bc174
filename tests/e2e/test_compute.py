"""`plo compute` against stand-in masters, Spark Connect servers and a Databricks API on loopback."""

import http.server
import json
import os
import signal
import socket
import subprocess
import threading
import time
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

ALIVE = "127.0.11.1"      # master port, REST 3.5.1 (turned on), web UI and /json/ ALIVE
STANDBY = "127.0.11.2"    # master port, web UI 3.5.1 and /json/ STANDBY, no REST
DEAD = "127.0.11.3"       # nothing listens
SILENT = "127.0.11.4"     # accepts on every port, never answers
TRICKLE = "127.0.11.5"    # answers one byte at a time, without end
FLOOD = "127.0.11.6"      # answers headers, then bytes without end
HEADERS = "127.0.11.7"    # answers header lines without end
CONNECT = "127.0.11.10"   # Spark Connect 3.5.2, token sc-secret
CONNECT_ERR = "127.0.11.11"  # Spark Connect answering UNAVAILABLE
CONNECT_SILENT = "127.0.11.12"
DATABRICKS = "127.0.11.20"   # Databricks REST API on port 8000, token dapi-secret

ws = None
servers = []
sockets = []
processes = []
stop = threading.Event()

UI = '<html><h3><span class="version"\n      style="margin-right: 15px;">3.5.1</span>Spark Master</h3></html>'


def master_handler(status, rest):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            port = self.server.server_address[1]
            if port == 6066:
                code = 200 if self.path.startswith("/v1/submissions/status/") else 400
                body = json.dumps({"action": "SubmissionStatusResponse", "serverSparkVersion": rest,
                                   "submissionId": "plo-probe", "success": False}, indent=2)
            elif self.path == "/json/":
                code, body = 200, json.dumps({
                    "url": f"spark://{self.server.server_address[0]}:7077", "workers": [],
                    "aliveworkers": 2, "cores": 16, "coresused": 0, "memory": 64000,
                    "memoryused": 0, "activeapps": [], "completedapps": [], "status": status})
            else:
                code, body = 200, UI
            data = body.encode()
            self.send_response(code)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *args):
            pass
    return Handler


DATABRICKS_AUTHORIZATIONS = []  # the Authorization header of every request the stand-in saw


def databricks_handler():
    class Handler(http.server.BaseHTTPRequestHandler):
        def answer(self, code, document):
            data = json.dumps(document).encode()
            self.send_response(code)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            DATABRICKS_AUTHORIZATIONS.append(self.headers.get("Authorization"))
            if self.headers.get("Authorization") != "Bearer dapi-secret":
                return self.answer(401, {"error_code": "UNAUTHENTICATED",
                                         "message": "Invalid access token."})
            if self.path == "/api/2.1/clusters/get?cluster_id=0123-abc":
                return self.answer(200, {"cluster_id": "0123-abc", "state": "RUNNING",
                                         "spark_version": "15.4.x-scala2.12"})
            if self.path.startswith("/api/2.1/clusters/get?"):
                return self.answer(400, {"error_code": "INVALID_PARAMETER_VALUE",
                                         "message": "Cluster does not exist"})
            if self.path == "/api/2.1/clusters/spark-versions":
                return self.answer(200, {"versions": [
                    {"key": "14.3.x-scala2.12", "name": "14.3 LTS (includes Apache Spark 3.5.0, Scala 2.12)"},
                    {"key": "15.4.x-scala2.12", "name": "15.4 LTS (includes Apache Spark 3.5.0, Scala 2.12)"}]})
            self.answer(404, {"error_code": "ENDPOINT_NOT_FOUND", "message": "No API found"})

        def log_message(self, *args):
            pass
    return Handler



def listen(address, port):
    sock = socket.socket()
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((address, port))
    sock.listen(64)
    sockets.append(sock)
    return sock


def serve_raw(address, port, feed):
    """Accepts connections and hands each to `feed(conn)` on its own thread."""
    sock = listen(address, port)

    def accept():
        while not stop.is_set():
            try:
                conn, _ = sock.accept()
            except OSError:
                return
            threading.Thread(target=closing(feed), args=(conn,), daemon=True).start()
    threading.Thread(target=accept, daemon=True).start()


def closing(feed):
    def run(conn):
        with conn:
            feed(conn)
    return run


def trickle(conn):
    try:
        conn.sendall(b"HTTP/1.1 200 OK\r\n")
        while not stop.is_set():
            conn.sendall(b"X")
            time.sleep(0.2)
    except OSError:
        pass


def flood(conn):
    chunk = b"<span " * 10000
    try:
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n")
        while not stop.is_set():
            conn.sendall(chunk)
    except OSError:
        pass


def header_flood(conn):
    try:
        conn.sendall(b"HTTP/1.1 200 OK\r\n")
        while not stop.is_set():
            conn.sendall(b"X-Padding: " + b"a" * 1000 + b"\r\n")
    except OSError:
        pass


def has_grpc():
    return subprocess.run([support.BASE_PYTHON, "-c", "import grpc"],
                          capture_output=True).returncode == 0


def start_connect_server(*args):
    script = os.path.join(os.path.dirname(__file__), "spark_connect_standin.py")
    process = subprocess.Popen([support.BASE_PYTHON, script, *args], stdout=subprocess.PIPE, text=True)
    processes.append(process)
    if process.stdout.readline().strip() != "ready":
        raise RuntimeError(f"the Spark Connect stand-in did not start: {args}")


def setUpModule():
    global ws
    ws = support.Workspace()
    support.serve_http(ALIVE, 6066, master_handler("ALIVE", "3.5.1"), servers)
    support.serve_http(ALIVE, 8080, master_handler("ALIVE", "3.5.1"), servers)
    support.serve_http(STANDBY, 8080, master_handler("STANDBY", None), servers)
    for address in (ALIVE, STANDBY, SILENT, TRICKLE, FLOOD, HEADERS):
        listen(address, 7077)
    for port in (6066, 8080):
        listen(SILENT, port)
        serve_raw(TRICKLE, port, trickle)
        serve_raw(FLOOD, port, flood)
        serve_raw(HEADERS, port, header_flood)
    support.serve_http(DATABRICKS, 8000, databricks_handler(), servers)
    listen(CONNECT_SILENT, 15002)
    if has_grpc():
        start_connect_server(f"{CONNECT}:15002", "version", "3.5.2", "sc-secret")
        start_connect_server(f"{CONNECT_ERR}:15002", "error", "UNAVAILABLE", "server restarting")


def tearDownModule():
    stop.set()
    for process in processes:
        process.kill()
        process.wait()
    for sock in sockets:
        sock.close()
    for server in servers:
        server.shutdown()
        server.server_close()
    ws.cleanup()


COMPUTES = f"""# computes for the tests
computes:
  prod:
    config:
      master: spark://{ALIVE}:7077
  ha:
    config:
      master: spark://{DEAD}:7077,{STANDBY}:7077,{ALIVE}:7077
  down:
    config:
      master: spark://{DEAD}:7077
  silent:
    config:
      master: spark://{SILENT}:7077
  trickle:
    config:
      master: spark://{TRICKLE}:7077
  flood:
    config:
      master: spark://{FLOOD}:7077
  headers:
    config:
      master: spark://{HEADERS}:7077
  connect:
    config:
      master: sc://{CONNECT}/;token=sc-secret
  connect-notoken:
    config:
      master: sc://{CONNECT}:15002
  connect-error:
    config:
      master: sc://{CONNECT_ERR}
  connect-silent:
    config:
      master: sc://{CONNECT_SILENT}
  analytics:
    type: databricks
    config:
      host: http://{DATABRICKS}:8000
      cluster_id: 0123-abc
  analytics-profile:
    type: databricks
    config:
      host: http://{DATABRICKS}:8000
      profile: work
  remote-http:
    type: databricks
    config:
      host: http://adb-1.azuredatabricks.net
      token: dapi-secret
      cluster_id: 0123-abc
  dev:
    config:
      master: local[*]
"""


class ComputeTest(unittest.TestCase):
    def setUp(self):
        self.home = ws.path("plo-home")
        os.makedirs(self.home, exist_ok=True)
        self.user_home = ws.path("user-home")
        os.makedirs(self.user_home, exist_ok=True)
        with open(os.path.join(self.home, "computes.yml"), "w") as f:
            f.write(COMPUTES)

    def env(self, **extra):
        settings = {"PLO_HOME": self.home, "HOME": self.user_home, **extra}
        return plo_env(ws.venv, JAVA17, **settings)

    def plo(self, *args, timeout=60, **extra):
        return run_plo(["compute", *args], self.env(**extra), timeout=timeout)

    def probe_json(self, *args, **extra):
        result = self.plo("test", *args, "--json", **extra)
        return result, json.loads(result.stdout)

    def test_list_in_file_order_with_json(self):
        result = self.plo("list")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(f"  File: {self.home}/computes.yml\n", result.stdout)
        self.assertLess(result.stdout.index("  prod (spark)"), result.stdout.index("  dev (spark)"))
        self.assertNotIn("sc-secret", result.stdout)
        doc = json.loads(self.plo("list", "--json").stdout)
        self.assertEqual(doc["file"], f"{self.home}/computes.yml")
        self.assertEqual([c["name"] for c in doc["computes"]][:3], ["prod", "ha", "down"])
        self.assertEqual(doc["computes"][11], {"name": "analytics", "type": "databricks", "master": None,
                                               "host": f"http://{DATABRICKS}:8000",
                                               "cluster_id": "0123-abc", "runtime": None})

    def test_list_without_file_and_with_a_broken_one(self):
        result = run_plo(["compute", "list"], self.env(PLO_HOME=ws.path("nowhere")))
        self.assertEqual(result.returncode, 0)
        self.assertIn("$PLO_HOME/computes.yml", result.stdout)
        with open(os.path.join(self.home, "computes.yml"), "w") as f:
            f.write("computes:\n  prod: [unclosed\n")
        result = self.plo("list")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Error loading compute config: ", result.stdout)
        result = self.plo("list", "--json")
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        self.assertIn("not valid YAML", result.stderr)

    def test_alive_master_ends_with_the_cluster_report(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.plo("test", "prod")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertRegex(result.stdout, r"Master port 7077: connected in \d+ ms\n"
                                        r"    Status: ALIVE, 2 alive workers, 16 cores \(web UI /json/, \d+ ms\)\n"
                                        r"    Spark: 3\.5\.1 \(REST 6066\)\n")
        self.assertTrue(result.stdout.endswith(
            f"  Driver (local): PySpark {newest('3.5')}\n  Cluster:        Spark 3.5.1\n\n  Versions match!\n\n"))

    def test_ha_pair_with_one_dead_in_json(self):
        ws.venv.set_pyspark(newest("4.1"))
        result, doc = self.probe_json("ha")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(doc["spark_version"], "3.5.1")
        self.assertIs(doc["match"], False)
        dead, standby, alive = doc["endpoints"]
        self.assertEqual((dead["reachable"], dead["error"]), (False, "connection refused"))
        self.assertEqual((standby["reachable"], standby["status"], standby["spark_version"]),
                         (True, "STANDBY", "3.5.1"))
        self.assertEqual((alive["status"], alive["spark_version"]), ("ALIVE", "3.5.1"))
        self.assertIsInstance(alive["latency_ms"], int)

    def test_dead_and_silent_masters(self):
        for name, error in (("down", "connection refused"), ("silent", None)):
            result, doc = self.probe_json(name)
            self.assertEqual(result.returncode, 0 if name == "silent" else 1, name)
            self.assertIsNone(doc["spark_version"])
            self.assertEqual(doc["endpoints"][0]["error"], error)
            self.assertIsNone(doc["endpoints"][0]["status"])

    def test_hostile_masters_stay_within_time_and_memory(self):
        for name in ("silent", "trickle", "flood", "headers"):
            start = time.monotonic()
            process = subprocess.Popen([support.PLO, "compute", "test", name], env=self.env(),
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            out, err = process.communicate(timeout=60)
            elapsed = time.monotonic() - start
            self.assertLess(elapsed, 15, name)
            self.assertNotIn(b"Spark: 3", out, name)
            self.assertEqual(err, b"", name)
            self.assertNotIn(b"\x1b", out, name)

    def test_hostile_masters_memory(self):
        for name in ("flood", "headers"):
            process = subprocess.Popen([support.PLO, "compute", "test", name], env=self.env(),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            _, _, usage = os.wait4(process.pid, 0)
            self.assertLess(usage.ru_maxrss, support.memory_ceiling_kib(), name)  # KiB

    def test_interrupt_ends_the_wait(self):
        process = subprocess.Popen([support.PLO, "compute", "test", "silent"], env=self.env(),
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        time.sleep(1)
        start = time.monotonic()
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=30)
        self.assertLess(time.monotonic() - start, 3)
        self.assertEqual(process.returncode, 1)
        self.assertEqual(err, "Aborted!\n")

    @unittest.skipUnless(has_grpc(), "no grpc in the base Python (python3-grpcio)")
    def test_spark_connect(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.plo("test", "connect")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertRegex(result.stdout, r"AnalyzePlan: answered in \d+ ms, grpc-status 0 OK\n    Spark: 3\.5\.2\n")
        self.assertNotIn("sc-secret", result.stdout)
        self.assertIn("  Versions match!\n", result.stdout)

        result, doc = self.probe_json("connect-notoken")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(doc["endpoints"][0]["status"], "grpc-status 16 UNAUTHENTICATED")
        result, doc = self.probe_json("connect-error")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(doc["endpoints"][0]["reachable"], True)
        self.assertEqual(doc["endpoints"][0]["error"], "grpc-status 14 UNAVAILABLE: server restarting")
        self.assertIsNone(doc["match"])

    def test_silent_spark_connect_server(self):
        start = time.monotonic()
        result, doc = self.probe_json("connect-silent")
        self.assertLess(time.monotonic() - start, 15)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(doc["endpoints"][0]["reachable"], False)

    @unittest.skipUnless(has_grpc(), "no grpc in the base Python (python3-grpcio)")
    def test_match_cluster_asks_spark_connect(self):
        ws.venv.set_pyspark(newest("4.1"))
        result = run_plo(["spark", "match-cluster", "connect"], self.env())
        self.assertEqual(result.returncode, 1)
        self.assertIn("Connecting to cluster...\n\nCluster Information\n", result.stdout)
        self.assertIn("  Spark Version: 3.5.2\n", result.stdout)
        self.assertIn("  VERSION MISMATCH!\n", result.stdout)
        result = run_plo(["spark", "match-cluster", "connect-error"], self.env())
        self.assertIn("  Could not detect cluster version\n", result.stdout)
        self.assertEqual(len(result.stdout.split("\n")) - 1, 21)

    def test_databricks_with_token_from_the_environment(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.plo("test", "analytics", DATABRICKS_TOKEN="dapi-secret",
                          DATABRICKS_HOST=f"http://{DATABRICKS}:8000/")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  Token from:  DATABRICKS_TOKEN (not shown)\n", result.stdout)
        self.assertRegex(result.stdout, r"state RUNNING, runtime 15\.4\.x-scala2\.12\n")
        self.assertIn("  databricks-connect is not installed", result.stdout)
        self.assertIn("  Spark Version: 3.5.0\n", result.stdout)
        self.assertNotIn("dapi-secret", result.stdout + result.stderr)

    def test_databricks_profile_and_refused_token(self):
        with open(os.path.join(self.user_home, ".databrickscfg"), "w") as f:
            f.write(f"[DEFAULT]\nhost = http://{DATABRICKS}:8000\ntoken = wrong\n\n"
                    f"[work]\nhost = HTTP://{DATABRICKS}:8000/\ntoken = dapi-secret\ncluster_id = 0123-abc\n")
        try:
            result, doc = self.probe_json("analytics-profile")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(doc["spark_version"], "3.5.0")
            result, doc = self.probe_json("analytics")  # DEFAULT's token
            self.assertEqual(result.returncode, 1)
            self.assertEqual(doc["endpoints"][0]["error"],
                             "HTTP 401 (the token was refused): Invalid access token.")
        finally:
            os.remove(os.path.join(self.user_home, ".databrickscfg"))

    def test_databricks_token_goes_only_to_its_own_host(self):
        # A shared computes.yml naming another host must not collect the user's token.
        with open(os.path.join(self.user_home, ".databrickscfg"), "w") as f:
            f.write("[DEFAULT]\nhost = https://mine.cloud.databricks.com\ntoken = dapi-secret\n")
        try:
            DATABRICKS_AUTHORIZATIONS.clear()
            result = self.plo("test", "analytics")
            self.assertEqual(result.returncode, 1)
            self.assertIn("Token not sent: the token of ", result.stdout)
            self.assertIn("belongs to https://mine.cloud.databricks.com (the profile's host), not to "
                          f"http://{DATABRICKS}:8000: plo does not send it there", result.stdout)
            result = self.plo("test", "analytics", DATABRICKS_TOKEN="dapi-secret")  # no DATABRICKS_HOST
            self.assertEqual(result.returncode, 1)
            self.assertIn("belongs to no named host", result.stdout)
            self.assertEqual(DATABRICKS_AUTHORIZATIONS, [])
            self.assertNotIn("dapi-secret", result.stdout + result.stderr)
        finally:
            os.remove(os.path.join(self.user_home, ".databrickscfg"))

    def test_databricks_without_credentials_or_over_plain_http(self):
        result = self.plo("test", "analytics")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Missing Databricks credentials: token\n", result.stdout)
        result = self.plo("test", "remote-http")
        self.assertEqual(result.returncode, 1)
        self.assertIn("refusing to send the token over plain http", result.stdout)
        self.assertNotIn("dapi-secret", result.stdout)

    def test_local_and_unknown(self):
        ws.venv.set_pyspark(newest("3.5"))
        result, doc = self.probe_json("dev")
        self.assertEqual((result.returncode, doc["spark_version"], doc["match"]), (0, newest("3.5"), True))
        result, doc = self.probe_json("nope")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(doc["error"], "Compute 'nope' not found in computes.yml")


class ComputeEdit(unittest.TestCase):
    def setUp(self):
        self.home = ws.path("edit-home")
        self.file = os.path.join(self.home, "computes.yml")
        for path in (self.file, self.file + ".bak"):
            if os.path.exists(path):
                os.remove(path)

    def plo(self, *args):
        return run_plo(["compute", *args], plo_env(PLO_HOME=self.home))

    def read(self, path=None):
        with open(path or self.file) as f:
            return f.read()

    def test_add_creates_the_file_and_remove_keeps_comments(self):
        if os.path.isdir(self.home):
            os.rmdir(self.home)
        result = self.plo("add", "prod", "--master", "spark://m1:7077,m2:7077")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(self.read(), "computes:\n  prod:\n    config:\n      master: spark://m1:7077,m2:7077\n")
        self.assertFalse(os.path.exists(self.file + ".bak"))
        with open(self.file, "w") as f:
            f.write("# mine\ncomputes:\n  prod:   # keep me\n    config:\n      master: local\n\n# end\n")
        self.assertEqual(self.plo("add", "db", "--host", "adb-1.azuredatabricks.net", "--type",
                                  "databricks", "--cluster-id", "0123-abc").returncode, 0)
        self.assertEqual(self.read(), "# mine\ncomputes:\n  prod:   # keep me\n    config:\n      master: local\n"
                                      "  db:\n    type: databricks\n    config:\n      host: adb-1.azuredatabricks.net\n"
                                      "      cluster_id: 0123-abc\n\n# end\n")
        before = self.read()
        self.assertEqual(self.plo("remove", "prod").returncode, 0)
        self.assertEqual(self.read(self.file + ".bak"), before)
        self.assertEqual(self.read(), "# mine\ncomputes:\n  db:\n    type: databricks\n    config:\n"
                                      "      host: adb-1.azuredatabricks.net\n      cluster_id: 0123-abc\n\n# end\n")
        listed = json.loads(run_plo(["compute", "list", "--json"], plo_env(PLO_HOME=self.home)).stdout)
        self.assertEqual([c["name"] for c in listed["computes"]], ["db"])

    def test_refusals_change_nothing(self):
        os.makedirs(self.home, exist_ok=True)
        cases = [
            ("computes: {prod: {config: {master: local}}}\n", ["add", "x", "--master", "local"], "flow style"),
            ("computes:\n  prod: {config: {master: local}}\n", ["remove", "prod"], "flow style"),
            ("computes:\n  prod:\n    type: spark\n", ["add", "prod", "--master", "local"], "already"),
            ("computes:\n  prod:\n    type: spark\n", ["remove", "nope"], "no compute named 'nope'"),
            ("computes:\n  prod:\n    type: spark\n", ["add", "x", "--master", "localhost:7077"], "master URL"),
            ("computes:\n  prod:\n    type: spark\n", ["add", "x", "--host", "bad host"], "not a host name"),
        ]
        for text, args, message in cases:
            with open(self.file, "w") as f:
                f.write(text)
            result = self.plo(*args)
            self.assertEqual(result.returncode, 1, args)
            self.assertIn(message, result.stdout, args)
            self.assertEqual(self.read(), text, args)
            self.assertFalse(os.path.exists(self.file + ".bak"), args)
        result = self.plo("add", "x")
        self.assertEqual(result.returncode, 2)
        result = self.plo("add", "x", "--master", "local", "--host", "h")
        self.assertEqual(result.returncode, 2)


if __name__ == "__main__":
    unittest.main()
