"""A PySpark line resolves to the newest patch the package index lists: plo asks the index pip
would use (PIP_INDEX_URL: a stand-in on loopback that real pip installs from), keeps its answer a
day, and keeps to its own table with pip's no-index (an index out of reach: the unit tests)."""

import hashlib
import http.server
import json
import os
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

JSON = "application/vnd.pypi.simple.v1+json"
ws = server = None
plo_pages = 0  # the project pages plo asked for (by its User-Agent)


def ahead(steps):
    """A 4.1 patch `steps` ahead of plo's table (1 is support.newer_patch("4.1"))."""
    head, _, last = newest("4.1").rpartition(".")
    return f"{head}.{int(last) + steps}"


def listed_files():
    """The page's files: the workspace's pyspark wheels but ahead(4), one patch listed only as a
    yanked file and one only as a pre-release, as (entry, version)."""
    files = []
    for name in sorted(os.listdir(ws.wheels)):
        if name.startswith("pyspark-") and ahead(4) not in name:
            with open(os.path.join(ws.wheels, name), "rb") as f:
                files.append(({"filename": name, "url": f"/files/{name}", "yanked": False,
                               "hashes": {"sha256": hashlib.sha256(f.read()).hexdigest()}},
                              name.split("-")[1]))
    for version, yanked in ((ahead(2), "broken build"), (ahead(3) + "rc1", False)):
        files.append(({"filename": f"pyspark-{version}.tar.gz", "url": "/files/none",
                       "yanked": yanked, "hashes": {"sha256": "0" * 64}}, version))
    return files


def quality(accept, media):
    """The quality an Accept header gives a media type (exactly, by type/*, or by */*)."""
    best = 0.0
    for part in accept.split(","):
        fields = [f.strip() for f in part.split(";")]
        if fields[0] in (media, media.split("/")[0] + "/*", "*/*"):
            q = next((f[2:] for f in fields[1:] if f.startswith("q=")), "1")
            best = max(best, float(q))
    return best


class Index(http.server.BaseHTTPRequestHandler):
    """The project page as PyPI negotiates it (JSON or HTML, whichever the Accept header rates
    higher, JSON on a tie; 406 for neither), the files, and 404 for anything else."""

    def log_message(self, *args):
        pass

    def answer(self, status, body, media):
        self.send_response(status)
        self.send_header("Content-Type", media)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        global plo_pages
        name = os.path.join(ws.wheels, os.path.basename(self.path))
        if self.path.startswith("/files/") and os.path.isfile(name):
            with open(name, "rb") as f:
                return self.answer(200, f.read(), "application/octet-stream")
        if self.path != "/simple/pyspark/":
            return self.answer(404, b"not found", "text/plain")
        plo_pages += self.headers.get("User-Agent", "").startswith("plo/")
        accept = self.headers.get("Accept", "*/*")
        files = listed_files()
        if max(quality(accept, JSON), quality(accept, "text/html")) == 0:
            return self.answer(406, b"not acceptable", "text/plain")
        if quality(accept, JSON) >= quality(accept, "text/html"):
            page = {"meta": {"api-version": "1.1"}, "name": "pyspark",
                    "versions": sorted({v for _, v in files}), "files": [f for f, _ in files]}
            return self.answer(200, json.dumps(page).encode(), JSON)
        anchors = "".join(f'<a href="{f["url"]}">{f["filename"]}</a><br/>' for f, _ in files)
        return self.answer(200, f"<html><body>{anchors}</body></html>".encode(), "text/html")


def setUpModule():
    global ws, server
    support.require_java(JAVA17)
    ws = support.Workspace()
    for steps in (1, 4):  # 4: installed from the local wheels only, newer than the index lists
        support.build_pyspark_wheel(ws.wheels, ahead(steps), ws.marker, class_major=61)
    server = support.serve_http("127.0.0.1", 0, Index, [])


def tearDownModule():
    server.shutdown()
    server.server_close()
    ws.cleanup()


class PackageIndex(unittest.TestCase):
    def env(self, **extra):
        """plo and pip both asking the stand-in (no find-links, no no-index), a cache of its own."""
        env = plo_env(ws.venv, JAVA17, XDG_CACHE_HOME=ws.path("cache-" + self._testMethodName),
                      PIP_INDEX_URL=f"http://127.0.0.1:{server.server_address[1]}/simple")
        del env["PIP_NO_INDEX"], env["PIP_FIND_LINKS"]
        return {**env, **extra}

    def set_line(self, line):
        result = run_plo(["spark", "set-version", line, "--yes"], self.env(), timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result

    def test_a_line_takes_the_index_patch_and_never_replaces_a_newer_one(self):
        ws.venv.set_pyspark(newest("3.5"))
        asked = plo_pages
        result = self.set_line("4.1")
        self.assertEqual(ws.venv.installed_pyspark(), ahead(1))
        self.assertIn(f"4.1: the package index has {ahead(1)}, newer than plo's table\n",
                      result.stderr)
        # Again: the answer comes from the cache, and nothing changes.
        self.assertIn(f"PySpark {ahead(1)} is already installed\n", self.set_line("4.1").stdout)
        self.assertEqual(plo_pages, asked + 1)
        # A patch newer than the index lists stays, as the same version asked would.
        ws.venv.set_pyspark(ahead(4))
        self.assertIn(f"PySpark {ahead(4)} is already installed\n", self.set_line("4.1").stdout)
        self.assertEqual(ws.venv.installed_pyspark(), ahead(4))

    def test_versions_name_the_index_patch_and_keep_the_table(self):
        doc = run_plo(["spark", "versions", "--json"], self.env())
        self.assertEqual(json.loads(doc.stdout)["index"], {
            "url": self.env()["PIP_INDEX_URL"], "source": "index", "reason": None,
            "newer": [{"version": ahead(1), "major_minor": "4.1", "catalogue": newest("4.1")}]})
        self.assertIn(f"plo: the package index has PySpark {ahead(1)}, newer", doc.stderr)
        # pip's no-index: plo's table, said only with -v (the user's own choice), the same matrix.
        offline = run_plo(["spark", "versions"], self.env(PIP_NO_INDEX="1"))
        self.assertEqual(run_plo(["spark", "versions"], self.env()).stdout, offline.stdout)
        self.assertEqual(offline.stderr, "")
        noted = run_plo(["-v", "spark", "versions", "--json"], self.env(PIP_NO_INDEX="1"))
        self.assertEqual(json.loads(noted.stdout)["index"]["source"], "catalogue")
        self.assertIn("plo: using plo's version table, not the package index: pip's no-index is "
                      "set (PIP_NO_INDEX)\n", noted.stderr)

if __name__ == "__main__":
    unittest.main()
