#!/usr/bin/env python3
"""Writes inputs shaped to make a parser slow (repeated openers, long runs, deep nesting), each
just under 1 MiB, into DIR/<target>/. scripts/fuzz.sh runs every target on them under a time limit
per input, so a parser that is not linear in its input fails there."""

import os
import sys

SIZE = (1 << 20) - 64


def fill(pattern, tail=""):
    if isinstance(pattern, str):
        pattern = pattern.encode()
    if isinstance(tail, str):
        tail = tail.encode()
    return pattern * ((SIZE - len(tail)) // len(pattern)) + tail


SHAPES = {
    "fuzz_cluster_responses": [
        fill("<span ", ">"), fill("<span class=", ">"), fill("<span class='version' "),
        fill("<SPAN\t"), fill("<"), fill('{"a":'), fill("["), fill('{"serverSparkVersion":"3.5.1",'),
        fill('"\\u0000'), fill("<span class=\"version\">", "3.5.1</span>"),
    ],
    "fuzz_computes": [
        fill("key: value\n"), fill("- "), fill("["), fill("{"), fill("a: &x "), fill("*x "),
        fill(" "), fill("#"), fill("'"), fill("computes:\n  c:\n    config:\n      k: v\n"),
        fill("? "), fill("\n"),
    ],
    "fuzz_java": [
        fill("JAVA_VERSION="), fill("version \""), fill(" version \"1"), fill("\n"), fill("="),
        fill("IMPLEMENTOR=\"x"), fill(" "), fill("1."),
    ],
    "fuzz_pyspark": [
        fill(b"plo-path-probe\0"), b"plo-path-probe\0" + fill(b"\0"), fill("__version__"),
        fill("__version__ = '"), fill("Name: pyspark\n"), fill("Version: "), fill(":"), fill(" "),
    ],
    "fuzz_requirements": [
        fill("("), fill("( "), b"a;" + fill("("), b"a;" + fill("python_version == '3' and "),
        fill("'"), fill("\""), fill(","), b"a" + fill(">=1,"), fill("\\"), fill("--conf "),
        fill("Requires-Dist: a\n"), fill("a[b,"), fill("+a."),
    ],
    "fuzz_master_url": [
        b"spark://" + fill("a,"), b"spark://" + fill("["), b"spark://" + fill("a:1,"),
        fill("local["), b"local[" + fill("1,"), b"local-cluster[" + fill(" "), b"spark://" + fill("/"),
    ],
    "fuzz_adoptium": [
        fill("["), fill("[{"), fill('[{"binary":{"package":'), fill('{"a":'), fill('"\\u0000'),
        fill('[{"version":{"major":21},"binary":{"os":"mac"}},'), fill(" "),
    ],
    "fuzz_simple_index": [
        fill("["), fill('{"a":'), fill('"\\u0000'),
        b'{"meta":{"api-version":"1.1"},"name":"pyspark","files":[' + fill('{"filename":"pyspark-9.9.9.tar.gz"},', "{}]}"),
        b'{"meta":{"api-version":"1.1"},"name":"pyspark","files":[],"versions":[' + fill('"4.0.1",', '"4.0.2"]}'),
        b'{"meta":{"api-version":"1.1"},"name":"pyspark","files":[],"versions":[' + fill('"1.0.0",', '"2.0.0"]}'),
    ],
    "fuzz_answers": [
        fill(" "), fill("9"), fill("-"), fill("\x1b"), fill(b"\xc2"), fill(b"\xf0\x9f"), fill("y"),
    ],
}


def main():
    root = sys.argv[1]
    for target, inputs in SHAPES.items():
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for i, data in enumerate(inputs):
            with open(os.path.join(folder, f"shape-{i}"), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
