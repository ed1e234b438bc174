#!/usr/bin/env python3
"""What a switch costs against its floor, paired in one run over the real PySpark: the installer
alone (`uv pip install`, `pip install`), a bare session start (plo's smoke-test script run
directly, with the environment plo gives it but none of plo's JVM options), plo's smoke test
inside a switch, and plo's whole switch with uv asked for; medians and ratios.

Usage: python3 bench/switch_speed.py [--rounds N] [--java HOME]
Needs build/plo and the wheelhouse scripts/test-real.sh fills ($PLO_REAL_CACHE/wheels, default
~/.cache/plo-real-tests/wheels); asks no index. Each round switches to the newest 4.x and back to
the newest 3.5, so every figure is a median over 2N samples.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import real_switch  # noqa: E402
import support  # noqa: E402


def wall(argv, env):
    start = time.time()
    done = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{argv[:4]} failed:\n{done.stdout}{done.stderr}")
    return time.time() - start, done


def child_times(log):
    """Each recorded Python child's (kind, seconds from its start to its exit handlers)."""
    if not os.path.exists(log):
        return []
    with open(log) as f:
        return [(real_switch.kind(c["argv"]), c["end"] - c["start"]) for c in map(json.loads, f)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--java", default=support.JAVA17)
    args = parser.parse_args()
    spark3, spark4 = real_switch.newest("3.5."), real_switch.newest("4.")
    root = tempfile.mkdtemp(prefix="plo-bench-speed-")
    try:
        bench = real_switch.Bench(root)
        env = dict(bench.env, JAVA_HOME=args.java)
        uv_tool = support.Venv(os.path.join(root, "uv-tool"), real_switch.WHEELS)
        uv_tool.pip("install", "uv")
        uv = os.path.join(uv_tool.root, "bin", "uv")
        env["PATH"] = f"{os.path.dirname(uv)}:/usr/bin:/bin"
        # A venv with pip: asked for uv, plo uses it all the same (no pip setting is lost here).
        venv = support.Venv(os.path.join(root, "venv"), real_switch.WHEELS)
        python = venv.python
        # pip's own settings would keep plo on pip: the wheelhouse reaches uv through UV_*.
        for name in ("PIP_NO_INDEX", "PIP_FIND_LINKS"):
            env.pop(name, None)
        pip_env = dict(env, PIP_NO_INDEX="1", PIP_FIND_LINKS=real_switch.WHEELS)
        uv_install = lambda v: wall([uv, "pip", "install", "--quiet", "--python", python,  # noqa
                                     f"pyspark=={v}"], env)[0]
        uv_install(spark3)
        package = subprocess.run([python, "-c", "import pyspark,os;print(os.path.dirname(pyspark.__file__))"],
                                 capture_output=True, text=True, check=True).stdout.strip()
        script = support.smoke_test_script()
        bare_env = dict(env, PYSPARK_PYTHON=python, SPARK_HOME=package)
        samples = {k: [] for k in ("uv", "pip", "bare", "bare_child", "smoke_child", "switch")}
        for _ in range(args.rounds):
            for version, back in ((spark4, spark3), (spark3, spark4)):
                uv_install(back)  # every measurement replaces `back` with `version`
                samples["uv"].append(uv_install(version))
                samples["pip"].append(wall([python, "-m", "pip", "install", "--quiet",
                                            f"pyspark=={back}"], pip_env)[0])
                uv_install(version)
                if os.path.exists(bench.children):
                    os.remove(bench.children)
                samples["bare"].append(wall([python, "-c", script], bare_env)[0])
                samples["bare_child"] += [t for k, t in child_times(bench.children) if k == "smoke"]
                uv_install(back)
                os.remove(bench.children)
                took, done = wall([support.PLO, "spark", "set-version", version, "--yes",
                                   "--installer", "uv"], dict(env, PLO_PYTHON=python))
                if "Java compatibility verified" not in done.stdout:
                    sys.exit(f"the switch to {version} did not verify:\n{done.stdout}{done.stderr}")
                samples["switch"].append(took)
                samples["smoke_child"] += [t for k, t in child_times(bench.children) if k == "smoke"]
                uv_install(back)
        med = {k: statistics.median(v) for k, v in samples.items()}
        floor = med["uv"] + med["bare"]
        print(f"PySpark {spark4} <-> {spark3}, Java at {args.java}, {args.rounds} rounds, "
              f"medians of {2 * args.rounds} (s):")
        print("| what | median | against |")
        print("|---|---|---|")
        print(f"| `uv pip install` alone | {med['uv']:.2f} | |")
        print(f"| `pip install` alone | {med['pip']:.2f} | {med['pip'] / med['uv']:.1f}x uv |")
        print(f"| bare session start (wall; its Python's own time) | {med['bare']:.2f} "
              f"({med['bare_child']:.2f}) | |")
        print(f"| plo's smoke test (its Python's own time) | {med['smoke_child']:.2f} "
              f"| {med['smoke_child'] / med['bare_child']:.2f}x the bare start |")
        print(f"| plo's whole switch, uv asked for | {med['switch']:.2f} | "
              f"{med['switch'] / floor:.2f}x, {med['switch'] - floor:+.2f} s against uv + the bare "
              f"start ({floor:.2f}) |")
    finally:
        shutil.rmtree(root, True)


if __name__ == "__main__":
    main()
