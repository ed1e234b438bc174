#include <algorithm>
#include <filesystem>

#include "cancel/interrupt.h"
#include "catalogue/pep440.h"
#include "environment/environment_probe.h"
#include "spark/install_plan.h"
#include "spark/pyspark_stash.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {

namespace fs = std::filesystem;

// The stash of one install phase: made before the uninstall, put back when the phase would
// leave no PySpark, removed when the phase ends.
struct SparkTask::Stash {
  std::optional<PySparkStash> kept;
  std::string version;

  // Puts the kept PySpark back when the environment has no complete one; `quiet` when the
  // console may be gone. Removes the stash, except when putting it back failed: then it is the
  // only copy left, and it stays for the next set-version (false).
  bool settle(SparkTask& task, bool quiet) {
    if (!kept) return true;
    try {
      // Read from the files, not from a child, so that a further interrupt cannot cut it short.
      // An unfinished restore goes back whatever is there: the kept files are the user's.
      if (kept->unfinished() || !PySparkStash::complete_pyspark_in(kept->folder().parent_path())) {
        kept->restore(kept->folder().parent_path());
        task.s_.compat.restore_java_pin();
        say(task,
            task.s_.console.style(
                "Restored PySpark " + version + " from the files kept before uninstalling",
                Color::Green),
            quiet);
      }
    } catch (const std::exception& e) {
      say(task,
          task.s_.console.style(
              "Could not restore PySpark from the kept files: " + escape_controls(e.what()),
              Color::Red),
          quiet);
      say(task,
          task.s_.console.style("  PySpark " + version + "'s files stay kept in " +
                                    escape_controls(kept->folder().string()) +
                                    ": the next 'plo spark set-version' puts them back first",
                                Color::Red),
          quiet);
      kept->mark_unfinished();
      kept.reset();
      return false;
    }
    kept->remove();
    kept.reset();
    return true;
  }

  static void say(SparkTask& task, const std::string& line, bool quiet) {
    if (!quiet) {
      task.s_.console.echo(line);
      return;
    }
    try {
      task.s_.console.echo(line);
    } catch (...) {
      // The output is gone or broken; the restore itself has happened.
    }
  }
};

bool SparkTask::installer_can_replace(const EnvironmentProbe& environment,
                                      const std::string& interpreter,
                                      const std::optional<PySparkInfo>& current) {
  Console& c = s_.console;
  const std::string python = shell_quoted(interpreter);
  if (environment.externally_managed && !environment.in_virtual_env &&
      !pip_told_to_break_system_packages()) {
    c.echo(c.style("  " + interpreter +
                       " is externally managed (PEP 668): its packages belong to the system's "
                       "package manager, so pip will not change them",
                   Color::Red));
    c.echo("   Use a virtual environment instead:");
    c.echo("     python3 -m venv ~/venvs/spark");
    c.echo("     . ~/venvs/spark/bin/activate");
    c.echo("     plo spark set-version");
    c.echo();
    return false;
  }
  if (const auto refusal = install_refusal(
          environment, interpreter, current ? std::optional(current->version) : std::nullopt)) {
    c.echo(c.style("  " + escape_controls(refusal->reason), Color::Red));
    for (const std::string& line : refusal->mend) c.echo("   " + escape_controls(line));
    c.echo();
    return false;
  }
  uv_.reset();
  const bool uv_asked = s_.installer.asked == "uv";
  const InstallerChoice choice = choose_installer(
      {.asked = s_.installer.asked,
       .asked_by = s_.installer.asked_by,
       .has_pip = environment.has_pip,
       .uv = find_on_path("uv"),
       // pip's site configuration file is in sys.prefix, the folder above the interpreter's bin/.
       .pip_settings = uv_asked ? pip_settings_uv_ignores(
                                      fs::path(interpreter).parent_path().parent_path().string())
                                : std::vector<PipSetting>{}});
  if (!choice.note.empty()) c.echo_err(escape_controls(choice.note));
  if (choice.kind == InstallerKind::Uv) uv_ = choice.uv;
  if (!choice.kind) {
    c.echo(c.style("  pip is not available for " + interpreter, Color::Red));
    c.echo("   Add pip to it:  " + python + " -m ensurepip");
    c.echo("   or install uv (https://docs.astral.sh/uv/), which plo then uses instead of pip");
    c.echo();
    return false;
  }
  return true;
}

bool SparkTask::install_phase(const std::string& version_to_install, const std::string& major_minor,
                              const std::vector<int>& supported,
                              const std::optional<PySparkInfo>& current_pyspark) {
  Console& c = s_.console;
  c.echo();
  c.echo(c.style("Installing PySpark...", Color::Cyan, true));
  c.echo();

  const std::string interpreter = s_.interpreter();
  EnvironmentProbe environment = probe_environment(s_.runner, interpreter, true);
  std::optional<PySparkInfo> current = current_pyspark;
  // Outside any environment of its own the change lands in an interpreter other programs share:
  // asked first (an externally managed one is refused below without asking).
  if (!environment.in_virtual_env && !environment.conda &&
      !(environment.externally_managed && !pip_told_to_break_system_packages())) {
    if (!c.confirm("Install into " + escape_controls(interpreter) +
                       ", which is not a virtual environment?",
                   false)) {
      c.echo();
      return false;
    }
  }
  Stash stash;
  if (environment.stash) {
    // Left by a plo that was killed midway. It brings the old version back only where that run
    // left PySpark half removed; after a deliberate `pip uninstall` it is just cleared.
    const PySparkStash left(*environment.stash);
    const auto left_version = left.version();
    if (left_version && left.unfinished()) {
      c.echo(c.style("  A plo run could not put PySpark " + *left_version +
                         " back: putting back its kept files now",
                     Color::Yellow));
    } else if (left_version && PySparkStash::half_removed_pyspark_in(left.folder().parent_path())) {
      c.echo(c.style("  An interrupted plo run left PySpark " + *left_version +
                         " half removed: putting back its kept files",
                     Color::Yellow));
    }
    if (left_version &&
        (left.unfinished() || PySparkStash::half_removed_pyspark_in(left.folder().parent_path()))) {
      stash.kept = left;
      stash.version = *left_version;
      if (!stash.settle(*this, false)) {
        c.echo();
        return false;  // nothing more changes before those files are back
      }
      environment = probe_environment(s_.runner, interpreter, true);
      current = s_.compat.get_pyspark_info();
    } else if (left_version) {
      c.echo(c.style("  Cleared the copy of PySpark " + *left_version +
                         " that an interrupted plo run kept (PySpark was changed since)",
                     Color::Yellow));
    }
    left.remove();
    if (current && same_version(current->version, version_to_install)) {
      c.echo();
      c.echo(c.style("PySpark " + current->version + " is already installed", Color::Green));
      c.echo();
      return true;
    }
  }
  if (!installer_can_replace(environment, interpreter, current)) return false;
  struct ResetInstaller {
    std::optional<std::string>& uv;
    ~ResetInstaller() { uv.reset(); }
  } reset_installer{uv_};

  if (current && environment.dist_info && !environment.files.empty()) {
    stash.kept.emplace(fs::path(*environment.dist_info).parent_path() / PySparkStash::kFolderName);
    stash.version = current->version;
    try {
      stash.kept->create(current->version, environment.files);
    } catch (const std::exception& e) {
      // Without the copy a failed install could not be undone: change nothing.
      stash.kept->remove();
      stash.kept.reset();
      c.echo(c.style("  Could not keep a copy of PySpark " + current->version +
                         "'s files before uninstalling it: " + escape_controls(e.what()),
                     Color::Red));
      c.echo("   Nothing was changed. Free some space (or make the environment writable), then");
      c.echo("   run 'plo spark set-version' again.");
      c.echo();
      return false;
    }
  }

  std::optional<std::string> previous_version;
  const auto finish = [&](bool result) { return stash.settle(*this, false) && result; };
  try {
    if (current) {
      bool success = false;
      std::tie(success, previous_version) = _uninstall_pyspark();
      if (!success) {
        c.echo(c.style("Failed to uninstall current PySpark", Color::Red));
        return finish(false);
      }
    }

    if (!_install_pyspark(version_to_install)) {
      c.echo();
      c.echo(c.style("Failed to install PySpark " + version_to_install, Color::Red));
      if (previous_version) {
        c.echo();
        c.echo(c.style("Rolling back to PySpark " + *previous_version + "...", Color::Yellow));
        if (_install_pyspark(*previous_version)) {
          s_.compat.restore_java_pin();
          c.echo(c.style("Restored PySpark " + *previous_version, Color::Green));
        } else {
          c.echo(c.style("Rollback failed! Run 'plo spark set-version' again", Color::Red));
        }
      }
      return finish(false);
    }
    s_.compat.restore_java_pin();

    c.echo();
    if (package_ == "pyspark-client") {
      return finish(finish_client_install(version_to_install, previous_version));
    }
    // Whether the current Java is in the line's list decides, with the output's own signatures,
    // whether Java is to blame; a failure for another reason keeps the new version.
    std::optional<bool> java_fits;
    if (!supported.empty()) {
      if (const auto java = s_.compat.get_current_java()) {
        java_fits = std::find(supported.begin(), supported.end(), java->version) != supported.end();
      }
    }
    const SmokeResult smoke = smoke_test(java_fits);
    if (smoke.import_failed) {
      import_failed(version_to_install, major_minor, smoke.first_error_line, previous_version);
      return finish(false);
    }
    const bool test_ok = smoke.ok;
    const std::string& error_msg = smoke.message;
    const bool java_error = smoke.java_error;

    if (!java_error) {
      c.echo();
      c.echo(c.style("PySpark " + version_to_install + " installed successfully", Color::Green));
      c.echo(test_ok
                 ? c.style("  Java compatibility verified", Color::Green)
                 : c.style("  Note: " + escape_controls(trim_line_ends(error_msg)), Color::Yellow));
      c.echo();
      return finish(true);
    }

    c.echo();
    c.echo(c.style("Java compatibility error: " + escape_controls(error_msg), Color::Red));
    if (!smoke.first_error_line.empty()) {
      c.echo_err("  " + escape_controls(first_chars(smoke.first_error_line, 400)));
    }
    c.echo();
    c.echo("   This PySpark version doesn't work with your current Java.");
    c.echo("   PySpark " + major_minor + " requires Java " + java_list_text(supported));
    c.echo();
    if (const auto restored = offer_rollback(previous_version)) {
      if (*restored) {
        c.echo();
        c.echo("   To use the new version, first run:");
        c.echo("     plo java set");
        c.echo();
      }
      return finish(false);
    }
    c.echo();
    c.echo("   To fix this, run:");
    c.echo("     plo java set");
    c.echo();
    return finish(false);
  } catch (const Abort&) {
    // An interrupt, or end of input at the rollback question.
    clear_pending_interrupt();
    stash.settle(*this, true);
    report_state_after_interrupt(current ? std::optional(current->version) : std::nullopt);
    throw;
  } catch (const OutputClosed&) {
    clear_pending_interrupt();
    stash.settle(*this, true);
    throw;
  } catch (const std::exception&) {
    clear_pending_interrupt();
    stash.settle(*this, true);
    throw;
  }
}

std::optional<bool> SparkTask::offer_rollback(const std::optional<std::string>& previous_version) {
  Console& c = s_.console;
  if (!previous_version || !c.confirm("Rollback to PySpark " + *previous_version + "?", true)) {
    return std::nullopt;
  }
  c.echo();
  c.echo(c.style("Rolling back...", Color::Yellow));
  _uninstall_pyspark();
  if (!_install_pyspark(*previous_version)) {
    c.echo(c.style("Rollback failed!", Color::Red));
    return false;
  }
  s_.compat.restore_java_pin();
  c.echo(c.style("Restored PySpark " + *previous_version, Color::Green));
  return true;
}

void SparkTask::import_failed(const std::string& version, const std::string& major_minor,
                              const std::string& error_line,
                              const std::optional<std::string>& previous_version) {
  Console& c = s_.console;
  c.echo();
  c.echo(c.style("PySpark " + version +
                     " cannot be imported: " + escape_controls(first_chars(error_line, 400)),
                 Color::Red));
  c.echo();
  const auto python = s_.compat.python_version();
  const auto range = python_range(major_minor);
  if (python_fit(python, range) == false) {
    c.echo("   PySpark " + major_minor + " runs on Python " + range->min + " to " + range->max +
           "; yours is " + *python + ".");
    c.echo();
  }
  if (offer_rollback(previous_version)) {
    c.echo();
    return;
  }
  c.echo();
  c.echo("   Run 'plo spark set-version' to choose a version that works here");
  c.echo();
}

void SparkTask::report_state_after_interrupt(const std::optional<std::string>& had_version) {
  Console& c = s_.console;
  // The user stopped plo midway: say where the environment stands before the front end ends it.
  clear_pending_interrupt();
  std::optional<PySparkInfo> now;
  try {
    now = s_.compat.get_pyspark_info();
  } catch (const std::exception&) {
    c.echo(c.style("  Could not tell which PySpark is installed now", Color::Yellow));
    return;
  }
  c.echo();
  c.echo(c.style(now ? "  PySpark " + now->version + " is installed now"
                     : std::string("  No PySpark is installed now"),
                 Color::Yellow));
  if (had_version && (!now || now->version != *had_version)) {
    const std::string command =
        uv_ ? shell_quoted(*uv_) + " pip install --python " + shell_quoted(s_.interpreter())
            : shell_quoted(s_.interpreter()) + " -m pip install";
    c.echo(c.style("  To restore PySpark " + *had_version + ", run: " + command + " " + package_ +
                       "==" + shell_quoted(*had_version),
                   Color::Yellow));
  }
}

}  // namespace plo
