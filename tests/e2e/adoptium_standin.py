"""A loopback stand-in of the Eclipse Adoptium API (v3): `/v3/assets/latest/{major}/hotspot`
answers what the real one does (a JSON list of assets, or 404 with an errorMessage) and
`/download/<name>` serves the package, honestly or in a hostile way."""

import hashlib
import http.server
import json
import threading

import support


def asset(major, full, link, data, name="OpenJDK-jdk_x64_linux_hotspot.tar.gz", checksum=None,
          size=None):
    """One element of the API's answer, with the fields the real API has."""
    numbers, build = full.split("+")
    parts = [int(p) for p in numbers.split(".")] + [0, 0]
    return {
        "binary": {
            "architecture": "x64", "os": "linux", "image_type": "jdk", "jvm_impl": "hotspot",
            "heap_size": "normal", "project": "jdk", "scm_ref": f"jdk-{full}_adopt",
            "updated_at": "2026-04-22T10:00:00Z", "download_count": 1,
            "package": {
                "checksum": checksum or hashlib.sha256(data).hexdigest(),
                "checksum_link": link + ".sha256.txt",
                "download_count": 1,
                "link": link,
                "metadata_link": link + ".json",
                "name": name,
                "signature_link": link + ".sig",
                "size": len(data) if size is None else size,
            },
        },
        "release_link": f"https://github.com/adoptium/temurin{major}-binaries/releases/tag/jdk-{full}",
        "release_name": f"jdk-{full}",
        "vendor": "eclipse",
        "version": {
            "build": int(build), "major": parts[0], "minor": parts[1], "security": parts[2],
            "openjdk_version": f"{full}-LTS", "semver": f"{numbers}+{build}",
        },
    }


class Standin:
    """The server and what it serves: `builds[major]` is the list answered for that major (none:
    404); `packages[name]` is (bytes, mode) with mode "ok", "stall" (half, then silence) or
    "flood" (endless bytes)."""

    def __init__(self):
        self.builds = {}
        self.packages = {}
        self.downloads = 0
        self.stop = threading.Event()
        standin = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                path = self.path.split("?")[0]
                if path.startswith("/v3/assets/latest/"):
                    major = path.split("/")[4]
                    if isinstance(standin.builds.get(major), bytes):  # a mirror gone wrong
                        return self.answer(200, standin.builds[major], "text/html")
                    if major in standin.builds:
                        return self.answer(200, json.dumps(standin.builds[major]).encode())
                    return self.answer(404, json.dumps(
                        {"errorMessage": "No releases match the request"}).encode())
                if path.startswith("/download/") and path[10:] in standin.packages:
                    standin.downloads += 1
                    data, mode = standin.packages[path[10:]]
                    return self.serve(data, mode)
                self.answer(404, b"not found")

            def answer(self, status, body, kind="application/json"):
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def serve(self, data, mode):
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                if mode != "flood":
                    self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                try:
                    if mode == "ok":
                        self.wfile.write(data)
                    elif mode == "stall":
                        self.wfile.write(data[:len(data) // 2])
                        self.wfile.flush()
                        standin.stop.wait(120)
                    elif mode == "flood":
                        chunk = b"\0" * 65536
                        while not standin.stop.is_set():
                            self.wfile.write(chunk)
                except OSError:
                    pass

        self.servers = []
        self.server = support.serve_http("127.0.0.1", 0, Handler, self.servers)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}"

    def offer(self, major, full, data, mode="ok", **fields):
        name = f"jdk{major}-{len(self.packages)}.tar.gz"
        self.packages[name] = (data, mode)
        self.builds[str(major)] = [asset(major, full, f"{self.url}/download/{name}", data,
                                         **fields)]

    def close(self):
        self.stop.set()
        for server in self.servers:
            server.shutdown()
            server.server_close()
