#!/usr/bin/env python3
"""Whole-process timings of plo against references measured side by side in the same run.

Usage: python3 bench/run.py [--runs N]   (needs build/plo; builds its own venv with a stand-in pyspark)
"""

import argparse
import http.server
import os
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import support  # noqa: E402

MASTER = "127.0.0.41"
NOBODY = "127.0.0.42"


PEAK_RSS = None  # the compiled bench/peak_rss.c


def peak_rss_kib(argv, env):
    out = subprocess.run([PEAK_RSS, *argv], env=env, capture_output=True, text=True, check=True)
    return int(out.stdout)


def measure(argv_list, env, runs, warmup=3):
    """Runs the commands (one after another count as one sample): median and interquartile range
    of the wall time in seconds, and the largest peak RSS of one of them in KiB."""
    def once():
        start = time.perf_counter()
        for argv in argv_list:
            subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        return time.perf_counter() - start
    for _ in range(warmup):
        once()
    times = sorted(once() for _ in range(runs))
    q1, q3 = times[len(times) // 4], times[(3 * len(times)) // 4]
    peak = max(peak_rss_kib(argv, env) for argv in argv_list)
    return statistics.median(times), q3 - q1, peak


def serve_master():
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = b'{"action" : "SubmissionStatusResponse", "serverSparkVersion" : "3.5.1"}'
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass
    server = http.server.ThreadingHTTPServer((MASTER, 6066), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=21)
    args = parser.parse_args()
    plo = os.path.abspath(support.PLO)
    ws = support.Workspace()
    global PEAK_RSS
    PEAK_RSS = ws.path("peak_rss")
    subprocess.run(["cc", "-O2", "-o", PEAK_RSS, os.path.join(os.path.dirname(__file__), "peak_rss.c")],
                   check=True)
    try:
        ws.venv.set_pyspark("3.5.9")
        home = ws.path("plo-home")
        os.makedirs(home)
        with open(os.path.join(home, "computes.yml"), "w") as f:
            f.write(f"computes:\n  up:\n    config:\n      master: spark://{MASTER}:7077\n"
                    f"  down:\n    config:\n      master: spark://{NOBODY}:7077\n")
        env = support.plo_env(ws.venv, support.JAVA17, PLO_HOME=home)
        python = ws.venv.python
        java = os.path.join(support.JAVA17, "bin", "java")
        server = serve_master()

        rows = []
        floor = measure([[python, "-c", "pass"]], env, args.runs)
        usual = measure([[python, "-c", "import importlib.metadata as m; print(m.version('pyspark'))"],
                         [java, "-version"]], env, args.runs)
        # The warm-up runs leave plo's cache of the interpreter's answer warm.
        check = measure([[plo, "spark", "check"]], env, args.runs)
        versions = measure([[plo, "spark", "versions"]], env, args.runs)
        cold = measure([[plo, "spark", "check"]], dict(env, PLO_NO_CACHE="1"), args.runs)
        rows.append(("python -c pass (floor)", floor, floor))
        rows.append(("importlib.metadata + java -version (usual)", usual, floor))
        rows.append(("plo spark check", check, floor))
        rows.append(("plo spark check (PLO_NO_CACHE=1)", cold, floor))
        rows.append(("plo --help", measure([[plo, "--help"]], env, args.runs), floor))
        rows.append(("plo spark versions", versions, floor))
        rows.append(("plo spark match-cluster up", measure([[plo, "spark", "match-cluster", "up"]], env, args.runs), floor))
        rows.append(("plo spark match-cluster down", measure([[plo, "spark", "match-cluster", "down"]], env, 5, 1), floor))
        server.shutdown()

        print(f"{'command':45} {'median ms':>10} {'IQR ms':>8} {'peak RSS MiB':>13} {'x floor':>8}")
        for name, (median, spread, peak), base in rows:
            print(f"{name:45} {median * 1000:10.1f} {spread * 1000:8.1f} {peak / 1024:13.1f} "
                  f"{median / base[0]:8.2f}")
        print(f"\nplo spark check: {check[0] / floor[0]:.2f}x the floor, "
              f"{usual[0] / check[0]:.2f}x faster than the usual way; "
              f"plo spark versions: {versions[0] / floor[0]:.2f}x the floor")
    finally:
        ws.cleanup()


if __name__ == "__main__":
    main()
