"""Shared pieces of the end-to-end tests: the built plo, a real venv, stand-in wheels, Java homes."""

import atexit
import base64
import functools
import hashlib
import http.server
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
import zipfile

PLO = os.environ.get("PLO_BINARY") or os.path.join(
    os.path.dirname(__file__), "..", "..", "build", "plo")
JAVA17 = "/usr/lib/jvm/java-17-openjdk-amd64"
JAVA25 = "/usr/lib/jvm/temurin-25-jdk-amd64"
BASE_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable



_resting_kib = None


def memory_ceiling_kib(margin_mib=128):
    """The most memory a bounded plo may reach: what `plo --version` itself takes plus a margin.
    Relative, because a sanitized binary rests near 200 MiB (its relocated checks' data alone) and
    grows with the code; a flood read without a cap still goes far past it."""
    global _resting_kib
    if _resting_kib is None:
        process = subprocess.Popen([PLO, "--version"], stdout=subprocess.DEVNULL)
        _, _, usage = os.wait4(process.pid, 0)
        _resting_kib = usage.ru_maxrss
    return _resting_kib + margin_mib * 1024


def pyenv_python(minor):
    """The pyenv-built interpreter of Python `minor` ("3.10"), or None where it is missing."""
    root = os.path.expanduser("~/.pyenv/versions")
    found = sorted(v for v in (os.listdir(root) if os.path.isdir(root) else [])
                   if v.startswith(minor + ".") and v[len(minor) + 1:].isdigit())
    python = os.path.join(root, found[-1], "bin", "python") if found else None
    return python if python and os.access(python, os.X_OK) else None


def has_java(home):
    return os.access(os.path.join(home, "bin", "java"), os.X_OK)


def require_java(home):
    if not has_java(home):
        raise unittest.SkipTest(f"no Java at {home}")


class _ConstantPool:
    """Just enough of a class file's constant pool for a main method that calls static methods."""

    def __init__(self):
        self.entries = []
        self.index = {}

    def _add(self, key, data, slots=1):
        if key not in self.index:
            self.index[key] = len(self.entries) + 1
            self.entries.append(data)
            if slots == 2:
                self.entries.append(None)
        return self.index[key]

    def utf8(self, text):
        data = text.encode()
        return self._add(("u", text), b"\x01" + struct.pack(">H", len(data)) + data)

    def cls(self, name):
        return self._add(("c", name), b"\x07" + struct.pack(">H", self.utf8(name)))

    def method(self, owner, name, descriptor):
        nat = self._add(("n", name, descriptor),
                        b"\x0c" + struct.pack(">HH", self.utf8(name), self.utf8(descriptor)))
        return self._add(("m", owner, name, descriptor),
                         b"\x0a" + struct.pack(">HH", self.cls(owner), nat))

    def long(self, value):
        return self._add(("j", value), b"\x05" + struct.pack(">q", value), slots=2)

    def count(self):
        return len(self.entries) + 1

    def data(self):
        return b"".join(e for e in self.entries if e is not None)


def class_file(name, major, body="empty", sleep_ms=0):
    """A class `name` whose main returns at once ("empty"), sleeps ("sleep"), or asks for the
    current Subject the way Spark 3 does at start ("getSubject"), of the given class-file major.

    A JVM older than the major refuses it with UnsupportedClassVersionError; Java 23 and later
    throw UnsupportedOperationException from getSubject, as they do for Spark 3.5.
    """
    pool = _ConstantPool()
    this_class = pool.cls(name)
    super_class = pool.cls("java/lang/Object")
    main_name, main_type, code_name = pool.utf8("main"), pool.utf8("([Ljava/lang/String;)V"), pool.utf8("Code")
    if body == "sleep":
        code = (b"\x14" + struct.pack(">H", pool.long(sleep_ms)) +
                b"\xb8" + struct.pack(">H", pool.method("java/lang/Thread", "sleep", "(J)V")))
        max_stack = 2
    elif body == "getSubject":
        context = pool.method("java/security/AccessController", "getContext",
                              "()Ljava/security/AccessControlContext;")
        subject = pool.method("javax/security/auth/Subject", "getSubject",
                              "(Ljava/security/AccessControlContext;)Ljavax/security/auth/Subject;")
        code = b"\xb8" + struct.pack(">H", context) + b"\xb8" + struct.pack(">H", subject) + b"\x57"
        max_stack = 1
    else:
        code, max_stack = b"", 0
    code += b"\xb1"  # return
    code_attr = struct.pack(">HHI", max_stack, 1, len(code)) + code + struct.pack(">HH", 0, 0)
    method = struct.pack(">HHHH", 0x0009, main_name, main_type, 1) + \
        struct.pack(">HI", code_name, len(code_attr)) + code_attr
    return (b"\xca\xfe\xba\xbe" + struct.pack(">HHH", 0, major, pool.count()) + pool.data() +
            struct.pack(">HHHHHH", 0x0021, this_class, super_class, 0, 0, 1) + method +
            struct.pack(">H", 0))


def jar(classes):
    """A jar (a zip) holding `classes` (class name -> class-file bytes)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n")
        for name, data in classes.items():
            archive.writestr(name + ".class", data)
    return buffer.getvalue()


# The stand-in follows PySpark's launch path: SparkSession -> SparkContext -> launch_gateway, which
# starts <SPARK_HOME>/./bin/spark-submit with SPARK_HOME from _find_spark_home().
FIND_SPARK_HOME = '''
import os, sys

def _find_spark_home():
    # An environment value is trusted as it is, even an empty one.
    if "SPARK_HOME" in os.environ:
        return os.environ["SPARK_HOME"]

    def is_spark_home(path):
        return os.path.isfile(os.path.join(path, "bin/spark-submit")) and \\
            os.path.isdir(os.path.join(path, "jars"))

    here = os.path.dirname(os.path.realpath(__file__))
    for path in (here, os.path.join(here, "../"), os.getcwd()):
        if is_spark_home(path):
            return os.path.abspath(path)
    print("Could not find valid SPARK_HOME while searching {0}".format(here), file=sys.stderr)
    sys.exit(-1)
'''

ERRORS_MODULE = '''
class PySparkRuntimeError(RuntimeError):
    MESSAGES = {"JAVA_GATEWAY_EXITED": "Java gateway process exited before sending its port number."}

    def __init__(self, error_class, message_parameters=None):
        super().__init__("[{0}] {1}".format(error_class, self.MESSAGES[error_class]))
'''

JAVA_GATEWAY = '''
import os, shlex, shutil, signal, tempfile, time
from subprocess import Popen, PIPE
from pyspark.find_spark_home import _find_spark_home
from pyspark.errors import PySparkRuntimeError

def launch_gateway():
    SPARK_HOME = _find_spark_home()
    command = [os.path.join(SPARK_HOME, "./bin/spark-submit")]
    command += shlex.split(os.environ.get("PYSPARK_SUBMIT_ARGS", "pyspark-shell"))
    conn_info_dir = tempfile.mkdtemp()
    try:
        conn_info_file = os.path.join(conn_info_dir, "conn_info")
        env = dict(os.environ)
        env["_PYSPARK_DRIVER_CONN_INFO_PATH"] = conn_info_file
        # As PySpark does: the JVM ignores Ctrl-C.
        proc = Popen(command, stdin=PIPE, env=env,
                     preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_IGN))
        while proc.poll() is None and not os.path.isfile(conn_info_file):
            time.sleep(0.1)
        if not os.path.isfile(conn_info_file):
            raise PySparkRuntimeError(error_class="JAVA_GATEWAY_EXITED", message_parameters={})
        return proc
    finally:
        shutil.rmtree(conn_info_dir)
'''

CONTEXT_MODULE = '''
from pyspark.java_gateway import launch_gateway

class SparkContext:
    def __init__(self):
        self._gateway = launch_gateway()

    def stop(self):
        self._gateway.stdin.close()
        self._gateway.wait()
'''

SQL_MODULE = '''
from pyspark.context import SparkContext

class SparkSession:
    class Builder:
        def master(self, value): return self
        def appName(self, value): return self
        def config(self, key, value): return self
        def getOrCreate(self):
            return SparkSession(SparkContext())
    builder = Builder()

    def __init__(self, sc):
        self._sc = sc

    def createDataFrame(self, data):
        # Spark 3.3 and older read a pandas frame's columns with iteritems, which pandas 2 removed
        # (SPARK-42593); 3.4 and newer read them with items.
        from pyspark.version import __version__
        line = tuple(int(p) for p in __version__.split(".")[:2])
        columns = data.iteritems() if line < (3, 4) else data.items()
        return DataFrame([(name, list(values)) for name, values in columns], type(data))

    def stop(self):
        self._sc.stop()


class DataFrame:
    def __init__(self, columns, frame_type):
        self._columns, self._frame_type = columns, frame_type

    def toPandas(self):
        return self._frame_type(dict(self._columns))
'''

SPARK_SUBMIT = '''#!/usr/bin/env bash
if [ -z "${SPARK_HOME}" ]; then
  export SPARK_HOME="$(cd "$(dirname "$0")"/..; pwd)"
fi
export PYTHONHASHSEED=0
exec "${SPARK_HOME}"/bin/spark-class org.apache.spark.deploy.SparkSubmit "$@"
'''

LOAD_SPARK_ENV = '''#!/usr/bin/env bash
if [ -z "${SPARK_HOME}" ]; then
  export SPARK_HOME="$(cd "$(dirname "$0")"/..; pwd)"
fi
if [ -z "$SPARK_ENV_LOADED" ]; then
  export SPARK_ENV_LOADED=1
  export SPARK_CONF_DIR="${SPARK_CONF_DIR:-"${SPARK_HOME}"/conf}"
  SPARK_ENV_SH="${SPARK_CONF_DIR}/spark-env.sh"
  if [[ -f "${SPARK_ENV_SH}" ]]; then
    set -a
    . "${SPARK_ENV_SH}"
    set +a
  fi
fi
'''

# The launcher JVM checks the class version; the driver JVM (SparkSubmit) is where Spark 3 asks
# for the Subject. The driver "reports its port" by writing the connection file PySpark waits for.
# As Spark's launcher does in client mode, the driver JVM gets spark.driver.defaultJavaOptions, then
# spark.driver.extraJavaOptions and --driver-java-options, from the arguments.
SPARK_CLASS = '''#!/usr/bin/env bash
driver_options() {
  local previous=""
  for word in "$@"; do
    case "$previous" in
      --conf) case "$word" in
                spark.driver.defaultJavaOptions=*|spark.driver.extraJavaOptions=*) echo "${word#*=}";;
              esac;;
      --driver-java-options) echo "$word";;
    esac
    previous="$word"
  done
}
read -ra DRIVER_OPTIONS <<< "$(driver_options "$@" | tr '\\n' ' ')"
if [ -z "${SPARK_HOME}" ]; then
  export SPARK_HOME="$(cd "$(dirname "$0")"/..; pwd)"
fi
. "${SPARK_HOME}"/bin/load-spark-env.sh
if [ -n "${JAVA_HOME}" ]; then
  RUNNER="${JAVA_HOME}/bin/java"
else
  if [ "$(command -v java)" ]; then
    RUNNER="java"
  else
    echo "JAVA_HOME is not set" >&2
    exit 1
  fi
fi
LAUNCH_CLASSPATH="${SPARK_HOME}/jars/*"
"$RUNNER" {marker} -Xmx128m -cp "$LAUNCH_CLASSPATH" org.apache.spark.launcher.Main "$@" || exit $?
"$RUNNER" {marker} -Xmx128m "${DRIVER_OPTIONS[@]}" -cp "$LAUNCH_CLASSPATH" "$@" || exit $?
if [ -n "$_PYSPARK_DRIVER_CONN_INFO_PATH" ]; then
  echo 4242 > "$_PYSPARK_DRIVER_CONN_INFO_PATH.tmp" && mv "$_PYSPARK_DRIVER_CONN_INFO_PATH.tmp" "$_PYSPARK_DRIVER_CONN_INFO_PATH"
fi
cat > /dev/null
'''


def smoke_test_script():
    """plo's smoke-test script, as its source holds it."""
    with open(os.path.join(os.path.dirname(__file__), "..", "..", "src", "spark",
                           "smoke_test.cpp")) as f:
        source = f.read()
    start = source.index("kSmokeTestScript =")
    literal = source[start:source.index(";\n", start)]
    pieces = re.findall(r'"((?:[^"\\]|\\.)*)"', literal)
    return "".join(pieces).encode().decode("unicode_escape")


def build_wheel(folder, name, version, files, executables=(), requires_python=None, metadata=""):
    """Writes a minimal wheel of `files` (archive path -> bytes or text) into folder; `metadata`
    holds further METADATA header lines ("Requires-Dist: ...\\n")."""
    dist = f"{name.replace('-', '_')}-{version}.dist-info"
    files = dict(files)
    files[f"{dist}/METADATA"] = f"Metadata-Version: 2.1\nName: {name}\nVersion: {version}\n{metadata}"
    if requires_python:  # pip refuses the wheel for another Python, as it does the real one
        files[f"{dist}/METADATA"] += f"Requires-Python: {requires_python}\n"
    files[f"{dist}/WHEEL"] = "Wheel-Version: 1.0\nGenerator: plo-tests\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    record = []
    path = os.path.join(folder, f"{name.replace('-', '_')}-{version}-py3-none-any.whl")
    with zipfile.ZipFile(path, "w") as wheel:
        for arcname, content in files.items():
            data = content.encode() if isinstance(content, str) else content
            info = zipfile.ZipInfo(arcname, date_time=(2026, 1, 1, 0, 0, 0))
            info.external_attr = (0o100755 if arcname in executables else 0o100644) << 16
            wheel.writestr(info, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            record.append(f"{arcname},sha256={digest},{len(data)}")
        record.append(f"{dist}/RECORD,,")
        wheel.writestr(f"{dist}/RECORD", "\n".join(record) + "\n")
    return path


def build_pyspark_wheel(folder, version, marker, class_major=52, driver="empty", sleep_ms=0,
                        extra_files=None, requires_python=None, metadata=""):
    """A stand-in pyspark that starts real JVMs (with `marker` on their command lines) the way
    PySpark does: `class_major` is the launcher's class-file version, `driver` what the driver's
    main does ("empty", "sleep" or "getSubject"); `metadata` holds further METADATA lines (its
    Requires-Dist, see pyspark_requires)."""
    scripts = {"pyspark/bin/spark-submit": SPARK_SUBMIT,
               "pyspark/bin/spark-class": SPARK_CLASS.replace("{marker}", marker),
               "pyspark/bin/load-spark-env.sh": LOAD_SPARK_ENV}
    return build_wheel(folder, "pyspark", version, {
        "pyspark/__init__.py": "from pyspark.version import __version__\n",
        "pyspark/version.py": f'__version__: str = "{version}"\n',
        "pyspark/find_spark_home.py": FIND_SPARK_HOME,
        "pyspark/errors/__init__.py": ERRORS_MODULE,
        "pyspark/java_gateway.py": JAVA_GATEWAY,
        "pyspark/context.py": CONTEXT_MODULE,
        "pyspark/sql/__init__.py": SQL_MODULE,
        **scripts,
        f"pyspark/jars/spark-launcher-{version}.jar":
            jar({"org/apache/spark/launcher/Main":
                 class_file("org/apache/spark/launcher/Main", class_major)}),
        f"pyspark/jars/spark-core-{version}.jar":
            jar({"org/apache/spark/deploy/SparkSubmit":
                 class_file("org/apache/spark/deploy/SparkSubmit", 52, driver, sleep_ms)}),
        **{f"pyspark/jars/{name}": jar({}) for name in bundled_jars(version)},
        **(extra_files or {}),
    }, executables=set(scripts), requires_python=requires_python, metadata=metadata)


def bundled_jars(version):
    """The names of the Scala library and Hadoop client jars the pip PySpark `version` ships:
    Scala 2.12 and Hadoop 3.3 for 3.x, Scala 2.13 and Hadoop 3.4 for 4.x."""
    if re.match(r"[0-3]\.", version):
        return ["scala-library-2.12.18.jar", "hadoop-client-api-3.3.4.jar"]
    return ["scala-library-2.13.16.jar", "hadoop-client-api-3.4.1.jar"]


def pyspark_requires(version):
    """The Requires-Dist and Provides-Extra lines of the real pyspark `version`'s METADATA (its
    py4j and the extras that name pandas, numpy, pyarrow and grpcio), as setup.py declares them:
    3.4.4 and 3.5.2 and newer bound numpy below 2 (SPARK-48710), 4.0 raised the minimums."""
    numbers = tuple(int(p) for p in re.findall(r"\d+", version)[:3])
    py4j = "0.10.9.5" if numbers < (3, 4) else "0.10.9.7" if numbers < (4, 0) else "0.10.9.9"
    numpy = "numpy>=1.15"
    if (3, 5, 2) <= numbers < (4, 0) or (3, 4, 4) <= numbers < (3, 5):
        numpy = "numpy<2,>=1.15"
    if numbers >= (4, 0):
        numpy, pandas, pyarrow = "numpy>=1.21", "pandas>=2.0.0", "pyarrow>=11.0.0"
    else:
        pandas, pyarrow = "pandas>=1.0.5", "pyarrow>=4.0.0" if numbers >= (3, 5) else "pyarrow>=1.0.0"
    extras = {"ml": [numpy], "mllib": [numpy], "sql": [pandas, pyarrow, numpy],
              "pandas_on_spark": [pandas, pyarrow, numpy]}
    if numbers >= (3, 4):
        grpcio = "grpcio>=1.48.1" if numbers < (3, 5) else "grpcio>=1.56.0" if numbers < (4, 0) \
            else "grpcio>=1.67.0"
        extras["connect"] = [pandas, pyarrow, grpcio, numpy]
    lines = [f"Requires-Dist: py4j=={py4j}"]
    for extra, requirements in extras.items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {r}; extra == "{extra}"' for r in requirements]
    return "\n".join(lines) + "\n"


# Stand-ins of the packages beside PySpark, with the real releases' Requires-Dist (the ones plo
# reads) and only the code the tests call: pandas' DataFrame (pandas 2 without iteritems, as
# pandas 2.0 removed it), numpy, delta-spark and what they pull in.
PANDAS_MODULE = '''
class DataFrame:
    def __init__(self, data):
        self._data = {name: list(values) for name, values in data.items()}

    def __len__(self):
        return len(next(iter(self._data.values()), []))

    def items(self):
        return iter(self._data.items())
'''
PANDAS_1_ITERITEMS = '''
    def iteritems(self):
        return self.items()
'''
COMPANION_REQUIRES = {
    "pandas 1.5.3": ["python-dateutil (>=2.8.1)", "pytz (>=2020.1)",
                     'numpy (>=1.20.3) ; python_version < "3.10"',
                     'numpy (>=1.21.0) ; python_version >= "3.10"',
                     'numpy (>=1.23.2) ; python_version >= "3.11"'],
    "pandas 2.2.3": ['numpy>=1.22.4; python_version < "3.11"',
                     'numpy>=1.23.2; python_version == "3.11"',
                     'numpy>=1.26.0; python_version >= "3.12"',
                     "python-dateutil>=2.8.2", "pytz>=2020.1", "tzdata>=2022.7",
                     'hypothesis>=6.46.1; extra == "test"'],
    "numpy 1.26.4": [],
    "numpy 2.1.3": [],
    "delta-spark 2.3.0": ["pyspark<3.4.0,>=3.3.0", "importlib-metadata>=1.0.0"],
    "delta-spark 3.3.0": ["pyspark<3.6.0,>=3.5.3", "importlib-metadata>=1.0.0"],
    "delta-spark 4.0.0": ["pyspark<4.1.0,>=4.0.0", "importlib-metadata>=1.0.0"],
    "importlib-metadata 8.5.0": ["zipp>=3.20"],
    "zipp 3.20.2": [],
    "python-dateutil 2.9.0.post0": ["six>=1.5"],
    "six 1.16.0": [],
    "pytz 2024.2": [],
    "tzdata 2024.2": [],
}


def build_companion_wheels(folder):
    """Every stand-in of COMPANION_REQUIRES, and the py4j releases pyspark_requires names."""
    for release, requires in COMPANION_REQUIRES.items():
        name, version = release.split(" ")
        module = name.replace("-", "_")
        files = {f"{module}/__init__.py": f'__version__ = "{version}"\n'}
        if name == "pandas":
            code = PANDAS_MODULE + (PANDAS_1_ITERITEMS if version.startswith("1.") else "")
            files[f"{module}/__init__.py"] += code
        if name == "delta-spark":
            files = {"delta/__init__.py": f'__version__ = "{version}"\n'}
        build_wheel(folder, name, version, files,
                    metadata="".join(f"Requires-Dist: {r}\n" for r in requires))
    for version in ("0.10.9.5", "0.10.9.7", "0.10.9.9"):
        build_wheel(folder, "py4j", version, {"py4j/__init__.py": ""})


def build_databricks_wheel(folder, broken=False):
    body = "raise RuntimeError('broken client')\n" if broken else "class DatabricksSession:\n    pass\n"
    return build_wheel(folder, "databricks-connect", "16.4.0", {
        "databricks/__init__.py": "",
        "databricks/connect/__init__.py": body,
    })


# The distributions that provide `import pyspark` besides the classic one, laid out as the real
# packages are (tests/real/test_real_flavours.py compares these stand-ins with them): which
# top-level folders they ship, whether pyspark/bin and pyspark/jars are there, and whether they
# require pyspark. Their other dependencies (pandas, pyarrow, grpcio...) are left out: offline.
CLIENT_CONNECT_MODULE = '''
class SparkSession:
    class Builder:
        def remote(self, url): return self
        def getOrCreate(self):
            raise RuntimeError("a Spark Connect client needs a server: SparkSession.builder.remote(...)")
    builder = Builder()
'''


def build_client_wheel(folder, version):
    """pyspark-client: the pyspark package of the Spark Connect client, no bin/, no jars/, no py4j;
    its dist-info is pyspark_client-<version>.dist-info."""
    return build_wheel(folder, "pyspark-client", version, {
        "pyspark/__init__.py": "from pyspark.version import __version__\n",
        "pyspark/version.py": f"__version__: str = '{version}'\n",
        "pyspark/sql/__init__.py": CLIENT_CONNECT_MODULE,
        "pyspark/sql/connect/__init__.py": "",
    })


def build_connect_wheel(folder, version):
    """pyspark-connect: a marker package (pyspark_connect) that requires pyspark of its version."""
    return build_wheel(folder, "pyspark-connect", version, {
        "pyspark_connect/__init__.py": "from pyspark_connect.version import __version__\n",
        "pyspark_connect/version.py": f'__version__: str = "{version}"\n',
    }, metadata=f"Requires-Dist: pyspark=={version}\n")


def build_databricks_connect_wheel(folder, version, spark_version, marker="-Dplo.e2e.none"):
    """databricks-connect as Databricks ships it: its own pyspark package (the version of its
    runtime's Spark, launch scripts in pyspark/bin but no jars) beside databricks/ and delta/."""
    scripts = {"pyspark/bin/spark-submit": SPARK_SUBMIT,
               "pyspark/bin/spark-class": SPARK_CLASS.replace("{marker}", marker),
               "pyspark/bin/load-spark-env.sh": LOAD_SPARK_ENV}
    return build_wheel(folder, "databricks-connect", version, {
        "databricks/__init__.py": "",
        "databricks/connect/__init__.py": "class DatabricksSession:\n    pass\n",
        "delta/__init__.py": "",
        "pyspark/__init__.py": "from pyspark.version import __version__\n",
        "pyspark/version.py": f'__version__: str = "{spark_version}"\n',
        "pyspark/dbconnect_version.py": f'__dbconnect_version__ = "{version}"\n',
        "pyspark/sql/__init__.py": CLIENT_CONNECT_MODULE,
        **scripts,
    }, executables=set(scripts), metadata="Provides: pyspark\nObsoletes: pyspark\n")


def wheel_layout(path):
    """What plo relies on in a wheel: its distribution name, top-level folders, whether it ships
    pyspark/version.py, pyspark/bin and pyspark/jars, and whether it requires pyspark."""
    with zipfile.ZipFile(path) as wheel:
        names = wheel.namelist()
        metadata_name = next(n for n in names if n.endswith(".dist-info/METADATA") and n.count("/") == 1)
        metadata = wheel.read(metadata_name).decode(errors="replace").split("\n\n", 1)[0]
    headers = [line.split(":", 1) for line in metadata.splitlines() if ":" in line]
    name = next(v.strip() for k, v in headers if k == "Name")
    requires = [v.strip() for k, v in headers if k == "Requires-Dist"]
    tops = {n.split("/", 1)[0] for n in names if "/" in n}
    return {
        "name": re.sub(r"[-_.]+", "-", name).lower(),
        "dist_info": metadata_name.split("/", 1)[0].split("-", 1)[0],
        "packages": sorted(t for t in tops if not t.endswith((".dist-info", ".data"))),
        "pyspark_version_py": "pyspark/version.py" in names,
        "pyspark_bin": any(n.startswith("pyspark/bin/") for n in names),
        "pyspark_jars": any(n.startswith("pyspark/jars/") for n in names),
        "requires_pyspark": any(re.match(r"pyspark\b(?![-_])", r) for r in requires),
    }


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


# Creating a venv with pip takes seconds; a copy of one made once per kind takes a fraction of
# that and is the same venv: Python finds pyvenv.cfg beside the unresolved bin/python, and the
# paths written into bin/ and pyvenv.cfg are rewritten to the copy's.
_VENV_TEMPLATES = {}
_TEMPLATE_ROOT = tempfile.mkdtemp(prefix="plo-e2e-venvs-")
atexit.register(shutil.rmtree, _TEMPLATE_ROOT, True)


def _make_venv(root, with_pip, base):
    if os.path.lexists(root):
        # Over an existing folder `venv` keeps what it holds: leave that case to venv itself.
        subprocess.run([base, "-m", "venv", root] + ([] if with_pip else ["--without-pip"]),
                       check=True)
        return
    key = (base, with_pip)
    template = _VENV_TEMPLATES.get(key)
    if template is None:
        template = os.path.join(_TEMPLATE_ROOT, f"venv{len(_VENV_TEMPLATES)}")
        subprocess.run([base, "-m", "venv", template] + ([] if with_pip else ["--without-pip"]),
                       check=True)
        _VENV_TEMPLATES[key] = template
    # cp -RP keeps the links and gives the copy fresh times, as a new venv has.
    subprocess.run(["cp", "-RP", template, root], check=True)
    for folder, name in [(root, "pyvenv.cfg")] + [(os.path.join(root, "bin"), n)
                                                  for n in os.listdir(os.path.join(root, "bin"))]:
        path = os.path.join(folder, name)
        if os.path.islink(path) or not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            data = f.read()
        if template.encode() in data:
            with open(path, "wb") as f:
                f.write(data.replace(template.encode(), root.encode()))


class Venv:
    """A real virtual environment whose pip installs only from a local folder of wheels."""

    def __init__(self, root, wheels, with_pip=True, base=BASE_PYTHON):
        self.root = root
        self.wheels = wheels
        _make_venv(root, with_pip, base)
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

    def site_packages(self):
        return subprocess.run([self.python, "-c", "import sysconfig;print(sysconfig.get_path('purelib'))"],
                              capture_output=True, text=True, check=True).stdout.strip()

    def set_pyspark(self, version):
        if version is None:
            self.pip("uninstall", "-y", "pyspark")
        elif self.installed_pyspark() != version:
            self.pip("install", f"pyspark=={version}")


def pip_env(wheels):
    """pip's and uv's settings that install from `wheels` alone."""
    return {
        "PIP_NO_INDEX": "1",
        "PIP_FIND_LINKS": wheels,
        "UV_NO_INDEX": "1",
        "UV_FIND_LINKS": wheels,
        "PIP_CONFIG_FILE": "/dev/null",
        "PIP_DISABLE_PIP_VERSION_CHECK": "1",
        "PIP_NO_CACHE_DIR": "1",
        "PATH": "/usr/bin:/bin",
        "HOME": os.environ.get("HOME", "/tmp"),
    }


# plo keeps interpreter answers under XDG_CACHE_HOME: the tests' go to a folder of their own.
CACHE_HOME = tempfile.mkdtemp(prefix="plo-e2e-cache-")
atexit.register(shutil.rmtree, CACHE_HOME, True)


UV_STANDIN = '''#!{python}
"""Stand-in uv: `uv pip install|uninstall --python INTERP ARGS`, done by pip's own --python (which
installs into an interpreter without pip). As uv, it reads UV_NO_INDEX and UV_FIND_LINKS and none of
pip's settings, asks nothing before uninstalling and refuses other arguments."""
import os, subprocess, sys
args = sys.argv[1:]
if len(args) < 5 or args[0] != "pip" or args[1] not in ("install", "uninstall") or args[2] != "--python":
    sys.stderr.write("error: unexpected argument list: %r\\n" % (args,))
    sys.exit(2)
action, interpreter, rest = args[1], args[3], args[4:]
options = ["-y"] if action == "uninstall" else []
if action == "install":
    options += ["--no-index"] if os.environ.get("UV_NO_INDEX") else []
    options += ["--find-links", os.environ["UV_FIND_LINKS"]] if os.environ.get("UV_FIND_LINKS") else []
env = {k: v for k, v in os.environ.items() if not k.startswith("PIP_")}
env.update(PIP_CONFIG_FILE=os.devnull, PIP_DISABLE_PIP_VERSION_CHECK="1")
pip = ["{python}", "-m", "pip", "--python", interpreter, action] + options + rest
sys.exit(subprocess.call(pip, env=env))
'''


def write(path, text, mode=None):
    """Writes `text` to `path`, making its folder; `mode` as for os.chmod."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    if mode is not None:
        os.chmod(path, mode)


def standin_uv(folder):
    """A folder holding the stand-in `uv`, for PATH."""
    os.makedirs(folder, exist_ok=True)
    uv = os.path.join(folder, "uv")
    with open(uv, "w") as f:
        f.write(UV_STANDIN.replace("{python}", BASE_PYTHON))
    os.chmod(uv, 0o755)
    return folder


def imported_pyspark(python, **env):
    """The version `import pyspark` gives, or None."""
    shown = subprocess.run([python, "-c", "import pyspark;print(pyspark.__version__)"],
                           env={"PATH": "/usr/bin:/bin", **env}, capture_output=True, text=True)
    return shown.stdout.strip() if shown.returncode == 0 else None


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


@functools.cache
def catalogue():
    """The PySpark lines the built plo offers, newest first, as `plo spark versions --json` lists
    them (asked at first use): tests take versions and menu numbers from here by meaning, so that
    a new patch or line in the catalogue changes no test."""
    shown = subprocess.run([PLO, "spark", "versions", "--json"], env=plo_env(),
                           capture_output=True, text=True, timeout=120)
    if shown.returncode != 0:
        raise RuntimeError(f"plo spark versions --json failed: {shown.stderr}")
    return json.loads(shown.stdout)["versions"]



def newest(line):
    """The newest patch of a line ("3.5") as the catalogue has it."""
    for entry in catalogue():
        if entry["major_minor"] == line:
            return entry["version"]
    raise KeyError(f"the catalogue offers no PySpark {line}")


def newer_patch(line):
    """A patch of the line newer than the catalogue's: one plo installs only as typed."""
    head, _, last = newest(line).rpartition(".")
    return f"{head}.{int(last) + 1}"


def menu_entry(line):
    """What set-version's menu takes to choose that line: its number, as typed."""
    for number, entry in enumerate(catalogue(), 1):
        if entry["major_minor"] == line:
            return str(number)
    raise KeyError(f"the menu has no PySpark {line}")


def menu_line(line):
    """The start of the menu's entry for that line: "  [5] PySpark 3.5.9 (stable)"."""
    entry = next(entry for entry in catalogue() if entry["major_minor"] == line)
    tag = f" ({entry['tag']})" if entry["tag"] else ""
    return f"  [{menu_entry(line)}] PySpark {entry['version']}{tag}"


def custom_menu_entry():
    """The menu's number of "Custom version", after the catalogue's lines."""
    return str(len(catalogue()) + 1)


def master_ui_page(version):
    """The part of a standalone master's web UI page that holds its version, as that version's
    master writes it: Bootstrap's "me-3" class from 4.2, an inline style before."""
    numbers = tuple(int(p) for p in re.findall(r"\d+", version)[:2])
    span = ('<span class="version me-3">' if numbers >= (4, 2) else
            '<span class="version" style="margin-right: 15px;">')
    return (f'<html><h3 style="vertical-align: middle; display: inline-block;">\n'
            f'  <a style="text-decoration: none" href="/">\n    {span}{version}</span>\n  </a>\n'
            f'  Spark Master at spark://127.0.0.1:7077\n</h3></html>')


def serve_http(address, port, handler_class, servers):
    """Serves `handler_class` on address:port in a daemon thread; the server joins `servers`."""
    server = http.server.ThreadingHTTPServer((address, port), handler_class)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    servers.append(server)
    return server


def run_plo(args, env, stdin="", timeout=120):
    return subprocess.run([PLO, *args], env=env, input=stdin, capture_output=True, text=True,
                          timeout=timeout)


def live_processes(*texts):
    """(pid, command line) of live processes whose command line holds each of `texts`."""
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
        if all(text in cmdline for text in texts) and state != "Z":
            found.append((int(pid), cmdline))
    return found


def standin_jvms(marker):
    """Command lines of stand-in JVMs (carrying `marker`) still running."""
    return [cmdline for _, cmdline in live_processes(marker)]


class _StandinVersions:
    """Workspace.VERSIONS: stand-ins of the catalogue's newest patches of four lines, each behaving
    as a test needs, read from the catalogue at first use."""

    def __get__(self, instance, owner):
        return {
            newest("3.5"): dict(class_major=52, driver="getSubject"),  # Java 8 to 22, as Spark 3.5
            newest("4.1"): dict(class_major=61),                       # needs Java 17
            newest("4.0"): dict(class_major=69),                       # needs Java 25: fails on 17
            newest("3.4"): dict(class_major=52, driver="sleep", sleep_ms=1_000_000),  # hangs
        }


class Workspace:
    """A temporary folder with wheels built for the tests and one venv."""

    VERSIONS = _StandinVersions()

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
