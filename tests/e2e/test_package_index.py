"""A PySpark line resolves to the newest patch the package index lists: plo asks the index pip
would use (PIP_INDEX_URL here: a stand-in on loopback that real pip installs from), keeps its
answer a day, and falls back to its own table when pip's no-index is set or the index is out of
reach."""

import hashlib
import html
import http.server
import json
import os
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo

ws = None
index = None

JSON_TYPE = "application/vnd.pypi.simple.v1+json"
HTML_TYPE = "application/vnd.pypi.simple.v1+html"


class IndexStandin:
    """A PEP 503/691/700 simple index on loopback serving the workspace's pyspark wheels: the
    project page as JSON or HTML by the request's Accept (as PyPI negotiates it; 406 where neither
    is acceptable), the files themselves, 404 for other projects, and a redirect to a name's
    normal form. `hidden` wheels are not listed; `extra` holds file entries listed without a file
    behind them (a yanked one, a pre-release).
    `plo_pages` counts the page requests plo made (by its User-Agent)."""

    def __init__(self, wheels, hidden=()):
        self.wheels = wheels
        self.hidden = {f"pyspark-{v}-py3-none-any.whl" for v in hidden}
        self.extra = []
        self.plo_pages = 0
        self.servers = []
        standin = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def send(self, status, body=b"", content_type="text/plain", headers=()):
                self.send_response(status)
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(len(body)))
                for name, value in headers:
                    self.send_header(name, value)
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                path = self.path.split("?")[0]
                if path.startswith("/files/"):
                    name = os.path.basename(path)
                    file = os.path.join(standin.wheels, name)
                    if not os.path.isfile(file):
                        return self.send(404, b"no such file")
                    with open(file, "rb") as f:
                        return self.send(200, f.read(), "application/octet-stream")
                parts = [p for p in path.split("/") if p]
                if len(parts) != 2 or parts[0] != "simple":
                    return self.send(404, b"not found")
                name = parts[1]
                normal = name.lower().replace("_", "-").replace(".", "-")
                if name != normal or not path.endswith("/"):
                    return self.send(301, headers=[("Location", f"/simple/{normal}/")])
                if normal != "pyspark":
                    return self.send(404, b"not found")
                if self.headers.get("User-Agent", "").startswith("plo/"):
                    standin.plo_pages += 1
                chosen = negotiate(self.headers.get("Accept", "*/*"))
                if chosen is None:
                    return self.send(406, b"not acceptable")
                files = standin.files()
                if chosen == JSON_TYPE:
                    page = {"meta": {"api-version": "1.1"}, "name": "pyspark",
                            "versions": sorted({f.pop("version") for f in files}), "files": files}
                    return self.send(200, json.dumps(page).encode(), JSON_TYPE)
                anchors = "".join(
                    f'<a href="{html.escape(f["url"])}#sha256={f["hashes"]["sha256"]}"'
                    + (' data-yanked=""' if f["yanked"] else "") + f'>{f["filename"]}</a><br/>'
                    for f in files)
                body = (f"<!DOCTYPE html><html><head><meta name=\"pypi:repository-version\" "
                        f"content=\"1.1\"></head><body>{anchors}</body></html>").encode()
                return self.send(200, body, chosen)

        self.server = support.serve_http("127.0.0.1", 0, Handler, self.servers)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/simple"

    def files(self):
        entries = []
        for name in sorted(os.listdir(self.wheels)):
            if not name.startswith("pyspark-") or not name.endswith(".whl") or name in self.hidden:
                continue
            with open(os.path.join(self.wheels, name), "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            entries.append({"filename": name, "url": f"/files/{name}", "hashes": {"sha256": digest},
                            "yanked": False, "version": name.split("-")[1]})
        return entries + [dict(e) for e in self.extra]

    def close(self):
        for server in self.servers:
            server.shutdown()
            server.server_close()


def negotiate(accept):
    """The media type to answer for an Accept header, as PyPI chooses among its three: the
    acceptable one with the highest quality, JSON first on a tie; None when none is."""
    offered = [JSON_TYPE, HTML_TYPE, "text/html"]
    best, best_q = None, 0.0
    for part in accept.split(","):
        fields = [f.strip() for f in part.split(";")]
        q = 1.0
        for field in fields[1:]:
            if field.startswith("q="):
                try:
                    q = float(field[2:])
                except ValueError:
                    q = 0.0
        for media in offered:
            if fields[0] in (media, "*/*", media.split("/")[0] + "/*") and q > best_q:
                best, best_q = media, q
                break
    return best


def ahead(steps):
    """A 4.1 patch `steps` ahead of plo's table (1 is support.newer_patch("4.1"))."""
    head, _, last = newest("4.1").rpartition(".")
    return f"{head}.{int(last) + steps}"


def setUpModule():
    global ws, index
    support.require_java(JAVA17)
    ws = support.Workspace()
    # The index lists 4.1 one patch ahead of plo's table; two ahead only yanked, three only as a
    # pre-release, which no line request may take. Four ahead is no file of the index: installed
    # from the local wheels, it is newer than anything the index lists.
    for steps in (1, 4):
        support.build_pyspark_wheel(ws.wheels, ahead(steps), ws.marker, class_major=61)
    index = IndexStandin(ws.wheels, hidden={ahead(4)})
    index.extra = [
        {"filename": f"pyspark-{ahead(2)}.tar.gz", "url": f"/files/pyspark-{ahead(2)}.tar.gz",
         "hashes": {"sha256": "0" * 64}, "yanked": "broken build", "version": ahead(2)},
        {"filename": f"pyspark-{ahead(3)}rc1.tar.gz", "url": f"/files/pyspark-{ahead(3)}rc1.tar.gz",
         "hashes": {"sha256": "0" * 64}, "yanked": False, "version": f"{ahead(3)}rc1"},
    ]


def tearDownModule():
    index.close()
    ws.cleanup()


class PackageIndex(unittest.TestCase):
    def setUp(self):
        self.cache = ws.path("cache-" + self._testMethodName)

    def env(self, **extra):
        """plo and pip both asking the stand-in index (no find-links, no no-index)."""
        env = plo_env(ws.venv, JAVA17, XDG_CACHE_HOME=self.cache, PIP_INDEX_URL=index.url)
        for name in ("PIP_NO_INDEX", "PIP_FIND_LINKS"):
            env.pop(name)
        env.update(extra)
        return env

    def test_a_line_takes_the_index_patch_and_never_replaces_a_newer_one(self):
        ws.venv.set_pyspark(newest("3.5"))
        asked = index.plo_pages
        result = run_plo(["spark", "set-version", "4.1", "--yes"], self.env(), timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), ahead(1))
        self.assertIn(f"4.1: the package index has {ahead(1)}, newer than plo's table\n",
                      result.stderr)
        self.assertIn(f"PySpark {ahead(1)} installed successfully\n", result.stdout)

        # The same line again: the index's answer comes from the cache, and nothing changes.
        again = run_plo(["spark", "set-version", "4.1", "--yes"], self.env())
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertIn(f"PySpark {ahead(1)} is already installed\n", again.stdout)
        self.assertEqual(index.plo_pages, asked + 1)

        # A patch newer than anything the index lists stays, as the same version asked would.
        ws.venv.set_pyspark(ahead(4))
        kept = run_plo(["spark", "set-version", "4.1", "--yes"], self.env())
        self.assertEqual(kept.returncode, 0, kept.stdout + kept.stderr)
        self.assertTrue(kept.stdout.endswith(f"PySpark {ahead(4)} is already installed\n\n"),
                        kept.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), ahead(4))

    def test_versions_name_the_index_patch_and_keep_the_table(self):
        ws.venv.set_pyspark(newest("3.5"))
        doc = run_plo(["spark", "versions", "--json"], self.env())
        self.assertEqual(doc.returncode, 0, doc.stderr)
        self.assertEqual(json.loads(doc.stdout)["index"], {
            "url": index.url, "source": "index", "reason": None,
            "newer": [{"version": ahead(1), "major_minor": "4.1", "catalogue": newest("4.1")}]})
        self.assertIn(f"plo: the package index has PySpark {ahead(1)}, newer than plo's table",
                      doc.stderr)

        text = run_plo(["spark", "versions"], self.env())
        offline = run_plo(["spark", "versions"], self.env(PIP_NO_INDEX="1"))
        self.assertEqual(text.stdout, offline.stdout)
        # pip's no-index is the user's own choice: said only with -v.
        self.assertEqual(offline.stderr, "")
        noted = run_plo(["-v", "spark", "versions"], self.env(PIP_NO_INDEX="1"))
        self.assertIn("plo: using plo's version table, not the package index: "
                      "pip's no-index is set (PIP_NO_INDEX)\n", noted.stderr)

    def test_offline_or_out_of_reach_means_the_table(self):
        asked = index.plo_pages
        for extra, reason in (({"PIP_NO_INDEX": "1"}, "pip's no-index is set (PIP_NO_INDEX)"),
                              ({"PIP_INDEX_URL": "http://127.0.0.1:1/simple"},
                               "http://127.0.0.1:1/simple did not answer")):
            doc = run_plo(["spark", "versions", "--json"], self.env(**extra))
            self.assertEqual(doc.returncode, 0, doc.stderr)
            listing = json.loads(doc.stdout)["index"]
            self.assertEqual((listing["source"], listing["newer"]), ("catalogue", []))
            self.assertTrue(listing["reason"].startswith(reason), listing)
            if "PIP_NO_INDEX" not in extra:
                self.assertIn(f"plo: using plo's version table, not the package index: {reason}",
                              doc.stderr)
        self.assertEqual(index.plo_pages, asked)


if __name__ == "__main__":
    unittest.main()
