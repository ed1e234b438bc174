"""pyproject.toml's [tool.plo]: `plo sync`, `plo pin` and the drift `plo spark check` reports,
with a real venv, stand-in wheels and real JDKs."""

import json
import os
import shutil
import stat
import subprocess
import time
import unittest

import support
from support import JAVA17, JAVA25, newest, plo_env, run_plo

ws = None
servers = []
MASTER = "127.0.14.1"  # a standalone master's web UI at the newest Spark 4.1


def setUpModule():
    global ws
    ws = support.Workspace()
    support.serve_http(MASTER, 8080, ui_handler(support.master_ui_page(newest("4.1"))), servers)


def tearDownModule():
    for server in servers:
        server.shutdown()
        server.server_close()
    ws.cleanup()


def ui_handler(page):
    import http.server

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = page.encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass
    return Handler


# A compiled wrapper (plo keys its interpreter cache by the binary, never a script's text) that
# logs its arguments, then runs the venv's interpreter under the venv's name.
WRAPPER_C = r"""
#include <stdio.h>
#include <unistd.h>
int main(int argc, char** argv) {
  FILE* log = fopen(LOG, "a");
  for (int i = 1; i < argc; ++i) fprintf(log, "%s ", argv[i]);
  fprintf(log, "\n");
  fclose(log);
  argv[0] = PYTHON;
  execv(PYTHON, argv);
  return 127;
}
"""


def logging_interpreter(python, log):
    compiler = shutil.which("cc") or shutil.which("gcc")
    if not compiler:
        raise unittest.SkipTest("no C compiler for the logging interpreter")
    source = ws.path("wrapper.c")
    with open(source, "w") as f:
        f.write(WRAPPER_C)
    wrapper = ws.path("python-wrapper")
    subprocess.run([compiler, f'-DLOG="{log}"', f'-DPYTHON="{python}"', "-o", wrapper, source],
                   check=True)
    return wrapper


def spark_env(venv):
    path = os.path.join(venv.site_packages(), "pyspark", "conf", "spark-env.sh")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return f.read()


class Project(unittest.TestCase):
    def setUp(self):
        support.require_java(JAVA17)
        self.folder = ws.path("project-" + self._testMethodName)
        os.makedirs(os.path.join(self.folder, ".git"))
        self.home = ws.path("home-" + self._testMethodName)
        os.makedirs(self.home)

    def write(self, text):
        with open(os.path.join(self.folder, "pyproject.toml"), "w") as f:
            f.write(text)

    def read(self):
        with open(os.path.join(self.folder, "pyproject.toml")) as f:
            return f.read()

    def plo(self, *args, venv=None, java_home=JAVA17, stdin="", **extra):
        env = plo_env(venv or ws.venv, java_home, PLO_HOME=self.home, **extra)
        return subprocess.run([support.PLO, *args], env=env, cwd=self.folder, input=stdin,
                              capture_output=True, text=True, timeout=300)

    def test_sync_from_nothing_then_again_runs_nothing(self):
        support.require_java(JAVA25)
        venv = support.Venv(ws.path("venv-sync"), ws.wheels)
        log = ws.path("python-argv.log")
        wrapper = logging_interpreter(venv.python, log)
        self.write('[project]\nname = "notebooks"\n\n[tool.plo]\npyspark = "3.5"\njava = 17\n')
        # The shell's Java is 25, which Spark 3.5 does not run on: sync must pin 17.
        first = self.plo("sync", "--yes", venv=venv, java_home=JAVA25, PLO_PYTHON=wrapper)
        self.assertEqual(first.returncode, 0, first.stdout + first.stderr)
        self.assertIn(f"PySpark {newest('3.5')} installed", first.stdout)
        self.assertIn("Pinned Java 17", first.stdout)
        self.assertEqual(venv.installed_pyspark(), newest("3.5"))
        self.assertIn(f"export JAVA_HOME='{JAVA17}'", spark_env(venv) or "")

        # Warm the interpreter cache (answers younger than a second are not kept), then sync again.
        time.sleep(1.2)
        check = self.plo("spark", "check", venv=venv, java_home=JAVA25, PLO_PYTHON=wrapper)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertNotIn("plo sync", check.stdout)
        open(log, "w").close()
        again = self.plo("sync", venv=venv, java_home=JAVA25, PLO_PYTHON=wrapper)
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertIn("Everything matches pyproject.toml", again.stdout)
        with open(log) as f:
            self.assertEqual(f.read(), "")

    def test_sync_to_another_line_pins_first_so_the_smoke_test_starts_the_wanted_java(self):
        support.require_java(JAVA25)
        venv = support.Venv(ws.path("venv-switch"), ws.wheels)
        venv.set_pyspark(newest("4.1"))
        pinned = self.plo("java", "set", JAVA25, venv=venv, stdin="y\n")
        self.assertIn(f"export JAVA_HOME='{JAVA25}'", spark_env(venv) or "", pinned.stdout)
        # The 3.5 stand-in fails on Java 25 (its driver asks for the Subject): a smoke test on the
        # old pin would roll the install back.
        self.write('[tool.plo]\npyspark = "3.5"\njava = 17\n')
        result = self.plo("sync", "--yes", venv=venv, java_home=JAVA25)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(venv.installed_pyspark(), newest("3.5"))
        self.assertIn(f"export JAVA_HOME='{JAVA17}'", spark_env(venv) or "")
        self.assertIn("Everything matches pyproject.toml",
                      self.plo("sync", venv=venv, java_home=JAVA25).stdout)

    def test_drift_in_check_and_dry_run_changes_nothing(self):
        ws.venv.set_pyspark(newest("3.5"))
        self.write('[tool.plo]\npyspark = "4.1"\ncolour = "blue"\n')
        check = self.plo("spark", "check")
        self.assertEqual(check.returncode, 1)
        self.assertIn("[tool.plo] has keys plo does not know: colour", check.stderr)
        self.assertIn("  pyproject.toml asks for PySpark 4.1, Java 17: run 'plo sync'\n",
                      check.stdout)
        document = json.loads(self.plo("spark", "check", "--json").stdout)
        self.assertEqual(document["project"], {
            "file": os.path.join(self.folder, "pyproject.toml"), "pyspark": "4.1", "java": 17,
            "compute": None, "runtime": None, "python_fits": None, "contradictions": [],
            "matches": False})
        doctor = json.loads(self.plo("doctor", "--json").stdout)
        self.assertIn({"area": "project", "status": "error",
                       "summary": os.path.join(self.folder, "pyproject.toml") +
                       ": PySpark 4.1, Java 17",
                       "details": [f"this environment has PySpark {newest('3.5')} and Java 17"],
                       "fix": "plo sync", "suggestion": None}, doctor["checks"])

        before = spark_env(ws.venv)
        plan = self.plo("sync", "--dry-run")
        self.assertEqual(plan.returncode, 0, plan.stdout + plan.stderr)
        self.assertIn(f"PySpark: would install {newest('4.1')} (now {newest('3.5')})", plan.stdout)
        document = json.loads(self.plo("sync", "--dry-run", "--json").stdout)
        self.assertEqual((document["target"], document["dry_run"], document["ok"]),
                         ({"pyspark": newest("4.1"), "java": 17}, True, True))
        # The installer the switch would run: pip, the default, with no uv on PATH.
        self.assertEqual(document["installer"], "pip")
        self.assertIn({"step": "pyspark", "wanted": newest("4.1"), "before": newest("3.5"),
                       "outcome": "planned"}, document["steps"])
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        self.assertEqual(spark_env(ws.venv), before)

        # Without the file's drift the report and the JSON are as before, plus "project".
        self.write('[tool.plo]\npyspark = "3.5"\n')
        self.assertNotIn("plo sync", self.plo("spark", "check").stdout)

    def test_compute_follows_the_cluster(self):
        ws.venv.set_pyspark(newest("3.5"))
        with open(os.path.join(self.home, "computes.yml"), "w") as f:
            f.write(f"computes:\n  prod:\n    config:\n      master: spark://{MASTER}:7077\n")
        self.write('[tool.plo]\ncompute = "prod"\n')
        check = self.plo("spark", "check")
        self.assertIn("  pyproject.toml asks for PySpark 4.1, Java 17: run 'plo sync'", check.stdout)
        plan = self.plo("sync", "--dry-run")
        self.assertIn(f"PySpark: would install {newest('4.1')}", plan.stdout)
        # A pyspark the cluster does not run is an error, before anything changes.
        self.write('[tool.plo]\ncompute = "prod"\npyspark = "3.5"\n')
        refused = self.plo("sync", "--yes")
        self.assertEqual(refused.returncode, 1)
        self.assertIn(f"disagrees with compute 'prod', whose cluster runs Spark {newest('4.1')}", refused.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_a_malformed_file_is_an_error_with_line_and_column(self):
        ws.venv.set_pyspark(newest("3.5"))
        self.write('[tool.plo]\npyspark = "4.1"\njava = "seventeen"\n')
        before = spark_env(ws.venv)
        for args in (["sync", "--yes"], ["spark", "check"], ["pin", "--java", "21"]):
            result = self.plo(*args)
            self.assertEqual(result.returncode, 1, args)
            self.assertIn("pyproject.toml:3:8: java must be a Java major version", result.stdout + result.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        self.assertEqual(spark_env(ws.venv), before)
        self.assertEqual(self.read(), '[tool.plo]\npyspark = "4.1"\njava = "seventeen"\n')

    def test_pin_keeps_comments_other_tables_and_the_mode(self):
        ws.venv.set_pyspark(newest("3.5"))
        original = ('# Our notebooks\n[project]\nname = "notebooks"  # keep\n\n'
                    '[tool.ruff]\nline-length = 100\n')
        self.write(original)
        path = os.path.join(self.folder, "pyproject.toml")
        os.chmod(path, 0o640)
        pinned = self.plo("pin")
        self.assertEqual(pinned.returncode, 0, pinned.stdout + pinned.stderr)
        self.assertEqual(self.read(), original + '\n[tool.plo]\npyspark = "3.5"\njava = 17\n')
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o640)
        # A change of one value leaves the rest, comments included, as it was.
        self.write(original + '\n[tool.plo]\npyspark = "3.5"  # the team\'s line\njava = 17\n')
        self.assertEqual(self.plo("pin", "--pyspark", newest("4.1")).returncode, 0)
        self.assertEqual(self.read(),
                         original + f'\n[tool.plo]\npyspark = "{newest("4.1")}"  # the team\'s line\njava = 17\n')
        # No file: one is created here.
        os.remove(path)
        self.assertEqual(self.plo("pin", "--java", "21").returncode, 0)
        self.assertEqual(self.read(), '[tool.plo]\npyspark = "3.5"\njava = 21\n')


if __name__ == "__main__":
    unittest.main()
