#!/usr/bin/env python3
"""A real switch, timed by phase: `plo spark set-version` from the newest 3.5 to the newest 4.x and
back, with real pip from a warm wheelhouse and Debian's Java 17, against a bare
`pip install pyspark==X` of the same version; then the same switches with uv in a venv without pip.

Usage: python3 bench/real_switch.py [--runs N]
Needs build/plo and the wheelhouse scripts/test-real.sh fills ($PLO_REAL_CACHE/wheels, default
~/.cache/plo-real-tests/wheels); asks no index.

Every Python child of plo records its own wall time through a sitecustomize on PYTHONPATH, so the
phases are the children's times (pip uninstall, pip or uv install, the smoke test) and plo's own
share is the rest of the switch.
"""

import argparse
import glob
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import support  # noqa: E402

CACHE = os.environ.get("PLO_REAL_CACHE") or os.path.join(
    os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "plo-real-tests")
WHEELS = os.path.join(CACHE, "wheels")

SITECUSTOMIZE = '''
import atexit, json, os, sys, time
_log = os.environ.get("PLO_BENCH_CHILDREN")
if _log:
    _start = time.time()
    def _record():
        with open(_log, "a") as f:
            f.write(json.dumps({"argv": sys.orig_argv, "start": _start, "end": time.time()}) + "\\n")
    atexit.register(_record)
'''


def newest(prefix):
    found = []
    for path in glob.glob(os.path.join(WHEELS, f"pyspark-{prefix}*.whl")):
        version = os.path.basename(path).split("-")[1]
        if re.fullmatch(r"[0-9.]+", version):
            found.append(tuple(int(p) for p in version.split(".")))
    if not found:
        sys.exit(f"no pyspark {prefix}x wheel in {WHEELS}: run scripts/test-real.sh once")
    return ".".join(map(str, max(found)))


def kind(argv):
    text = " ".join(argv)
    if "PLO-Test" in text:
        return "smoke"
    if "pip" in argv[1:4]:
        for action in ("uninstall", "install"):
            if action in argv:
                return action
    return "plo"  # plo's own questions to the interpreter (and to pip)


class Bench:
    def __init__(self, root):
        self.root = root
        self.hook = os.path.join(root, "hook")
        os.makedirs(self.hook)
        with open(os.path.join(self.hook, "sitecustomize.py"), "w") as f:
            f.write(SITECUSTOMIZE)
        self.children = os.path.join(root, "children.jsonl")
        self.env = support.pip_env(WHEELS)
        self.env.update(JAVA_HOME=support.JAVA17, PYTHONPATH=self.hook,
                        PLO_BENCH_CHILDREN=self.children,
                        XDG_CACHE_HOME=os.path.join(root, "cache"),
                        UV_NO_INDEX="1", UV_OFFLINE="1", UV_FIND_LINKS=WHEELS,
                        UV_CACHE_DIR=os.path.join(CACHE, "uv"), UV_NO_CONFIG="1")

    def timed(self, argv, env=None):
        if os.path.exists(self.children):
            os.remove(self.children)
        start = time.time()
        process = subprocess.Popen(argv, env=env or self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        output, last_line = [], start
        for line in process.stdout:
            output.append(line)
            last_line = time.time()
        process.wait()
        total = time.time() - start
        if process.returncode != 0:
            sys.exit(f"{argv} failed:\n{''.join(output)}")
        # After its last line plo removes the files it kept of the old version: the one link left
        # to them, so this is where their space is freed (by pip's uninstall without plo).
        phases = {"uninstall": 0.0, "install": 0.0, "smoke": 0.0, "after": total - (last_line - start)}
        if os.path.exists(self.children):
            with open(self.children) as f:
                for line in f:
                    child = json.loads(line)
                    name = kind(child["argv"])
                    if name in phases:
                        phases[name] += child["end"] - child["start"]
        return total, phases

    def switch(self, python, version, env=None):
        env = dict(env or self.env, PLO_PYTHON=python)
        total, phases = self.timed([support.PLO, "spark", "set-version", version, "--yes"], env)
        return total, phases


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    spark3, spark4 = newest("3.5."), newest("4.")
    root = tempfile.mkdtemp(prefix="plo-bench-real-")
    try:
        bench = Bench(root)
        venv = support.Venv(os.path.join(root, "venv"), WHEELS)
        venv.pip("install", f"pyspark=={spark3}")
        rows = {}
        for _ in range(args.runs):
            for version in (spark4, spark3):
                total, phases = bench.switch(venv.python, version)
                rows.setdefault(version, []).append((total, phases))
                # The bare install of the same version, from the same wheelhouse.
                venv.pip("uninstall", "-y", "pyspark")
                start = time.time()
                venv.pip("install", f"pyspark=={version}")
                bare = time.time() - start
                rows[version][-1] += (bare,)

        print(f"pip, Java 17, {args.runs} runs, medians (s):")
        print("| switch to | uninstall | install | smoke test | plo's own (after the last line) "
              "| total | bare `pip install` | plo's share (without the after part) |")
        print("|---|---|---|---|---|---|---|---|")
        for version, samples in rows.items():
            med = lambda f: statistics.median(f(s) for s in samples)  # noqa: E731
            own = med(lambda s: s[0] - sum(v for k, v in s[1].items() if k != "after"))
            after = med(lambda s: s[1]["after"])
            total = med(lambda s: s[0])
            print(f"| {version} | {med(lambda s: s[1]['uninstall']):.1f} "
                  f"| {med(lambda s: s[1]['install']):.1f} | {med(lambda s: s[1]['smoke']):.1f} "
                  f"| {own:.2f} ({after:.2f}) | {total:.1f} | {med(lambda s: s[2]):.1f} "
                  f"| {100 * own / total:.1f} % ({100 * (own - after) / total:.1f} %) |")

        uv_bin = os.path.join(root, "uv-tool", "bin")
        uv_tool = support.Venv(os.path.join(root, "uv-tool"), WHEELS)
        uv_tool.pip("install", "uv")
        uv_venv = os.path.join(root, "uv-venv")
        subprocess.run([os.path.join(uv_bin, "uv"), "venv", "--quiet", "--python",
                        support.BASE_PYTHON, uv_venv], env=bench.env, check=True)
        uv_python = os.path.join(uv_venv, "bin", "python")
        subprocess.run([os.path.join(uv_bin, "uv"), "pip", "install", "--quiet", "--python",
                        uv_python, f"pyspark=={spark3}"], env=bench.env, check=True)
        uv_env = dict(bench.env, PATH=f"{uv_bin}:/usr/bin:/bin")
        uv_rows = {}
        for _ in range(args.runs):
            for version in (spark4, spark3):
                uv_rows.setdefault(version, []).append(bench.switch(uv_python, version, uv_env))
        print(f"\nuv (a venv without pip), uv's cache warm, {args.runs} runs, medians (s):")
        print("| switch to | before the smoke test | smoke test | total |")
        print("|---|---|---|---|")
        for version, samples in uv_rows.items():
            before = statistics.median(t - p["smoke"] - p["after"] for t, p in samples)
            smoke = statistics.median(p["smoke"] for _, p in samples)
            total = statistics.median(t for t, _ in samples)
            print(f"| {version} | {before:.2f} | {smoke:.1f} | {total:.1f} |")
    finally:
        shutil.rmtree(root, True)


if __name__ == "__main__":
    main()
