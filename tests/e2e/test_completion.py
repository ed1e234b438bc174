"""`plo completion SHELL`: the scripts, driven the way each shell calls them."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

import support
from support import newest, plo_env, run_plo

tmp = None


def setUpModule():
    global tmp
    tmp = tempfile.TemporaryDirectory(prefix="plo-e2e-completion-")


def tearDownModule():
    tmp.cleanup()


def computes_home(text):
    home = tempfile.mkdtemp(dir=tmp.name)
    with open(os.path.join(home, "computes.yml"), "w") as f:
        f.write(text)
    return home


class Bash(unittest.TestCase):
    def complete(self, words, home=None, cwd=None):
        """COMPREPLY for the command line `words`, the last word being the one completed."""
        script = run_plo(["completion", "bash"], plo_env()).stdout
        path = os.path.join(tmp.name, "plo.bash")
        with open(path, "w") as f:
            f.write(script)
        array = " ".join("'" + w.replace("'", "'\\''") + "'" for w in [support.PLO, *words])
        program = (f"source '{path}'; COMP_WORDS=({array}); COMP_CWORD={len(words)}; _plo; "
                   'printf "%s\\n" "${COMPREPLY[@]}"')
        env = plo_env(PLO_HOME=home or os.path.join(tmp.name, "no-home"))
        result = subprocess.run(["bash", "-c", program], env=env, capture_output=True, text=True,
                                timeout=60, cwd=cwd or tmp.name)
        self.assertEqual(result.returncode, 0, result.stderr)
        return [line for line in result.stdout.split("\n") if line]

    def test_commands_and_options(self):
        self.assertEqual(self.complete([""]),
                         ["spark", "java", "compute", "doctor", "sync", "pin", "runtimes", "completion", "help",
                          "--help", "--version"])
        self.assertEqual(self.complete(["spark", ""]),
                         ["check", "versions", "set-version", "match-cluster", "--help"])
        self.assertEqual(self.complete(["spark", "s"]), ["set-version"])
        self.assertEqual(self.complete(["spark", "check", "--"]), ["--json", "--help"])
        self.assertEqual(self.complete(["java", ""]),
                         ["search", "list", "set", "unset", "env", "install", "uninstall",
                          "--help"])
        self.assertEqual(self.complete(["compute", ""]), ["list", "test", "add", "remove", "--help"])
        self.assertEqual(self.complete(["compute", "add", "x", "--type", "d"]),
                         ["databricks", "dataproc"])
        self.assertIn("glue-5.0", self.complete(["runtimes", "show", "glue-5"]))
        self.assertIn("glue-5.0", self.complete(["compute", "add", "x", "--runtime", "glue"]))
        self.assertEqual(self.complete(["runtimes", "--platform", "g"]), ["glue"])
        self.assertEqual(self.complete(["completion", ""]), ["bash", "zsh", "fish"])
        self.assertEqual(self.complete(["doctor", ""]), ["--json", "--clusters", "--deep", "--help"])
        self.assertEqual(self.complete(["doctor", "--json", "--d"]), ["--deep"])
        self.assertEqual(self.complete(["sync", "--"]),
                         ["--yes", "--dry-run", "--json", "--keep-companions", "--no-project", "--help"])
        self.assertEqual(self.complete(["pin", "--java", "17", "--"]),
                         ["--pyspark", "--java", "--compute", "--runtime", "--help"])

    def test_set_version_offers_the_tables_versions_once(self):
        offered = self.complete(["spark", "set-version", ""])
        self.assertIn(newest("4.1"), offered)
        self.assertIn("3.5", offered)
        self.assertIn("--yes", offered)
        self.assertEqual(self.complete(["spark", "set-version", "4.1"]), [newest("4.1"), "4.1"])
        self.assertNotIn(newest("4.1"), self.complete(["spark", "set-version", newest("4.1"), ""]))

    def test_compute_names_from_computes_yml_are_never_evaluated(self):
        marker = os.path.join(tmp.name, "pwned")
        home = computes_home(
            "computes:\n  prod:\n    config: {master: 'spark://h:7077'}\n  dev: {}\n"
            f"  '$(touch {marker})': {{}}\n  \"bad\\u0007name\": {{}}\n")
        for words in (["spark", "match-cluster", ""], ["compute", "test", ""],
                      ["compute", "remove", ""]):
            offered = self.complete(words, home)
            self.assertIn("prod", offered, words)
            self.assertIn("dev", offered, words)
            self.assertIn(f"\\$\\(touch\\ {marker}\\)", offered, words)
            self.assertFalse(any("\x07" in w for w in offered), words)
        self.assertEqual(self.complete(["spark", "match-cluster", "p"], home), ["prod"])
        self.assertNotIn("prod", self.complete(["spark", "match-cluster", "prod", ""], home))
        self.assertFalse(os.path.exists(marker))

    def test_missing_or_broken_computes_yml_offers_no_names(self):
        self.assertEqual(self.complete(["compute", "remove", ""]), ["--help"])
        home = computes_home("computes: [\n")
        self.assertEqual(self.complete(["compute", "remove", ""], home), ["--help"])

    def test_java_set_offers_the_found_majors_then_folders(self):
        folder = tempfile.mkdtemp(dir=tmp.name)
        os.makedirs(os.path.join(folder, "jdk-17"))
        offered = self.complete(["java", "set", ""], cwd=folder)
        self.assertEqual(offered,
                         ["--yes"] + [str(major) for major in found_majors()] + ["jdk-17", "--help"])

    def test_complete_callback_is_quiet_on_failure(self):
        result = run_plo(["__complete", "java-majors"], plo_env())
        self.assertEqual((result.returncode, result.stdout),
                         (0, "".join(f"{major}\n" for major in found_majors())))
        result = run_plo(["__complete", "no-such-kind"], plo_env())
        self.assertEqual((result.returncode, result.stdout), (0, ""))
        result = run_plo(["__complete", "computes"], plo_env(PLO_HOME=os.path.join(tmp.name, "x")))
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.assertNotIn("__complete", run_plo(["--help"], plo_env()).stdout)


HOME_WITH_COMPUTES = "computes:\n  prod: {}\n  dev: {}\n"


def found_majors():
    """The majors of the JDKs `plo java search` finds here, newest first, each once."""
    document = json.loads(run_plo(["java", "search", "--json"], plo_env()).stdout)
    return list(dict.fromkeys(jdk["version"] for jdk in document["jdks"]))


@unittest.skipUnless(shutil.which("zsh"), "no zsh")
class Zsh(unittest.TestCase):
    def complete(self, words, home):
        """What _plo hands to compadd (stubbed: zsh filters by prefix itself) for `words`."""
        script = os.path.join(tmp.name, "_plo")
        with open(script, "w") as f:
            f.write(run_plo(["completion", "zsh"], plo_env()).stdout)
        quoted = " ".join("'" + w + "'" for w in [support.PLO, *words])
        program = ("compdef() { :; }; _files() { print -- '<files>'; }\n"
                   "compadd() { if [[ $1 == -a ]]; then print -l -- ${(P)2}; else shift; "
                   "print -l -- \"$@\"; fi; }\n"
                   f"source '{script}'; words=({quoted}); CURRENT={len(words) + 1}; _plo")
        result = subprocess.run(["zsh", "-f", "-c", program], env=plo_env(PLO_HOME=home),
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.stderr, "")
        return [line for line in result.stdout.split("\n") if line]

    def test_commands_options_and_names(self):
        home = computes_home(HOME_WITH_COMPUTES)
        self.assertEqual(self.complete([""], home),
                         ["spark", "java", "compute", "doctor", "sync", "pin", "runtimes", "completion", "help",
                          "--help", "--version"])
        self.assertEqual(self.complete(["spark", "match-cluster", ""], home),
                         ["--json", "--install", "--yes", "--keep-companions", "--no-project",
                          "prod", "dev", "--help"])
        self.assertEqual(self.complete(["spark", "match-cluster", "prod", ""], home),
                         ["--json", "--install", "--yes", "--keep-companions", "--no-project", "--help"])
        self.assertIn(newest("4.1"), self.complete(["spark", "set-version", ""], home))
        self.assertEqual(self.complete(["java", "set", ""], home),
                         ["--yes"] + [str(major) for major in found_majors()] + ["<files>", "--help"])
        self.assertEqual(self.complete(["java", "env", "--shell", ""], home), ["bash", "zsh", "fish"])


@unittest.skipUnless(shutil.which("fish"), "no fish")
class Fish(unittest.TestCase):
    def complete(self, line, home):
        script = os.path.join(tmp.name, "plo.fish")
        with open(script, "w") as f:
            f.write(run_plo(["completion", "fish"], plo_env()).stdout)
        bin_dir = os.path.dirname(os.path.abspath(support.PLO))
        env = plo_env(PLO_HOME=home, path=bin_dir + ":/usr/bin:/bin")
        program = f"source '{script}'; complete -C '{line}'"
        result = subprocess.run(["fish", "--no-config", "-c", program],
                                env=env, capture_output=True, text=True, timeout=60,
                                cwd=tempfile.mkdtemp(dir=tmp.name))
        self.assertEqual(result.stderr, "")
        return sorted(line.split("\t")[0] for line in result.stdout.split("\n") if line)

    def test_commands_options_and_names(self):
        home = computes_home(HOME_WITH_COMPUTES)
        self.assertEqual(self.complete("plo ", home),
                         ["completion", "compute", "doctor", "help", "java", "pin", "runtimes", "spark", "sync"])
        self.assertEqual(self.complete("plo doctor --", home), ["--clusters", "--deep", "--json"])
        self.assertEqual(self.complete("plo pin --compute ", home), ["dev", "prod"])
        self.assertEqual(self.complete("plo spark ", home),
                         ["check", "match-cluster", "set-version", "versions"])
        self.assertEqual(self.complete("plo spark match-cluster ", home), ["dev", "prod"])
        self.assertEqual(self.complete("plo spark match-cluster --", home),
                         ["--install", "--json", "--keep-companions", "--no-project", "--yes"])
        self.assertEqual(self.complete("plo compute remove ", home), ["dev", "prod"])
        self.assertEqual(self.complete("plo compute remove prod ", home), [])
        self.assertIn(newest("4.1"), self.complete("plo spark set-version ", home))
        self.assertEqual(self.complete("plo java set ", home),
                         sorted(str(major) for major in found_majors()))


class Scripts(unittest.TestCase):
    def test_each_shell_gets_a_script_that_parses(self):
        for shell, check in (("bash", ["bash", "-n"]), ("zsh", ["zsh", "-n"]),
                             ("fish", ["fish", "--no-execute"])):
            result = run_plo(["completion", shell], plo_env())
            self.assertEqual(result.returncode, 0, shell)
            self.assertIn("plo", result.stdout)
            if shutil.which(check[0]):
                parsed = subprocess.run(check, input=result.stdout, capture_output=True, text=True)
                self.assertEqual(parsed.returncode, 0, shell + parsed.stderr)

    def test_unknown_shell_is_a_usage_error(self):
        result = run_plo(["completion", "tcsh"], plo_env())
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    unittest.main()
