"""`plo java ...` against real JDKs, fake Java homes under a test HOME and the stand-in PySpark, whose
bin/spark-class reads spark-env.sh the way Spark's does."""

import json
import os
import stat
import subprocess
import tempfile
import unittest

import support
from support import JAVA17, JAVA25, newest, plo_env, run_plo

# A 4.2 patch the catalogue does not list: the menu installs it as a custom version.
CUSTOM = support.newer_patch("4.2")
DEBIAN_LINK = "/usr/lib/jvm/java-1.17.0-openjdk-amd64"
SESSION = ("from pyspark.sql import SparkSession\n"
           "spark = SparkSession.builder.master('local[1]').getOrCreate()\n"
           "print('session started')\n"
           "spark.stop()\n")


tmp = None
venv = None


def setUpModule():
    global tmp, venv
    support.require_java(JAVA17)
    tmp = tempfile.TemporaryDirectory(prefix="plo-e2e-java-")
    wheels = os.path.join(tmp.name, "wheels")
    os.makedirs(wheels)
    marker = f"-Dplo.e2e.standin={os.path.basename(tmp.name)}"
    # A launcher of class-file major 69 needs Java 25: a session that starts proves which Java ran.
    support.build_pyspark_wheel(wheels, newest("4.2"), marker, class_major=69)
    # This one brings a conf/spark-env.sh of its own, which pip writes over the one in place: plo
    # has to put its pin back.
    support.build_pyspark_wheel(wheels, CUSTOM, marker, class_major=69, extra_files={
        "pyspark/conf/spark-env.sh": f"# shipped with {CUSTOM}\n"})
    support.build_pyspark_wheel(wheels, newest("3.5"), marker, class_major=52)
    venv = support.Venv(os.path.join(tmp.name, "venv"), wheels)


def tearDownModule():
    tmp.cleanup()


def path(*parts):
    return os.path.join(tmp.name, *parts)


def java(*args, java_home=JAVA17, stdin="", **extra):
    return run_plo(["java", *args], plo_env(venv, java_home, **extra), stdin=stdin)


def start_session(java_home=JAVA17):
    """A plain `python -c` in the venv, as a notebook or an IDE would start PySpark."""
    env = {"PATH": "/usr/bin:/bin", "HOME": tmp.name}
    if java_home:
        env["JAVA_HOME"] = java_home
    return subprocess.run([venv.python, "-c", SESSION], env=env, capture_output=True, text=True,
                          timeout=120)


def spark_env_file():
    site = subprocess.run([venv.python, "-c", "import pyspark,os;print(os.path.dirname(pyspark.__file__))"],
                          capture_output=True, text=True, check=True).stdout.strip()
    return os.path.join(site, "conf", "spark-env.sh")


class Search(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        home = path("home")
        cls.home = home
        support.fake_java_home(os.path.join(home, ".sdkman/candidates/java/21.0.5-tem"), "21.0.5",
                               "Eclipse Adoptium")
        os.symlink(os.path.join(home, ".sdkman/candidates/java/21.0.5-tem"),
                   os.path.join(home, ".sdkman/candidates/java/current"))
        support.fake_java_home(path("jenv-root/versions/zulu-11"), "11.0.25", "Azul Systems, Inc.")
        support.fake_java_home(os.path.join(home, ".jdks/corretto-21.0.9/Contents/Home"), "21.0.9",
                               "Amazon.com Inc.")
        support.fake_java_home(path("mise/installs/java/8"), None,
                               java_version_output='openjdk version "1.8.0_392"\\nOpenJDK Runtime Environment (build 1.8.0_392-b08)\\n')
        support.fake_java_home(path("conda/lib/jvm"), "17.0.13", "conda-forge")
        cls.env = dict(HOME=home, JENV_ROOT=path("jenv-root"), MISE_DATA_DIR=path("mise"),
                       CONDA_PREFIX=path("conda"))
        venv.set_pyspark(newest("3.5"))

    def test_lists_every_home_once_newest_first(self):
        result = java("search", **self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        out = result.stdout
        rows = [line for line in out.split("\n") if line.startswith("  Java ")]
        homes = [row[row.index(" /") + 1:].split(" [")[0] for row in rows]
        expected = [os.path.realpath(os.path.join(self.home, ".sdkman/candidates/java/21.0.5-tem")),
                    os.path.realpath(path("jenv-root/versions/zulu-11")),
                    os.path.realpath(os.path.join(self.home, ".jdks/corretto-21.0.9/Contents/Home")),
                    os.path.realpath(path("mise/installs/java/8")),
                    os.path.realpath(path("conda/lib/jvm")), JAVA17]
        for home in expected:
            self.assertEqual(sum(1 for h in homes if h == home), 1, out)
        self.assertNotIn(DEBIAN_LINK, out)
        versions = [int(row.split()[1]) for row in rows]
        self.assertEqual(versions, sorted(versions, reverse=True))
        self.assertIn(f"  {JAVA17} [OK] * CURRENT\n", out)
        self.assertRegex(out, r"  Java 21  Amazon\.com Inc\.  +21\.0\.9 .*\[!\]\n")
        self.assertRegex(out, r"  Java 8  +OpenJDK Runtime Environment  +1\.8\.0_392 .*\[OK\]\n")
        if support.has_java(JAVA25):
            self.assertIn(f"  {JAVA25} [!]\n", out)
        self.assertTrue(out.endswith("\n  Run 'plo java set' to choose one\n\n"), out)
        self.assertEqual(run_plo(["java", "list"], plo_env(venv, JAVA17, **self.env)).stdout, out)

    def test_json(self):
        result = java("search", "--json", **self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        doc = json.loads(result.stdout)
        self.assertEqual(doc["pyspark"], {"version": newest("3.5"), "java_supported": [8, 11, 17]})
        self.assertEqual(doc["current"]["home"], JAVA17)
        self.assertEqual(doc["current"]["found_in"], "JAVA_HOME")
        by_home = {jdk["home"]: jdk for jdk in doc["jdks"]}
        self.assertEqual(len(by_home), len(doc["jdks"]))
        self.assertNotIn(DEBIAN_LINK, by_home)
        self.assertEqual(by_home[os.path.realpath(path("jenv-root/versions/zulu-11"))], {
            "home": os.path.realpath(path("jenv-root/versions/zulu-11")), "version": 11,
            "full_version": "11.0.25", "vendor": "Azul Systems, Inc.", "current": False,
            "fits_pyspark": True, "found_in": "jenv"})
        self.assertEqual(by_home[os.path.realpath(path("conda/lib/jvm"))]["found_in"], "conda")
        self.assertEqual(by_home[os.path.realpath(os.path.join(self.home, ".jdks/corretto-21.0.9/Contents/Home"))]["fits_pyspark"], False)
        for jdk in doc["jdks"]:
            self.assertEqual(jdk["current"], jdk["home"] == JAVA17)

    def test_without_java_home_or_path_nothing_is_current(self):
        empty = path("empty-bin")
        os.makedirs(empty, exist_ok=True)
        result = run_plo(["java", "search", "--json"], plo_env(venv, None, path=empty, HOME=path("nohome")))
        doc = json.loads(result.stdout)
        self.assertEqual(doc["current"], None)
        # The machine's own /usr/lib/jvm is still searched.
        self.assertIn(JAVA17, [jdk["home"] for jdk in doc["jdks"]])
        self.assertEqual([jdk["found_in"] for jdk in doc["jdks"] if jdk["home"] == JAVA17], ["system"])


class Pin(unittest.TestCase):
    def setUp(self):
        support.require_java(JAVA25)
        venv.set_pyspark(newest("4.2"))
        self.file = spark_env_file()
        os.makedirs(os.path.dirname(self.file), exist_ok=True)
        with open(self.file, "w") as f:
            f.write("# site settings\nSPARK_WORKER_CORES=3\n")

    def tearDown(self):
        java("unset")

    def test_set_reaches_every_session_until_unset(self):
        self.assertNotEqual(start_session(JAVA17).returncode, 0)  # class files need Java 25

        result = java("set", "25")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"  Pinned Java 25 (Eclipse Adoptium) for PySpark {newest('4.2')}\n", result.stdout)
        self.assertIn(f"    in {self.file}\n", result.stdout)
        self.assertIn(f"    export JAVA_HOME='{JAVA25}'\n", result.stdout)
        with open(self.file) as f:
            contents = f.read()
        self.assertTrue(contents.startswith("# site settings\nSPARK_WORKER_CORES=3\n"), contents)
        self.assertIn(f"export JAVA_HOME='{JAVA25}'\n", contents)
        self.assertEqual(stat.S_IMODE(os.stat(self.file).st_mode), 0o644)

        session = start_session(JAVA17)
        self.assertEqual(session.returncode, 0, session.stderr)
        self.assertIn("session started", session.stdout)

        check = run_plo(["spark", "check"], plo_env(venv, JAVA17))
        self.assertIn(f"  JAVA_HOME: {JAVA25}\n  Version:   Java 25\n  Vendor:    Eclipse Adoptium\n",
                      check.stdout)
        self.assertEqual(check.returncode, 0, check.stdout)
        versions = run_plo(["spark", "versions"], plo_env(venv, JAVA17))
        self.assertIn("  Java:    25 (Eclipse Adoptium)\n", versions.stdout)

        evaluated = subprocess.run(
            ["sh", "-c", f'eval "$("{support.PLO}" java env)"; echo "$JAVA_HOME"; command -v java'],
            env=plo_env(venv, JAVA17), capture_output=True, text=True)
        self.assertEqual(evaluated.stdout, f"{JAVA25}\n{JAVA25}/bin/java\n", evaluated.stderr)

        result = java("unset")
        self.assertEqual(result.returncode, 0)
        self.assertIn(f"  Removed plo's Java pin from {self.file}\n", result.stdout)
        self.assertIn(f"  PySpark will use Java 17 (Debian) at {JAVA17}\n", result.stdout)
        with open(self.file) as f:
            self.assertEqual(f.read(), "# site settings\nSPARK_WORKER_CORES=3\n")
        self.assertNotEqual(start_session(JAVA17).returncode, 0)
        check = run_plo(["spark", "check"], plo_env(venv, JAVA17))
        self.assertIn(f"  JAVA_HOME: {JAVA17}\n  Version:   Java 17\n", check.stdout)

    def test_an_inherited_spark_env_loaded_skips_the_pin_and_plo_says_so(self):
        result = java("set", "25", SPARK_ENV_LOADED="1")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Warning: SPARK_ENV_LOADED is set here, so Spark skips spark-env.sh", result.stderr)
        skipped = subprocess.run([venv.python, "-c", SESSION], capture_output=True, text=True, timeout=120,
                                 env={"PATH": "/usr/bin:/bin", "JAVA_HOME": JAVA17, "SPARK_ENV_LOADED": "1"})
        self.assertNotEqual(skipped.returncode, 0)  # Java 17 ran, as Spark ignored the pin
        check = run_plo(["spark", "check"], plo_env(venv, JAVA17, SPARK_ENV_LOADED="1"))
        self.assertIn("SPARK_ENV_LOADED", check.stderr)
        healthy = run_plo(["spark", "check"], plo_env(venv, JAVA17))
        self.assertEqual((healthy.returncode, healthy.stderr), (0, ""))

    def test_pin_survives_a_set_version_switch(self):
        self.assertEqual(java("set", JAVA25).returncode, 0)
        # A custom version, whose smoke test runs only on the pinned Java 25.
        result = run_plo(["spark", "set-version"], plo_env(venv, JAVA17),
                         stdin=f"{support.custom_menu_entry()}\n{CUSTOM}\n", timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(venv.installed_pyspark(), CUSTOM)
        self.assertIn(f"PySpark {CUSTOM} installed successfully\n  Java compatibility verified\n",
                      result.stdout)
        self.assertIn("  Your Java: 25 (Eclipse Adoptium)\n", result.stdout)
        with open(spark_env_file()) as f:
            contents = f.read()
        self.assertTrue(contents.startswith(f"# shipped with {CUSTOM}\n"), contents)
        self.assertIn(f"export JAVA_HOME='{JAVA25}'\n", contents)
        session = start_session(JAVA17)
        self.assertEqual(session.returncode, 0, session.stderr)

    def test_a_plain_java_home_line_counts_and_the_pin_overrides_it(self):
        with open(self.file, "a") as f:
            f.write(f"export JAVA_HOME={JAVA25}\n")
        check = run_plo(["spark", "check"], plo_env(venv, JAVA17))
        self.assertIn(f"  JAVA_HOME: {JAVA25}\n", check.stdout)
        self.assertEqual(java("set", "17").returncode, 0)
        check = run_plo(["spark", "check"], plo_env(venv, JAVA25))
        self.assertIn(f"  JAVA_HOME: {JAVA17}\n", check.stdout)
        self.assertNotEqual(start_session(JAVA25).returncode, 0)


class Commands(unittest.TestCase):
    def test_set_refuses_what_is_not_a_java(self):
        venv.set_pyspark(newest("3.5"))
        result = java("set", path("nowhere"))
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"  No Java at {path('nowhere')}: it has no executable bin/java\n", result.stdout)
        result = java("set", "99")
        self.assertEqual(result.returncode, 1)
        self.assertIn("  No Java 99 found\n", result.stdout)

    def test_set_without_pyspark_pins_nothing(self):
        venv.set_pyspark(None)
        result = java("set", "17")
        self.assertEqual(result.returncode, 1)
        self.assertIn("PySpark not installed: there is nothing to pin Java for", result.stdout)

    def test_menu_and_warning(self):
        venv.set_pyspark(newest("3.5"))
        home = support.fake_java_home(path("fake-21"), "21.0.2", "Oracle Corporation")
        result = java("set", home, stdin="\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Warning: PySpark 3.5 requires Java 8, 11, 17\n", result.stdout)
        self.assertIn("Use it anyway? [y/N]: ", result.stdout)
        result = java("set", stdin="")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Aborted!", result.stderr)
        self.assertRegex(result.stdout, r"  \[\d\] +Java 17  Debian +17\.0\.15  " + JAVA17 + r" \[OK\] \* CURRENT\n")

    def test_set_yes_answers_the_question_and_refuses_the_menu(self):
        venv.set_pyspark(newest("3.5"))
        home = support.fake_java_home(path("fake-21-yes"), "21.0.2", "Oracle Corporation")
        result = java("set", home, "--yes")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Use it anyway? [y/N]: y", result.stdout)
        self.assertIn("Pinned Java 21", result.stdout)
        java("unset")
        result = java("set", "--yes")
        self.assertEqual(result.returncode, 2)
        self.assertIn("plo java set --yes needs a VERSION or PATH", result.stderr)

    def test_env_for_fish(self):
        result = java("env", "--shell", "fish")
        self.assertEqual(result.stdout, f"set -gx JAVA_HOME '{JAVA17}';\nset -gx PATH '{JAVA17}/bin' $PATH;\n")
        self.assertEqual(java("env", "--shell", "tcsh").returncode, 2)

    def test_install_guide_on_this_debian(self):
        venv.set_pyspark(newest("4.2"))
        result = java("install", "--guide")
        self.assertEqual(result.returncode, 0)
        self.assertIn(f"  PySpark {newest('4.2')} recommends Java 21\n", result.stdout)
        self.assertIn("with apt:\n", result.stdout)
        self.assertIn("    sudo apt-get install openjdk-21-jdk-headless\n", result.stdout)
        self.assertIn("  Then run 'plo java set 21' to pin it for PySpark\n", result.stdout)
        self.assertIn("openjdk-11-jdk-headless", java("install", "11", "--guide").stdout)

    def test_group_needs_a_subcommand(self):
        self.assertEqual(run_plo(["java"], plo_env(venv)).returncode, 2)


if __name__ == "__main__":
    unittest.main()
