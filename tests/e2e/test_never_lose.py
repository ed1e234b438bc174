"""What plo must never lose or leak: the user's files through a restore, an environment changed by
two plo runs at once, secrets, and bad input refused before anything changes."""

import json
import os
import pty
import select
import shutil
import signal
import stat
import subprocess
import time
import unittest

import support
from support import JAVA17, newest, plo_env, run_plo, write

ws = None

PIN = ("# >>> plo java pin >>>\n# Written by 'plo java set'; 'plo java unset' removes it.\n"
       f"export JAVA_HOME={JAVA17}\n# <<< plo java pin <<<\n")


def setUpModule():
    global ws
    ws = support.Workspace()
    support.require_java(JAVA17)


def tearDownModule():
    ws.cleanup()


def package_folder():
    return os.path.join(ws.venv.site_packages(), "pyspark")


def read(path):
    with open(path) as f:
        return f.read()


def slow_python(before_install):
    """The venv's python beside it in bin/ (so the environment is the same), except that
    `pip install` first runs `before_install`."""
    wrapper = os.path.join(os.path.dirname(ws.venv.python), "slow-python")
    write(wrapper, f'#!/bin/sh\nif [ "$3" = install ]; then {before_install}; fi\n'
                   f'exec "{ws.venv.python}" "$@"\n', 0o755)
    return wrapper


def start(args, python, **extra):
    return subprocess.Popen([support.PLO, *args], env=plo_env(ws.venv, JAVA17, PLO_PYTHON=python,
                                                                **extra),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, start_new_session=True)


def wait_for_line(test, process, wanted):
    seen = []
    for line in process.stdout:
        seen.append(line)
        if line.rstrip("\n") == wanted:
            return
    test.fail(f"never saw {wanted!r}: {''.join(seen)}")


def users_files():
    """A user's conf line, plo's pin and a jar they added, in the installed package."""
    package = package_folder()
    write(os.path.join(package, "conf", "spark-env.sh"), "export SPARK_LOCAL_IP=127.0.0.1\n" + PIN)
    write(os.path.join(package, "jars", "hadoop-aws.jar"), "the user's jar")


class NeverLose(unittest.TestCase):
    def assert_users_files_kept(self):
        package = package_folder()
        self.assertEqual(read(os.path.join(package, "conf", "spark-env.sh")),
                         "export SPARK_LOCAL_IP=127.0.0.1\n" + PIN)
        self.assertEqual(read(os.path.join(package, "jars", "hadoop-aws.jar")), "the user's jar")

    def test_restore_keeps_the_users_files(self):
        ws.venv.set_pyspark(newest("3.5"))
        users_files()
        process = start(["spark", "set-version", newest("4.1")], slow_python("sleep 30"))
        wait_for_line(self, process, f"  Installing PySpark {newest('4.1')}...")
        os.killpg(process.pid, signal.SIGINT)
        rest, _ = process.communicate(timeout=60)
        self.assertIn(f"Restored PySpark {newest('3.5')} from the files kept before uninstalling", rest)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        self.assertEqual(support.imported_pyspark(ws.venv.python), newest("3.5"))
        self.assert_users_files_kept()

    def test_sigkill_during_install_then_a_second_run_keeps_conf_and_pin(self):
        ws.venv.set_pyspark(newest("3.5"))
        users_files()
        pid_file = ws.path("installer-pid")
        process = start(["spark", "set-version", newest("4.1")],
                        slow_python(f"echo $$ > {pid_file}; exec sleep 600"))
        wait_for_line(self, process, f"  Installing PySpark {newest('4.1')}...")
        for _ in range(200):
            if os.path.exists(pid_file):
                break
            time.sleep(0.05)
        process.kill()
        process.wait(timeout=60)
        with open(pid_file) as f:
            os.kill(int(f.read()), signal.SIGKILL)
        process.communicate(timeout=60)
        os.unlink(pid_file)
        self.assertIsNone(ws.venv.installed_pyspark())
        self.assert_users_files_kept()  # pip's uninstall leaves what its RECORD does not name
        check = run_plo(["spark", "check"], plo_env(ws.venv, JAVA17))
        self.assertIn(f"Note: an interrupted 'plo spark set-version' left a copy of PySpark {newest('3.5')} in ",
                      check.stderr)
        result = run_plo(["spark", "set-version", newest("4.1")], plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # No PySpark left at all looks like a deliberate uninstall: the copy is cleared, not used.
        self.assertIn(f"  Cleared the copy of PySpark {newest('3.5')} that an interrupted plo run kept", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))
        self.assert_users_files_kept()
        self.assertFalse(os.path.exists(os.path.join(ws.venv.site_packages(), ".plo-pyspark-stash")))

    def test_a_pin_changed_during_the_run_is_kept(self):
        ws.venv.set_pyspark(newest("3.5"))
        users_files()
        spark_env = os.path.join(package_folder(), "conf", "spark-env.sh")
        newer = PIN.replace(JAVA17, JAVA17 + "/")  # someone's newer choice, made meanwhile
        write(ws.path("newer-pin"), newer)
        result = run_plo(["spark", "set-version", newest("4.1")],
                         plo_env(ws.venv, JAVA17,
                                 PLO_PYTHON=slow_python(f"cp {ws.path('newer-pin')} {spark_env}")))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(read(spark_env), newer)
        # A pin that went missing is put back.
        write(spark_env, "export SPARK_LOCAL_IP=127.0.0.1\n" + PIN)
        result = run_plo(["spark", "set-version", newest("3.5")],
                         plo_env(ws.venv, JAVA17, PLO_PYTHON=slow_python(f"rm {spark_env}")))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"export JAVA_HOME='{JAVA17}'\n# <<< plo java pin <<<\n", read(spark_env))

    def test_two_set_version_runs_at_once(self):
        ws.venv.set_pyspark(newest("3.5"))
        first = start(["spark", "set-version", newest("4.1")], slow_python("sleep 8"))
        wait_for_line(self, first, f"  Installing PySpark {newest('4.1')}...")
        second = run_plo(["spark", "set-version", newest("3.4")], plo_env(ws.venv, JAVA17))
        rest, _ = first.communicate(timeout=120)
        self.assertEqual(first.returncode, 0, rest)
        self.assertEqual(second.returncode, 1)
        self.assertIn(f"Waiting for another plo working on {ws.venv.root}...\n", second.stderr)
        self.assertIn(f"Error: another plo is still working on {ws.venv.root}", second.stderr)
        self.assertEqual(second.stdout, "")
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))
        self.assertEqual(support.imported_pyspark(ws.venv.python), newest("4.1"))
        dist_infos = [n for n in os.listdir(ws.venv.site_packages())
                      if n.lower().startswith("pyspark-") and n.endswith(".dist-info")]
        self.assertEqual(dist_infos, [f"pyspark-{newest('4.1')}.dist-info"])

    def test_no_copy_no_uninstall_on_a_full_filesystem(self):
        mount = ws.path("small")
        os.makedirs(mount, exist_ok=True)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", mount],
                          capture_output=True).returncode != 0:
            self.skipTest("cannot mount a tmpfs here")
        try:
            venv = support.Venv(os.path.join(mount, "venv"), ws.wheels)
            venv.set_pyspark(newest("3.5"))
            # Fill the filesystem to the last block.
            subprocess.run(["dd", "if=/dev/zero", f"of={mount}/filler", "bs=1M"], capture_output=True)
            result = run_plo(["spark", "set-version", newest("4.1")], plo_env(venv, JAVA17))
            self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
            self.assertIn(f"  Could not keep a copy of PySpark {newest('3.5')}'s files before uninstalling it: ",
                          result.stdout)
            self.assertIn("No space left on device", result.stdout)
            self.assertNotIn("Input/output error", result.stdout)
            self.assertIn("   Nothing was changed.", result.stdout)
            self.assertNotIn("Uninstalling", result.stdout)
            os.remove(f"{mount}/filler")
            self.assertEqual(venv.installed_pyspark(), newest("3.5"))
            self.assertEqual(support.imported_pyspark(venv.python), newest("3.5"))
            self.assertFalse(os.path.exists(os.path.join(venv.site_packages(), ".plo-pyspark-stash")))
        finally:
            subprocess.run(["umount", "-l", mount], capture_output=True)

    def test_spark_env_read_as_bash_reads_it(self):
        ws.venv.set_pyspark(newest("3.5"))
        spark_env = os.path.join(package_folder(), "conf", "spark-env.sh")
        env = plo_env(ws.venv, "/nonexistent")
        try:
            write(spark_env, f"A=1; JAVA_HOME={JAVA17}\n")
            result = run_plo(["spark", "check"], env)
            self.assertIn(f"  JAVA_HOME: {JAVA17}\n", result.stdout)
            write(spark_env, f"export JAVA_HOME={JAVA17}\r\n")  # bash keeps the CR
            result = run_plo(["spark", "check"], env)
            self.assertIn("  Java not found!\n", result.stdout)
            self.assertIn(f"sets JAVA_HOME to '{JAVA17}\\x0d', which holds no bin/java (it ends in a "
                          "carriage return", result.stderr)
        finally:
            os.remove(spark_env)

    def test_spark_env_keeps_its_mode_and_link(self):
        ws.venv.set_pyspark(newest("4.1"))
        conf = os.path.join(package_folder(), "conf")
        shutil.rmtree(conf, ignore_errors=True)
        target = ws.path("my-conf", "spark-env.sh")
        write(target, "export SECRET=1\n", 0o600)
        os.makedirs(conf)
        os.symlink(target, os.path.join(conf, "spark-env.sh"))
        env = plo_env(ws.venv, JAVA17)
        for command in (["java", "set", JAVA17], ["java", "unset"]):
            result = run_plo(command, env)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertTrue(os.path.islink(os.path.join(conf, "spark-env.sh")))
            self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o600)
        self.assertEqual(read(target), "export SECRET=1\n")
        self.assertEqual([n for n in os.listdir(ws.path("my-conf")) if n != "spark-env.sh"], [])
        shutil.rmtree(conf)


def processes_with(*texts):
    """Pids of live processes whose command line holds each of `texts`."""
    return [pid for pid, _ in support.live_processes(*texts)]


class SmokeChild(unittest.TestCase):
    def test_smoke_test_child_dies_with_a_killed_plo(self):
        ws.venv.set_pyspark(newest("3.5"))
        process = start(["spark", "set-version", newest("3.4")], ws.venv.python)  # its JVM hangs
        wait_for_line(self, process, "  Testing PySpark + Java compatibility...")
        for _ in range(400):
            if support.standin_jvms(ws.marker):
                break
            time.sleep(0.05)
        process.kill()
        process.communicate(timeout=60)
        try:
            for _ in range(100):
                if not processes_with("PLO-Test", ws.root):
                    break
                time.sleep(0.05)
            # The Python child is gone at once; real PySpark's JVM then ends as its stdin closes
            # (the stand-in's does not watch stdin, so it is ended here).
            self.assertEqual(processes_with("PLO-Test", ws.root), [])
        finally:
            for pid in processes_with(ws.marker):
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
            for pid in processes_with(os.path.join(ws.venv.site_packages(), "pyspark", "bin")):
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass


class Computes(unittest.TestCase):
    def setUp(self):
        self.home = ws.path(f"plo-home-{self._testMethodName}")
        os.makedirs(self.home, exist_ok=True)

    def env(self, **extra):
        return plo_env(ws.venv, JAVA17, PLO_HOME=self.home, **extra)

    def test_twenty_adds_at_once_keep_all_twenty(self):
        processes = [subprocess.Popen([support.PLO, "compute", "add", f"c{i}", "--master",
                                       f"spark://127.0.0.1:{7000 + i}"], env=self.env(),
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                     for i in range(20)]
        for process in processes:
            process.communicate(timeout=60)
            self.assertEqual(process.returncode, 0)
        result = run_plo(["compute", "list", "--json"], self.env())
        names = sorted(c["name"] for c in json.loads(result.stdout)["computes"])
        self.assertEqual(names, sorted(f"c{i}" for i in range(20)))
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(self.home, "computes.yml")).st_mode), 0o600)

    def test_symlinked_computes_written_through(self):
        target = ws.path("dotfiles", "computes.yml")
        write(target, "computes:\n", 0o640)
        os.symlink(target, os.path.join(self.home, "computes.yml"))
        result = run_plo(["compute", "add", "dev", "--master", "local[*]"], self.env())
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertTrue(os.path.islink(os.path.join(self.home, "computes.yml")))
        self.assertIn("dev:", read(target))
        self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o640)

    def write_computes(self, master):
        write(os.path.join(self.home, "computes.yml"),
              f"computes:\n  connect:\n    config:\n      master: {json.dumps(master)}\n")

    def test_match_cluster_masks_the_token(self):
        ws.venv.set_pyspark(newest("4.1"))
        self.write_computes("sc://127.0.0.1:1/;token=s3cret-value;user_id=ann")
        result = run_plo(["spark", "match-cluster", "connect"], self.env())
        self.assertIn("  Master URL:  sc://127.0.0.1:1/;token=***;user_id=ann\n", result.stdout)
        self.assertNotIn("s3cret", result.stdout + result.stderr)
        result = run_plo(["spark", "match-cluster", "connect", "--json"], self.env())
        self.assertEqual(json.loads(result.stdout)["compute"]["master"],
                         "sc://127.0.0.1:1/;token=***;user_id=ann")
        self.assertNotIn("s3cret", result.stdout + result.stderr)

    def test_control_characters_in_spark_connect_parameters_are_refused(self):
        ws.venv.set_pyspark(newest("4.1"))
        for bad in ("\r\nX-Evil: 1", "\n", "\x00"):
            self.write_computes(f"sc://127.0.0.1:1/;user_id=ann{bad};token=s3cret")
            result = run_plo(["spark", "match-cluster", "connect"], self.env())
            self.assertEqual(result.returncode, 1)
            self.assertIn("a parameter holds a control character", result.stderr)
            self.assertNotIn("s3cret", result.stdout + result.stderr)


class RefusedBeforeAnythingChanges(unittest.TestCase):
    def test_invalid_version_argument(self):
        ws.venv.set_pyspark(newest("3.5"))
        for bad in ("foo", "3.5.*", ">=3.5", ""):
            result = run_plo(["spark", "set-version", bad], plo_env(ws.venv, JAVA17))
            self.assertEqual(result.returncode, 2, bad)
            self.assertEqual(result.stderr, f"Error: '{bad}' is not a valid version\n")
            self.assertEqual(result.stdout, "")
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))

    def test_stale_virtual_env_is_an_error_for_changes(self):
        ws.venv.set_pyspark(newest("3.5"))
        env = plo_env(ws.venv, JAVA17, VIRTUAL_ENV=ws.path("gone"))
        del env["PLO_PYTHON"]
        env["PATH"] = os.path.dirname(ws.venv.python) + ":/usr/bin:/bin"
        for command in (["spark", "set-version", newest("4.1")], ["java", "unset"],
                        ["spark", "match-cluster", "x", "--install"]):
            result = run_plo(command, env)
            self.assertEqual(result.returncode, 1, command)
            self.assertIn(f"Error: VIRTUAL_ENV names {ws.path('gone')}, which has no bin/python",
                          result.stderr)
        self.assertEqual(ws.venv.installed_pyspark(), newest("3.5"))
        result = run_plo(["spark", "check"], env)
        self.assertIn(f"Warning: VIRTUAL_ENV names {ws.path('gone')}, which has no bin/python; "
                      f"using {ws.venv.python}3 instead\n", result.stderr)

    def test_outside_a_virtual_environment_only_with_system(self):
        python = os.path.expanduser("~/.pyenv/versions/3.12.1/bin/python3")
        if not os.path.exists(python):
            self.skipTest("no pyenv Python 3.12")
        env = plo_env(ws.venv, JAVA17, PLO_PYTHON=python)
        # --yes alone, even quiet, changes nothing and says so.
        result = run_plo(["-q", "spark", "set-version", newest("4.1"), "--yes"], env)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn(f"{python} is not a virtual or conda environment: plo changes it only with "
                      "--system", result.stdout + result.stderr)
        self.assertIsNone(support.imported_pyspark(python))
        result = run_plo(["spark", "set-version", newest("4.1"), "--yes", "--system"], env)
        self.assertIn(f"Installing PySpark {newest('4.1')}...", result.stdout, result.stderr)
        subprocess.run([python, "-m", "pip", "uninstall", "-y", "pyspark"], capture_output=True)

    def test_a_busy_port_with_a_supported_java_is_a_note(self):
        ws.venv.set_pyspark(newest("3.5"))
        home = ws.path("busy-spark")
        write(os.path.join(home, "bin", "spark-submit"),
              "#!/bin/sh\necho 'java.net.BindException: Address already in use' >&2\n"
              "echo '\tat sun.nio.ch.Net.bind0(Native Method)' >&2\nexit 1\n", 0o755)
        os.makedirs(os.path.join(home, "jars"), exist_ok=True)
        result = run_plo(["spark", "set-version", newest("4.1"), "--yes"],
                         plo_env(ws.venv, JAVA17, SPARK_HOME=home))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"PySpark {newest('4.1')} installed successfully\n"
                      "  Note: java.net.BindException: Address already in use\n", result.stdout)
        self.assertNotIn("Rolling back", result.stdout)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))


if __name__ == "__main__":
    unittest.main()


class OneChange(unittest.TestCase):
    """set-version changes PySpark as one transaction: it changes nothing it need not, refuses
    what it cannot own, and never gives up the only copy of the user's PySpark."""

    def test_equal_versions_run_no_installer(self):
        ws.venv.set_pyspark(newest("3.5"))
        stable = newest("3.5")
        # The same version as PEP 440 spells it otherwise: a trailing zero, leading zeros, a "v".
        for typed in (f"{stable}.0", ".".join(f"0{part}" for part in stable.split(".")),
                      f"v{stable}"):
            result = run_plo(["spark", "set-version", typed], plo_env(ws.venv, JAVA17))
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertTrue(result.stdout.endswith(f"\nPySpark {newest('3.5')} is already installed\n\n"),
                            result.stdout)
            self.assertNotIn("Uninstalling", result.stdout, typed)

    def test_editable_install_names_pip_uninstall_and_keeps_the_source(self):
        ws.venv.set_pyspark(None)
        source = ws.path("src", "spark", "python")
        write(os.path.join(source, "pyspark", "__init__.py"), f"__version__ = '{newest('3.5')}'\n")
        write(os.path.join(source, "pyspark", "version.py"), f"__version__ = '{newest('3.5')}'\n")
        # What `pip install -e` leaves in the site folder: a .pth naming the source, and a
        # dist-info whose direct_url.json says editable.
        site = ws.venv.site_packages()
        name = f"pyspark-{newest('3.5')}"
        dist = os.path.join(site, f"{name}.dist-info")
        write(os.path.join(site, f"__editable__.{name}.pth"), source + "\n")
        write(os.path.join(dist, "METADATA"), f"Metadata-Version: 2.1\nName: pyspark\nVersion: {newest('3.5')}\n")
        write(os.path.join(dist, "INSTALLER"), "pip\n")
        write(os.path.join(dist, "direct_url.json"),
              json.dumps({"url": "file://" + source, "dir_info": {"editable": True}}))
        write(os.path.join(dist, "RECORD"), f"__editable__.{name}.pth,,\n"
              f"{name}.dist-info/METADATA,,\n{name}.dist-info/INSTALLER,,\n"
              f"{name}.dist-info/direct_url.json,,\n{name}.dist-info/RECORD,,\n")
        result = run_plo(["spark", "set-version", newest("4.1")], plo_env(ws.venv, JAVA17))
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn(f"  PySpark {newest('3.5')} in {source} is an editable install (pip install -e): plo does "
                      f"not replace a source folder\n   Run '{ws.venv.python} -m pip uninstall pyspark' "
                      "first (your source folder stays), then run 'plo spark set-version' again\n",
                      result.stdout)
        self.assertNotIn("Remove that folder", result.stdout)
        self.assertNotIn("Uninstalling", result.stdout)
        # The command it names does what it says.
        ws.venv.pip("uninstall", "-y", "pyspark")
        self.assertTrue(os.path.isfile(os.path.join(source, "pyspark", "__init__.py")))
        self.assertIsNone(support.imported_pyspark(ws.venv.python))

    def test_a_question_of_pip_reaches_the_user_at_the_terminal(self):
        ws.venv.set_pyspark(newest("3.5"))
        answer = ws.path("answer")
        asking = os.path.join(os.path.dirname(ws.venv.python), "asking-python")
        # An installer that asks for a user name on the terminal, as pip does for a private index.
        write(asking, '#!/bin/sh\nif [ "$3" = install ]; then printf "User for the index: " >/dev/tty; '
                      f'read name </dev/tty; echo "$name" >{answer}; fi\nexec "{ws.venv.python}" "$@"\n',
              0o755)
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(support.PLO, [support.PLO, "spark", "set-version", newest("4.1")],
                      plo_env(ws.venv, JAVA17, PLO_PYTHON=asking))
        seen = b""

        def read_until(wanted, limit=120):
            nonlocal seen
            for _ in range(limit * 10):
                if wanted is not None and wanted in seen:
                    return True
                ready, _, _ = select.select([fd], [], [], 0.1)
                if ready:
                    try:
                        chunk = os.read(fd, 4096)
                    except OSError:  # the other end closed
                        return wanted is None
                    if not chunk:
                        return wanted is None
                    seen += chunk
            return False

        ended = False
        try:
            self.assertTrue(read_until(b"User for the index: "), seen)
            os.write(fd, b"alice\n")
            ended = read_until(None)  # plo ends: the installer was not stopped
            self.assertTrue(ended, seen)
        finally:
            if not ended:
                os.kill(pid, signal.SIGKILL)
            _, status = os.waitpid(pid, 0)
            os.close(fd)
        self.assertEqual(os.waitstatus_to_exitcode(status), 0, seen)
        with open(answer) as f:
            self.assertEqual(f.read(), "alice\n")
        self.assertIn(f"PySpark {newest('4.1')} installed successfully".encode(), seen)
        self.assertEqual(ws.venv.installed_pyspark(), newest("4.1"))

    def test_two_names_of_one_interpreter_share_its_lock(self):
        ws.venv.set_pyspark(newest("3.5"))
        link = ws.path("names", "my-python")
        os.makedirs(os.path.dirname(link), exist_ok=True)
        if not os.path.lexists(link):
            os.symlink(ws.venv.python, link)
        first = start(["spark", "set-version", newest("4.1")], slow_python("sleep 8"))
        wait_for_line(self, first, f"  Installing PySpark {newest('4.1')}...")
        second = run_plo(["spark", "set-version", newest("3.4")], plo_env(ws.venv, JAVA17, PLO_PYTHON=link))
        first.communicate(timeout=120)
        self.assertEqual(second.returncode, 1, second.stdout + second.stderr)
        self.assertIn(f"Error: another plo is still working on {ws.venv.root}", second.stderr)
        self.assertEqual(support.imported_pyspark(ws.venv.python), newest("4.1"))

    def test_a_failed_restore_keeps_the_copy_and_the_next_run_brings_it_back(self):
        mount = ws.path("few-inodes")
        os.makedirs(mount, exist_ok=True)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256m,nr_inodes=30000", "tmpfs", mount],
                          capture_output=True).returncode != 0:
            self.skipTest("cannot mount a tmpfs here")
        try:
            venv = support.Venv(os.path.join(mount, "venv"), ws.wheels)
            venv.set_pyspark(newest("3.5"))
            # Once pip has removed the old PySpark, the filesystem runs out of inodes: the install, the
            # rollback's install and the restore's folders all fail.
            filler = os.path.join(mount, "filler")
            wrapper = os.path.join(venv.root, "bin", "filling-python")
            write(wrapper, f'#!/bin/sh\nif [ "$3" = install ]; then "{support.BASE_PYTHON}" -c "\n'
                           f'import os\nos.makedirs(\'{filler}\', exist_ok=True)\ni = 0\n'
                           f'while True:\n    i += 1\n    open(\'{filler}/%d\' % i, \'w\').close()\n'
                           f'" 2>/dev/null; fi\nexec "{venv.python}" "$@"\n', 0o755)
            env = plo_env(venv, JAVA17, PLO_PYTHON=wrapper)
            result = run_plo(["spark", "set-version", newest("4.1")], env)
            self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
            self.assertIn("Could not restore PySpark from the kept files: ", result.stdout)
            stash = os.path.join(venv.site_packages(), ".plo-pyspark-stash")
            self.assertIn(f"  PySpark {newest('3.5')}'s files stay kept in {stash}: the next 'plo spark "
                          "set-version' puts them back first\n", result.stdout)
            self.assertTrue(os.path.isdir(stash))
            shutil.rmtree(filler)
            check = run_plo(["spark", "check"], plo_env(venv, JAVA17))
            self.assertIn(f"Note: a 'plo spark set-version' could not put PySpark {newest('3.5')} back: its "
                          f"files are kept in {stash}", check.stderr)
            # Offline: the kept files are all it has.
            empty = ws.path("no-wheels")
            os.makedirs(empty, exist_ok=True)
            result = run_plo(["spark", "set-version", newest("3.5")],
                             dict(plo_env(venv, JAVA17), PIP_FIND_LINKS=empty))
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn(f"  A plo run could not put PySpark {newest('3.5')} back: putting back its kept files "
                          f"now\nRestored PySpark {newest('3.5')} from the files kept before uninstalling\n",
                          result.stdout)
            self.assertTrue(result.stdout.endswith(f"\nPySpark {newest('3.5')} is already installed\n\n"))
            self.assertEqual(support.imported_pyspark(venv.python), newest("3.5"))
            self.assertFalse(os.path.exists(stash))
            jars = os.listdir(os.path.join(venv.site_packages(), "pyspark", "jars"))
            self.assertFalse([j for j in jars if newest("4.1") in j], jars)
        finally:
            subprocess.run(["umount", "-l", mount], capture_output=True)
