"""Shared pieces of the end-to-end tests: the built plo, a real venv, stand-in wheels, Java homes."""

import atexit
import base64
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

PLO = os.environ.get("PLO_BINARY") or os.path.join(
    os.path.dirname(__file__), "..", "..", "build", "plo")
JAVA17 = "/usr/lib/jvm/java-17-openjdk-amd64"
JAVA25 = "/usr/lib/jvm/temurin-25-jdk-amd64"
BASE_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable



def has_java(home):
    return os.access(os.path.join(home, "bin", "java"), os.X_OK)


def require_java(home):
    if not has_java(home):
        raise unittest.SkipTest(f"no Java at {home}")


def class_file(major, sleep_ms=None):
    """A class PloProbe with an empty main (or one that sleeps), of the given class-file major.

    A JVM older than the major refuses it with UnsupportedClassVersionError, as with real Spark.
    """
    def utf8(text):
        data = text.encode()
        return b"\x01" + struct.pack(">H", len(data)) + data

    pool = [utf8("PloProbe"), b"\x07\x00\x01", utf8("java/lang/Object"), b"\x07\x00\x03",
            utf8("main"), utf8("([Ljava/lang/String;)V"), utf8("Code")]
    count = 8
    code = b"\xb1"  # return
    max_stack = 0
    if sleep_ms is not None:
        pool += [utf8("java/lang/Thread"), b"\x07\x00\x08", utf8("sleep"), utf8("(J)V"),
                 b"\x0c\x00\x0a\x00\x0b", b"\x0a\x00\x09\x00\x0c", b"\x05" + struct.pack(">q", sleep_ms)]
        count = 16  # a long takes two slots
        code = b"\x14\x00\x0e" + b"\xb8\x00\x0d" + b"\xb1"  # ldc2_w, invokestatic, return
        max_stack = 2
    code_attr = struct.pack(">HHI", max_stack, 1, len(code)) + code + struct.pack(">HH", 0, 0)
    method = struct.pack(">HHHH", 0x0009, 5, 6, 1) + struct.pack(">HI", 7, len(code_attr)) + code_attr
    return (b"\xca\xfe\xba\xbe" + struct.pack(">HHH", 0, major, count) + b"".join(pool) +
            struct.pack(">HHHHHH", 0x0021, 2, 4, 0, 0, 1) + method + struct.pack(">H", 0))


SQL_MODULE = '''
import os, shutil, subprocess, sys

class SparkSession:
    class Builder:
        def master(self, value): return self
        def appName(self, value): return self
        def config(self, key, value): return self
        def getOrCreate(self):
            # Like spark-class: JAVA_HOME's java, else java on PATH.
            home = os.environ.get("JAVA_HOME")
            java = os.path.join(home, "bin", "java") if home else shutil.which("java")
            if not java or not os.access(java, os.X_OK):
                raise RuntimeError("[JAVA_GATEWAY_EXITED] Java gateway process exited before sending its port number.")
            here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
            probe = subprocess.run([java, "{marker}", "-cp", here, "PloProbe"], capture_output=True, text=True)
            if probe.returncode != 0:
                sys.stderr.write(probe.stderr)
                raise RuntimeError("[JAVA_GATEWAY_EXITED] Java gateway process exited before sending its port number.")
            return SparkSession()
    builder = Builder()

    def stop(self):
        pass
'''


def build_wheel(folder, name, version, files):
    """Writes a minimal wheel of `files` (archive path -> bytes or text) into folder."""
    dist = f"{name.replace('-', '_')}-{version}.dist-info"
    files = dict(files)
    files[f"{dist}/METADATA"] = f"Metadata-Version: 2.1\nName: {name}\nVersion: {version}\n"
    files[f"{dist}/WHEEL"] = "Wheel-Version: 1.0\nGenerator: plo-tests\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    record = []
    path = os.path.join(folder, f"{name.replace('-', '_')}-{version}-py3-none-any.whl")
    with zipfile.ZipFile(path, "w") as wheel:
        for arcname, content in files.items():
            data = content.encode() if isinstance(content, str) else content
            wheel.writestr(arcname, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            record.append(f"{arcname},sha256={digest},{len(data)}")
        record.append(f"{dist}/RECORD,,")
        wheel.writestr(f"{dist}/RECORD", "\n".join(record) + "\n")
    return path


def build_pyspark_wheel(folder, version, marker, class_major=52, sleep_ms=None):
    """A stand-in pyspark whose session start runs a real JVM with `marker` on its command line."""
    return build_wheel(folder, "pyspark", version, {
        "pyspark/__init__.py": "from pyspark.version import __version__\n",
        "pyspark/version.py": f'__version__: str = "{version}"\n',
        "pyspark/sql/__init__.py": SQL_MODULE.replace("{marker}", marker),
        "pyspark/PloProbe.class": class_file(class_major, sleep_ms),
    })


def build_databricks_wheel(folder, broken=False):
    body = "raise RuntimeError('broken client')\n" if broken else "class DatabricksSession:\n    pass\n"
    return build_wheel(folder, "databricks-connect", "16.4.0", {
        "databricks/__init__.py": "",
        "databricks/connect/__init__.py": body,
    })


def fake_java_home(folder, version_text, implementor=None, java_version_output=None):
    """A Java home with a release file and a bin/java that prints a `java -version` text."""
    os.makedirs(os.path.join(folder, "bin"), exist_ok=True)
    if version_text is not None:
        lines = [f'JAVA_VERSION="{version_text}"']
        if implementor:
            lines.append(f'IMPLEMENTOR="{implementor}"')
        with open(os.path.join(folder, "release"), "w") as f:
            f.write("\n".join(lines) + "\n")
    output = java_version_output or f'openjdk version "{version_text}"\\nOpenJDK Runtime Environment (build x)\\n'
    java = os.path.join(folder, "bin", "java")
    with open(java, "w") as f:
        f.write(f"#!/bin/sh\nprintf '{output}' >&2\nexit 1\n")
    os.chmod(java, 0o755)
    return folder


class Venv:
    """A real virtual environment whose pip installs only from a local folder of wheels."""

    def __init__(self, root, wheels, with_pip=True):
        self.root = root
        self.wheels = wheels
        args = [BASE_PYTHON, "-m", "venv", root] + ([] if with_pip else ["--without-pip"])
        subprocess.run(args, check=True)
        self.python = os.path.join(root, "bin", "python")

    def pip(self, *args, check=True):
        return subprocess.run([self.python, "-m", "pip", *args], env=pip_env(self.wheels),
                              capture_output=True, text=True, check=check)

    def installed_pyspark(self):
        shown = self.pip("show", "pyspark", check=False)
        for line in shown.stdout.splitlines():
            if line.startswith("Version: "):
                return line[len("Version: "):]
        return None

    def set_pyspark(self, version):
        if version is None:
            self.pip("uninstall", "-y", "pyspark")
        elif self.installed_pyspark() != version:
            self.pip("install", f"pyspark=={version}")


def pip_env(wheels):
    return {
        "PIP_NO_INDEX": "1",
        "PIP_FIND_LINKS": wheels,
        "PIP_CONFIG_FILE": "/dev/null",
        "PIP_DISABLE_PIP_VERSION_CHECK": "1",
        "PIP_NO_CACHE_DIR": "1",
        "PATH": "/usr/bin:/bin",
        "HOME": os.environ.get("HOME", "/tmp"),
    }


# plo keeps interpreter answers under XDG_CACHE_HOME: the tests' go to a folder of their own.
CACHE_HOME = tempfile.mkdtemp(prefix="plo-e2e-cache-")
atexit.register(shutil.rmtree, CACHE_HOME, True)


def plo_env(venv=None, java_home=None, path=None, **extra):
    """An environment for plo with nothing of the developer's machine leaking in."""
    env = pip_env(venv.wheels if venv else "/nonexistent")
    env["XDG_CACHE_HOME"] = CACHE_HOME
    env["PATH"] = path if path is not None else "/usr/bin:/bin"
    if venv:
        env["PLO_PYTHON"] = venv.python
    if java_home:
        env["JAVA_HOME"] = java_home
    env.update(extra)
    return env


def run_plo(args, env, stdin="", timeout=120):
    return subprocess.run([PLO, *args], env=env, input=stdin, capture_output=True, text=True,
                          timeout=timeout)


def standin_jvms(marker):
    """Command lines of stand-in JVMs (carrying `marker`) still running."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode(errors="replace")
            with open(f"/proc/{pid}/stat") as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if marker in cmdline and state != "Z":
            found.append(cmdline)
    return found


class Workspace:
    """A temporary folder with wheels built for the tests and one venv."""

    VERSIONS = {
        "3.5.9": dict(class_major=52),                       # runs on Java 8 and later
        "4.1.3": dict(class_major=61),                       # needs Java 17
        "4.0.4": dict(class_major=69),                       # needs Java 25: fails on 17
        "3.4.4": dict(class_major=52, sleep_ms=1_000_000),   # hangs in the JVM
    }

    def __init__(self, with_pip=True):
        self.tmp = tempfile.TemporaryDirectory(prefix="plo-e2e-")
        self.root = self.tmp.name
        self.wheels = os.path.join(self.root, "wheels")
        os.makedirs(self.wheels)
        # Marks this workspace's JVMs apart from those of tests running beside it.
        self.marker = f"-Dplo.e2e.standin={os.path.basename(self.root)}"
        for version, options in self.VERSIONS.items():
            build_pyspark_wheel(self.wheels, version, self.marker, **options)
        self.venv = Venv(os.path.join(self.root, "venv"), self.wheels, with_pip)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def cleanup(self):
        self.tmp.cleanup()


def lines(text):
    return text.split("\n")
