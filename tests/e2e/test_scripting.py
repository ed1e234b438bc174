"""plo without a person at the keyboard: `set-version VERSION --yes`, `match-cluster --install`,
and the `--json` documents of check, versions and match-cluster."""

import http.server
import json
import os
import subprocess
import unittest

import support
from support import JAVA17, JAVA25, newest, plo_env, run_plo

ws = None
servers = []

MASTER_41 = "127.0.12.1"        # REST server of a Spark 4.1 master (on by default from 4.1)
MASTER_SNAPSHOT = "127.0.12.2"  # web UI only (spark.master.rest.enabled=false), a 4.1 snapshot
MASTER_ODD = "127.0.12.3"       # REST server with a version that names no PySpark
NOBODY = "127.0.12.4"           # nothing listens


def master_handler(rest_version=None, ui_version=None):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            if self.server.server_address[1] == 6066:
                # As Spark's REST server: 200 for a status request, 400 for anything else.
                ok = self.path.startswith("/v1/submissions/status/")
                body = json.dumps({"action": "SubmissionStatusResponse" if ok else "ErrorResponse",
                                   "serverSparkVersion": rest_version, "submissionId": "plo-probe",
                                   "success": False}, indent=2).encode()
                status = 200 if ok else 400
            else:
                body = support.master_ui_page(ui_version).encode()
                status = 200
            self.send_response(status)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass
    return Handler



COMPUTES = f"""
computes:
  cluster413:
    config:
      master: spark://{MASTER_41}:7077
  snapshot:
    config:
      master: spark://{MASTER_SNAPSHOT}:7077
  odd:
    config:
      master: spark://{MASTER_ODD}:7077
  down:
    config:
      master: spark://{NOBODY}:7077
  dev:
    type: local
    config:
      master: local[*]
"""


def setUpModule():
    global ws
    ws = support.Workspace()
    support.build_companion_wheels(ws.wheels)
    for version in (old_line(), before_numpy_bound()):
        support.build_pyspark_wheel(ws.wheels, version, ws.marker,
                                    metadata=support.pyspark_requires(version))
    support.require_java(JAVA17)
    support.serve_http(MASTER_41, 6066, master_handler(rest_version=newest("4.1")), servers)
    support.serve_http(MASTER_SNAPSHOT, 8080, master_handler(ui_version="4.1.0-SNAPSHOT"), servers)
    support.serve_http(MASTER_ODD, 6066, master_handler(rest_version="14.3.x-scala2.12"), servers)
    ws.plo_home = ws.path("plo-home")
    os.makedirs(ws.plo_home)
    with open(os.path.join(ws.plo_home, "computes.yml"), "w") as f:
        f.write(COMPUTES)


def tearDownModule():
    for server in servers:
        server.shutdown()
        server.server_close()
    ws.cleanup()


def old_line():
    """The catalogue's 3.3: a line that calls DataFrame.iteritems, which pandas 2 removed."""
    return support.newest("3.3")


def before_numpy_bound():
    """A 3.5 patch from before 3.5.2, whose metadata does not bound numpy below 2."""
    return support.newest("3.5").rsplit(".", 1)[0] + ".1"


def env(java_home=JAVA17, **extra):
    return plo_env(ws.venv, java_home, PLO_HOME=ws.plo_home, **extra)


def no_java_env():
    empty = ws.path("empty-bin")
    os.makedirs(empty, exist_ok=True)
    return plo_env(ws.venv, path=empty, PLO_HOME=ws.plo_home)


def java11():
    return support.fake_java_home(ws.path("java11"), "11.0.22", "Azul Systems, Inc.")


# Schemas: a type, nullable(x), list_of(x), or a dict of exactly these keys.
def nullable(spec):
    return ("nullable", spec)


def list_of(spec):
    return ("list", spec)


def conforms(value, spec):
    if isinstance(spec, tuple) and spec[0] == "nullable":
        return value is None or conforms(value, spec[1])
    if isinstance(spec, tuple) and spec[0] == "list":
        return isinstance(value, list) and all(conforms(v, spec[1]) for v in value)
    if isinstance(spec, dict):
        return (isinstance(value, dict) and set(value) == set(spec)
                and all(conforms(value[k], s) for k, s in spec.items()))
    if spec is int:
        return isinstance(value, int) and not isinstance(value, bool)
    return isinstance(value, spec)


CHECK_SCHEMA = {
    "schema": int,
    "python": str,
    "pyspark": nullable({"version": str, "major_minor": str, "java_supported": list_of(int),
                         "java_recommended": nullable(int), "location": str,
                         "distribution": nullable(str), "flavour": str}),
    "java": nullable({"home": str, "version": int, "vendor": str, "found_in": nullable(str)}),
    "compatible": nullable(bool),
    "message": nullable(str),
    "python_version": nullable(str),
    "python_supported": nullable({"min": str, "max": str}),
    "python_fits": nullable(bool),
    "java_needed": nullable(bool),
    "databricks_connect": nullable({"version": str, "runtime": nullable(str),
                                    "spark_version": nullable(str)}),
    "conflicts": list_of({"name": str, "version": nullable(str)}),
    "spark_home": nullable({"path": str, "version": nullable(str), "has_spark_submit": bool,
                            "mismatch": bool}),
    "project": nullable({"file": str, "pyspark": str, "java": int, "compute": nullable(str),
                         "matches": bool}),
    "companions": list_of({"name": str, "version": str, "requirement": nullable(str),
                           "fits": bool, "reason": nullable(str), "fix": nullable(str)}),
    "interpreter": nullable(str),
    "interpreter_source": nullable(str),
}
VERSIONS_SCHEMA = {
    "schema": int,
    "versions": list_of({"version": str, "major_minor": str, "tag": str,
                         "java_supported": list_of(int), "java_recommended": nullable(int),
                         "installed": bool,
                         "python_supported": nullable({"min": str, "max": str}),
                         "python_fits": nullable(bool)}),
    "pyspark": nullable({"version": str}),
    "java": nullable({"version": int, "vendor": str}),
    "python_version": nullable(str),
    "index": nullable({"url": nullable(str), "source": str, "reason": nullable(str),
                       "newer": list_of({"version": str, "major_minor": str,
                                         "catalogue": nullable(str)})}),
}
MATCH_SCHEMA = {
    "schema": int,
    "compute": nullable({"name": str, "type": str, "master": nullable(str), "host": nullable(str)}),
    "cluster_version": nullable(str),
    "cluster_major_minor": nullable(str),
    "local": nullable({"version": str, "major_minor": str}),
    "match": bool,
    "recommendation": nullable(str),
    "java_supported": nullable(list_of(int)),
    "java_fits": nullable(bool),
    "error": nullable(str),
}


class Json(unittest.TestCase):
    def document(self, args, environment, schema, status):
        result = run_plo(args + ["--json"], environment)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        self.assertNotIn("\x1b[", result.stdout)
        document = json.loads(result.stdout)  # the whole of stdout is one document
        self.assertTrue(conforms(document, schema), json.dumps(document, indent=1))
        return document, result

    def test_check_in_every_state(self):
        ws.venv.set_pyspark(None)
        doc, _ = self.document(["spark", "check"], env(), CHECK_SCHEMA, 1)
        self.assertEqual(doc["python"], ws.venv.python)
        self.assertEqual((doc["pyspark"], doc["java"], doc["compatible"], doc["message"]),
                         (None, None, None, None))

        ws.venv.set_pyspark(newest("3.5"))
        doc, result = self.document(["spark", "check"], env(CLICOLOR_FORCE="1"), CHECK_SCHEMA, 0)
        self.assertEqual(result.stderr, "")
        self.assertEqual(doc["pyspark"]["version"], newest("3.5"))
        self.assertEqual(doc["pyspark"]["java_supported"], [8, 11, 17])
        self.assertEqual(doc["pyspark"]["java_recommended"], 17)
        self.assertTrue(os.path.isfile(os.path.join(doc["pyspark"]["location"], "__init__.py")))
        self.assertTrue(doc["pyspark"]["location"].startswith(ws.venv.root))
        self.assertEqual(doc["java"], {"home": JAVA17, "version": 17, "vendor": "Debian",
                                       "found_in": "JAVA_HOME"})
        self.assertEqual((doc["compatible"], doc["message"]),
                         (True, "Java 17 is compatible with PySpark 3.5"))

        doc, _ = self.document(["spark", "check"], no_java_env(), CHECK_SCHEMA, 1)
        self.assertIsNone(doc["java"])
        self.assertIsNone(doc["compatible"])

        ws.venv.set_pyspark(newest("4.1"))
        doc, _ = self.document(["spark", "check"], env(java11()), CHECK_SCHEMA, 1)
        self.assertEqual(doc["java"]["vendor"], "Azul Systems, Inc.")
        self.assertEqual(doc["compatible"], False)
        self.assertEqual(doc["message"],
                         "Java 11 is not compatible with PySpark 4.1 (supported: Java 17, 21)")

    def test_check_names_the_companions_that_do_not_fit(self):
        try:
            ws.venv.set_pyspark(old_line())
            ws.venv.pip("install", "pandas==2.2.3", "numpy==1.26.4")
            doc, result = self.document(["spark", "check"], env(), CHECK_SCHEMA, 1)
            companions = {c["name"]: c for c in doc["companions"]}
            self.assertEqual(list(companions), ["numpy", "pandas"])
            self.assertEqual(companions["numpy"], {
                "name": "numpy", "version": "1.26.4", "requirement": "numpy>=1.15", "fits": True,
                "reason": None, "fix": None})
            pandas = companions["pandas"]
            self.assertEqual((pandas["version"], pandas["requirement"], pandas["fits"]),
                             ("2.2.3", "pandas<2", False))
            self.assertTrue(pandas["reason"].startswith(
                f"pandas 2.2.3 with PySpark {old_line()}: pandas 2 removed DataFrame.iteritems"))
            self.assertEqual(pandas["fix"], f"{ws.venv.python} -m pip install 'pandas<2'")
            self.assertEqual(result.stderr, f"{pandas['reason']}. Fix: {pandas['fix']}\n")

            ws.venv.pip("uninstall", "-y", "pandas")
            ws.venv.set_pyspark(before_numpy_bound())
            ws.venv.pip("install", "numpy==2.1.3")
            doc, _ = self.document(["spark", "check"], env(), CHECK_SCHEMA, 1)
            numpy = doc["companions"][0]
            self.assertEqual((numpy["name"], numpy["version"], numpy["requirement"], numpy["fits"]),
                             ("numpy", "2.1.3", "numpy<2", False))
            self.assertIn("(SPARK-48710)", numpy["reason"])
            mended = subprocess.run(numpy["fix"], shell=True, env=support.pip_env(ws.wheels),
                                    capture_output=True, text=True)
            self.assertEqual(mended.returncode, 0, mended.stderr)
            doc, result = self.document(["spark", "check"], env(), CHECK_SCHEMA, 0)
            self.assertEqual((doc["companions"][0]["version"], doc["companions"][0]["fits"]),
                             ("1.26.4", True))
            self.assertEqual(result.stderr, "")
        finally:
            ws.venv.pip("uninstall", "-y", "pandas", "numpy", "python-dateutil", "six", "pytz",
                        "tzdata", "py4j")

    def test_versions_with_and_without_pyspark_and_java(self):
        ws.venv.set_pyspark(newest("3.5"))
        doc, _ = self.document(["spark", "versions"], env(), VERSIONS_SCHEMA, 0)
        listed = [v["version"] for v in doc["versions"]]
        # The catalogue's rows, whatever is installed, newest first.
        self.assertEqual(listed, [entry["version"] for entry in support.catalogue()])
        numbers = [tuple(int(part) for part in version.split(".")) for version in listed]
        self.assertEqual(numbers, sorted(numbers, reverse=True))
        self.assertEqual([v["version"] for v in doc["versions"] if v["installed"]], [newest("3.5")])
        self.assertEqual(doc["versions"][0]["tag"], "latest")
        self.assertEqual(doc["versions"][0]["java_recommended"], 21)
        self.assertEqual(doc["pyspark"], {"version": newest("3.5")})
        self.assertEqual(doc["java"], {"version": 17, "vendor": "Debian"})
        ws.venv.set_pyspark(None)
        doc, _ = self.document(["spark", "versions"], no_java_env(), VERSIONS_SCHEMA, 0)
        self.assertEqual((doc["pyspark"], doc["java"]), (None, None))
        self.assertFalse(any(v["installed"] for v in doc["versions"]))

    def test_match_cluster_in_every_state(self):
        ws.venv.set_pyspark(newest("3.5"))
        doc, _ = self.document(["spark", "match-cluster", "cluster413"], env(), MATCH_SCHEMA, 1)
        self.assertEqual(doc["compute"], {"name": "cluster413", "type": "spark",
                                          "master": f"spark://{MASTER_41}:7077", "host": None})
        self.assertEqual((doc["cluster_version"], doc["cluster_major_minor"]), (newest("4.1"), "4.1"))
        self.assertEqual(doc["local"], {"version": newest("3.5"), "major_minor": "3.5"})
        self.assertEqual((doc["match"], doc["recommendation"]), (False, "4.1.x"))
        self.assertEqual((doc["java_supported"], doc["java_fits"]), ([17, 21], True))
        self.assertIsNone(doc["error"])

        doc, _ = self.document(["spark", "match-cluster", "cluster413"], no_java_env(),
                               MATCH_SCHEMA, 1)
        self.assertEqual((doc["java_supported"], doc["java_fits"]), ([17, 21], None))

        doc, _ = self.document(["spark", "match-cluster", "dev"], env(), MATCH_SCHEMA, 0)
        self.assertEqual((doc["match"], doc["recommendation"], doc["cluster_version"]),
                         (True, None, newest("3.5")))
        self.assertEqual(doc["compute"]["type"], "local")

        doc, _ = self.document(["spark", "match-cluster", "down"], env(), MATCH_SCHEMA, 1)
        self.assertIsNone(doc["cluster_version"])
        self.assertIsNotNone(doc["compute"])

        doc, _ = self.document(["spark", "match-cluster", "nope"], env(), MATCH_SCHEMA, 1)
        self.assertEqual(doc["error"], "Compute 'nope' not found in computes.yml")
        self.assertIsNone(doc["compute"])

        broken = ws.path("broken-home")
        os.makedirs(broken, exist_ok=True)
        with open(os.path.join(broken, "computes.yml"), "w") as f:
            f.write("computes:\n  prod: [unclosed\n")
        doc, _ = self.document(["spark", "match-cluster", "prod"],
                               plo_env(ws.venv, JAVA17, PLO_HOME=broken), MATCH_SCHEMA, 1)
        self.assertTrue(doc["error"].startswith("Error loading compute config: "), doc["error"])
        self.assertIn("not valid YAML", doc["error"])

        ws.venv.set_pyspark(None)
        doc, _ = self.document(["spark", "match-cluster", "cluster413"], env(), MATCH_SCHEMA, 1)
        self.assertIsNone(doc["local"])
        self.assertEqual(doc["recommendation"], "4.1.x")

    def test_errors_stay_on_stderr(self):
        result = run_plo(["spark", "check", "--json"],
                         plo_env(None, JAVA17, PLO_PYTHON=ws.path("nope")))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, "")
        self.assertRegex(result.stderr, r"^Error: PLO_PYTHON names .*nope")


class SetVersionUnattended(unittest.TestCase):
    def set_version(self, *args, java_home=JAVA17, stdin=""):
        return run_plo(["spark", "set-version", *args], env(java_home), stdin=stdin, timeout=180)

    def assert_no_menu(self, out):
        self.assertNotIn("  [1] PySpark", out)
        self.assertNotIn("Custom version", out)
        self.assertNotIn("Your choice", out)

    def test_full_version_switches_without_a_menu(self):
        ws.venv.set_pyspark(newest("4.1"))
        result = self.set_version(newest("3.5"), "--yes")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        self.assertTrue(result.stdout.startswith(
            "\nSelect PySpark Version to Install\n" + "=" * 50 + f"\n\n  Current PySpark: {newest('4.1')}\n\n"
            "\nInstalling PySpark...\n\n"), result.stdout)
        self.assert_no_menu(result.stdout)
        self.assertTrue(result.stdout.endswith(
            f"PySpark {newest('3.5')} installed successfully\n  Java compatibility verified\n\n"))

    def test_line_picks_the_tables_entry(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version("4.1")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))
        self.assertIn(f"  Installing PySpark {newest('4.1')}...\n", result.stdout)
        self.assert_no_menu(result.stdout)
        again = self.set_version("4.1")
        self.assertEqual(again.returncode, 0)
        self.assertTrue(again.stdout.endswith(f"\nPySpark {newest('4.1')} is already installed\n\n"))

    def test_unknown_line_fails_without_changing_anything(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version("9.9", "--yes")
        self.assertEqual(result.returncode, 1)
        self.assertIn("No PySpark 9.9 in plo's version table", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_flagged_version_with_yes_installs_with_the_warning_shown(self):
        # Spark 3.5 runs on Java 21 with preliminary support, outside the table's list: a home
        # whose release file says 21 and whose JVM (17) starts the 3.5 stand-in.
        support.require_java(JAVA17)
        home = ws.path("java21-home")
        if not os.path.exists(home):
            os.makedirs(home)
            os.symlink(os.path.join(JAVA17, "bin"), os.path.join(home, "bin"))
            with open(os.path.join(home, "release"), "w") as f:
                f.write('JAVA_VERSION="21.0.5"\nIMPLEMENTOR="Stand-in"\n')
        ws.venv.set_pyspark(newest("4.1"))
        result = self.set_version(newest("3.5"), "--yes", java_home=home)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Warning: PySpark 3.5 requires Java 8, 11, 17\n   Your Java: 21\n", result.stdout)
        self.assertIn("     2. Run 'plo java set' first to switch Java\n\nInstall anyway? [y/N]: y\n",
                      result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_yes_answers_the_rollback_question_too(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(newest("4.1"), "--yes", java_home=java11())
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("Install anyway? [y/N]: y\n", result.stdout)
        self.assertIn(f"Rollback to PySpark {newest('3.5')}? [Y/n]: y\n\nRolling back...\n", result.stdout)
        self.assertIn(f"Restored PySpark {newest('3.5')}\n", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_without_yes_an_unanswered_question_aborts(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version(newest("4.1"), java_home=java11())
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith("Install anyway? [y/N]: "), result.stdout)
        self.assertEqual(result.stderr, "Aborted!\n")
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_unknown_version_fails_and_rolls_back(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.set_version("9.9.9", "--yes")
        self.assertEqual(result.returncode, 1)
        self.assertIn("No matching distribution found for pyspark==9.9.9", result.stdout + result.stderr)
        self.assertIn(f"\nFailed to install PySpark 9.9.9\n\nRolling back to PySpark {newest('3.5')}...\n"
                      f"  Installing PySpark {newest('3.5')}...\n", result.stdout)
        self.assertIn(f"Restored PySpark {newest('3.5')}\n", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))


class MatchClusterInstall(unittest.TestCase):
    def match(self, name, *flags):
        return run_plo(["spark", "match-cluster", name, "--install", *flags], env(), timeout=180)

    def test_mismatch_moves_the_venv_to_the_clusters_version(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("cluster413", "--yes")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  VERSION MISMATCH!\n", result.stdout)
        self.assertIn(f"\nInstalling PySpark...\n\n  Uninstalling PySpark {newest('3.5')}...\n", result.stdout)
        self.assertTrue(result.stdout.endswith(
            f"PySpark {newest('4.1')} installed successfully\n  Java compatibility verified\n\n"))
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))
        # Now they match: nothing to do.
        again = self.match("cluster413")
        self.assertEqual(again.returncode, 0)
        self.assertTrue(again.stdout.endswith("  Versions match!\n\n"))
        self.assertNotIn("Installing", again.stdout)

    def test_snapshot_build_gets_the_tables_entry_of_its_line(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("snapshot")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("  Spark Version: 4.1.0-SNAPSHOT\n", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))

    def test_no_known_version_says_so(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("odd")
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith(
            "No PySpark version is known for Spark 14.3.x-scala2.12: run 'plo spark set-version' "
            "and enter one\n\n"))
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        down = self.match("down")
        self.assertEqual(down.returncode, 1)
        self.assertTrue(down.stdout.endswith("to verify connectivity\n\n"))

    def test_json_keeps_pip_and_the_install_steps_off_stdout(self):
        ws.venv.set_pyspark(newest("3.5"))
        result = self.match("cluster413", "--json", "--yes")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        document = json.loads(result.stdout)
        install = document.pop("install")
        # With --install the document also names the interpreter that was changed.
        self.assertEqual(document.pop("interpreter_source"), "PLO_PYTHON")
        self.assertEqual(document.pop("interpreter"), ws.venv.python)
        self.assertTrue(conforms(document, MATCH_SCHEMA), document)
        self.assertEqual(install, {"version": newest("4.1"), "ok": True, "installer": "pip"})
        self.assertEqual(document["local"], {"version": newest("3.5"), "major_minor": "3.5"})
        self.assertIn(f"Successfully installed pyspark-{newest('4.1')}", result.stderr)
        self.assertIn(f"PySpark {newest('4.1')} installed successfully\n", result.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))

    def test_json_names_the_installer_that_ran(self):
        ws.venv.set_pyspark(newest("3.5"))
        uv_env = env(PLO_INSTALLER="uv",
                     PATH=support.standin_uv(ws.path("uv-bin")) + ":/usr/bin:/bin")
        # uv reads none of pip's settings: the wheels reach it through UV_FIND_LINKS alone.
        for name in ("PIP_NO_INDEX", "PIP_FIND_LINKS"):
            uv_env.pop(name)
        result = run_plo(["-v", "spark", "match-cluster", "cluster413", "--install", "--json",
                          "--yes"], uv_env, timeout=180)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(json.loads(result.stdout)["install"],
                         {"version": newest("4.1"), "ok": True, "installer": "uv"})
        self.assertIn(" pip install --python ", result.stderr)
        self.assertNotIn(" -m pip install ", result.stderr)


if __name__ == "__main__":
    unittest.main()
