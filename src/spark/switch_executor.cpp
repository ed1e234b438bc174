#include "spark/switch_executor.h"

#include <algorithm>
#include <filesystem>

#include "cancel/cancel.h"
#include "cancel/interrupt.h"
#include "catalogue/pep440.h"
#include "catalogue/python_support.h"
#include "spark/display.h"
#include "util/text.h"

namespace plo {

namespace fs = std::filesystem;
using Kind = SwitchEvent::Kind;

namespace {

// A resolver that reaches the index: slow on a cold cache, but not without end.
constexpr auto kProjectToolTimeLimit = std::chrono::minutes(10);

// The tool's non-empty output lines.
std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (const std::string_view line : split_lines(text)) {
    if (!trim_line_ends(line).empty()) lines.emplace_back(trim_line_ends(line));
  }
  return lines;
}

}  // namespace

void SwitchExecutor::say(const SwitchEvent& event, bool quiet) {
  if (!quiet) {
    s_.emit(event);
    return;
  }
  try {
    s_.emit(event);
  } catch (...) {
    // The output is gone or broken; what the event tells has happened all the same.
  }
}

bool SwitchExecutor::settle_left_copy(const std::string& folder) {
  std::unique_ptr<KeptCopy> left = s_.kept_copy(folder);
  const auto version = left->version();
  if (version && (left->unfinished() || left->site_half_removed())) {
    // A restore that failed, or a plo killed midway: the kept files are the user's only copy.
    s_.emit({.kind = Kind::Resuming, .version = *version, .unfinished = left->unfinished()});
    kept_ = std::move(left);
    kept_version_ = *version;
    return settle(false);
  }
  // After a deliberate change since (pip uninstall, another install) the copy is of no use.
  if (version) s_.emit({.kind = Kind::StaleCopyCleared, .version = *version});
  left->remove();
  return true;
}

bool SwitchExecutor::settle(bool quiet) {
  if (!kept_) return true;
  try {
    // Read from the files, not from a child, so that a further interrupt cannot cut it short.
    if (kept_->unfinished() || !kept_->site_complete()) {
      kept_->restore();
      s_.compat.restore_java_pin();
      say({.kind = Kind::KeptRestored, .version = kept_version_}, quiet);
    }
  } catch (const std::exception& e) {
    // The kept files are now the only copy of that version: they stay, marked, for the next run.
    last_error_ = e.what();
    kept_->mark_unfinished();
    say({.kind = Kind::KeptRestoreFailed,
         .version = kept_version_,
         .text = e.what(),
         .folder = kept_->folder()},
        quiet);
    kept_.reset();
    return false;
  }
  kept_->remove();
  kept_.reset();
  return true;
}

SwitchResult SwitchExecutor::run(const SwitchPlan& plan) {
  plan_ = &plan;
  installer_.emplace(s_.runner, plan.interpreter, plan.package,
                     plan.installer == InstallerKind::Uv ? std::optional(plan.uv) : std::nullopt,
                     s_.capture_install);
  try {
    return steps();
  } catch (const Abort&) {
    // An interrupt, or end of input at the rollback question.
    unwind();
    interrupted();
    throw;
  } catch (const OutputClosed&) {
    unwind();
    throw;
  } catch (const std::exception&) {
    unwind();
    throw;
  }
}

void SwitchExecutor::unwind() {
  clear_pending_interrupt();
  settle(true);
  if (!new_stays_) restore_project(true);
}

SwitchResult SwitchExecutor::ended(bool ok, std::string outcome, std::string error) {
  // The kept copy goes only once the environment holds a whole PySpark again.
  if (!settle(false)) {
    ok = false;
    outcome = "failed";
    error = last_error_;
  }
  // The project follows the environment: its files go back unless the new version stays.
  if (!new_stays_) restore_project(false);
  SwitchResult result{.ok = ok,
                      .outcome = std::move(outcome),
                      .from = plan_->from,
                      .to = plan_->to,
                      .package = plan_->package,
                      .installer = installer_->name(),
                      .error = std::move(error)};
  if (result.outcome == "installed") {
    for (const CompanionMove& move : plan_->companions) {
      result.moved.push_back(move.name + " " + (move.to.empty() ? move.requirement : move.to));
    }
  }
  return result;
}

SwitchResult SwitchExecutor::steps() {
  if (!keep()) return ended(false, "failed", last_error_);
  if (plan_->project && !change_project()) return ended(false, "failed", last_error_);
  if (plan_->from && !uninstall_installed()) {
    s_.emit({.kind = Kind::UninstallStopped});
    return ended(false, "failed", last_error_);
  }
  s_.emit({.kind = Kind::Installing, .version = plan_->to});
  if (!install_exact(plan_->to)) {
    s_.emit({.kind = Kind::Installed, .version = plan_->to, .text = last_error_, .ok = false});
    const std::string error = last_error_;
    if (plan_->from) roll_back(true, false);
    return ended(false, "failed", error.empty() ? "the installer failed" : error);
  }
  s_.compat.restore_java_pin();
  new_stays_ = true;
  s_.emit({.kind = Kind::Installed, .version = plan_->to, .ok = true});
  if (!companions_hold()) {
    // PySpark and the packages moved with it go back together.
    const std::string error = last_error_;
    const bool restored = plan_->from && roll_back(true, true);
    return ended(false, restored ? "rolled_back" : "failed", error);
  }
  return plan_->verify == VerifyBy::ImportCheck ? verify_client() : verify();
}

bool SwitchExecutor::keep() {
  if (!plan_->keep_folder || !plan_->from) return true;
  kept_ = s_.kept_copy(*plan_->keep_folder);
  kept_version_ = *plan_->from;
  try {
    kept_->create(*plan_->from, plan_->keep_files);
  } catch (const std::exception& e) {
    // Without the copy a failed install could not be undone: change nothing.
    kept_->remove();
    kept_.reset();
    last_error_ = e.what();
    s_.emit({.kind = Kind::KeepFailed, .version = *plan_->from, .text = e.what()});
    return false;
  }
  s_.emit({.kind = Kind::Kept, .version = *plan_->from, .ok = true});
  return true;
}

bool SwitchExecutor::uninstall_installed() {
  const auto installed = s_.compat.get_pyspark_info();
  if (!installed) return true;
  s_.emit({.kind = Kind::Uninstalling, .version = installed->version});
  const InstallerRun run = installer_->uninstall();
  // A failed uninstall stops the switch: installing over a PySpark still there mixes the two.
  last_error_ = run.error.empty() ? "the installer did not uninstall it" : run.error;
  s_.emit({.kind = Kind::Uninstalled,
           .version = installed->version,
           .text = run.started ? "" : run.error,
           .detail = run.error,
           .ok = run.ok});
  return run.ok;
}

bool SwitchExecutor::install_exact(const std::string& version, bool back) {
  std::vector<std::string> beside;
  for (const CompanionMove& move : plan_->companions) {
    beside.push_back(back ? move.name + "==" + move.from : move.requirement);
  }
  const InstallerRun run = installer_->install(version, beside);
  last_error_ = run.error;
  // pip can succeed having installed nothing (a requirement whose marker does not match).
  return run.ok && installed_here(version);
}

bool SwitchExecutor::companions_hold() {
  if (plan_->companions.empty()) return true;
  const InstallerRun run = installer_->check();
  std::vector<std::string> failing;
  if (!run.ok) {
    std::vector<std::string> names = {"pyspark", "pyspark-client", "pyspark-connect", "py4j"};
    for (const CompanionMove& move : plan_->companions) names.push_back(move.name);
    failing = conflicts_naming(run.output.empty() ? run.error : run.output, names);
    // A conflict older than the switch, between packages it did not touch, is not its to judge.
    if (failing.empty() && !run.started) failing.push_back(run.error);
  }
  s_.emit({.kind = Kind::CompanionsChecked, .lines = failing, .ok = failing.empty()});
  if (failing.empty()) return true;
  last_error_ = failing.front();
  return false;
}

bool SwitchExecutor::change_project() {
  const ProjectEdit& edit = *plan_->project;
  try {
    for (const std::string& file : edit.files) {
      project_kept_.emplace_back(file, s_.read_project_file(file));
    }
  } catch (const std::exception& e) {
    // Without their bytes the files could not be put back: the tool does not run.
    project_kept_.clear();
    last_error_ = e.what();
    s_.emit({.kind = Kind::ProjectChanged, .detail = e.what(), .ok = false});
    return false;
  }
  for (size_t i = 0; i < edit.commands.size(); ++i) {
    ProcessResult run;
    try {
      run = s_.runner.run({.argv = edit.commands[i], .time_limit = kProjectToolTimeLimit});
    } catch (const ProcessStartError& e) {
      run.err = e.what();
    }
    std::vector<std::string> output = lines_of(run.err + run.out);
    if (run.exit_code != 0 || run.timed_out) {
      last_error_ = run.timed_out    ? edit.tool + " did not finish in time"
                    : output.empty() ? edit.tool + " failed"
                                     : output.back();
      s_.emit({.kind = Kind::ProjectChanged,
               .text = edit.shown[i],
               .detail = last_error_,
               .lines = std::move(output),
               .ok = false});
      return false;
    }
    s_.emit({.kind = Kind::ProjectChanged,
             .text = edit.shown[i],
             .lines = std::move(output),
             .ok = true});
  }
  return true;
}

void SwitchExecutor::restore_project(bool quiet) {
  if (project_kept_.empty()) return;
  std::vector<std::string> files;
  std::string failed;
  for (const auto& [file, bytes] : project_kept_) {
    files.push_back(file);
    try {
      s_.put_project_file(file, bytes);
    } catch (const std::exception& e) {
      failed = e.what();
    }
  }
  project_kept_.clear();
  say({.kind = Kind::ProjectRestored, .text = failed, .lines = files, .ok = failed.empty()}, quiet);
}

std::optional<ImportMismatch> import_mismatch(const EnvironmentProbe& now,
                                              const std::string& version) {
  if (!now.package || !now.dist_version) {
    return ImportMismatch{"import pyspark finds no PySpark after the install", std::nullopt};
  }
  if (now.install_to) {
    // What the installer put there counts only where a fresh import finds it.
    std::error_code error;
    const fs::path loaded = fs::weakly_canonical(fs::path(*now.package).parent_path(), error);
    if (!error && loaded != fs::path(*now.install_to)) {
      return ImportMismatch{
          "import pyspark loads it from " + loaded.string() + ", not from " + *now.install_to,
          loaded.string()};
    }
  }
  if (!same_version(version, *now.dist_version)) {
    return ImportMismatch{"import pyspark gives version " + *now.dist_version, std::nullopt};
  }
  return std::nullopt;
}

bool SwitchExecutor::installed_here(const std::string& version) {
  const EnvironmentProbe now = s_.probe();
  const auto mismatch = import_mismatch(now, version);
  if (!mismatch) return true;
  last_error_ = mismatch->reason;
  if (mismatch->loaded_from) {
    s_.emit({.kind = Kind::WrongPlace,
             .text = now.install_to.value_or(""),
             .folder = *mismatch->loaded_from});
  }
  return false;
}

SwitchResult SwitchExecutor::verify() {
  // Whether the current Java is in the line's list decides, with the output's own signatures,
  // whether Java is to blame; a failure for another reason keeps the new version.
  std::optional<bool> java_fits;
  const std::vector<int>& supported = plan_->supported;
  if (!supported.empty()) {
    if (const auto java = s_.compat.get_current_java()) {
      java_fits = std::find(supported.begin(), supported.end(), java->version) != supported.end();
    }
  }
  const SmokeResult smoke = s_.smoke_test(java_fits);
  if (smoke.import_failed) {
    std::vector<std::string> python_note;
    const auto python = s_.compat.python_version();
    const auto range = python_range(plan_->major_minor);
    if (python_fit(python, range) == false) {
      python_note.push_back("PySpark " + plan_->major_minor + " runs on Python " + range->min +
                            " to " + range->max + "; yours is " + *python + ".");
    }
    s_.emit({.kind = Kind::ImportFailed,
             .version = plan_->to,
             .text = smoke.first_error_line,
             .lines = python_note});
    const auto restored = offer_rollback();
    s_.emit({.kind = restored ? Kind::RollbackEnded : Kind::AdviseChooseAnother});
    return ended(false, restored.value_or(false) ? "rolled_back" : "failed",
                 smoke.first_error_line);
  }
  if (!smoke.java_error) {
    s_.emit({.kind = Kind::Verified, .version = plan_->to, .text = smoke.message, .ok = smoke.ok});
    SwitchResult result = ended(true, "installed");
    if (!smoke.ok) result.note = smoke.message;
    return result;
  }
  s_.emit({.kind = Kind::JavaError,
           .version = plan_->to,
           .text = smoke.message,
           .detail = smoke.first_error_line,
           .major_minor = plan_->major_minor,
           .java_list = java_list_text(supported)});
  const std::string error = smoke.first_error_line.empty() ? smoke.message : smoke.first_error_line;
  if (const auto restored = offer_rollback()) {
    if (*restored) s_.emit({.kind = Kind::AdviseJavaSetFirst});
    return ended(false, *restored ? "rolled_back" : "failed", error);
  }
  s_.emit({.kind = Kind::AdviseJavaSetToFix});
  return ended(false, "failed", error);
}

SwitchResult SwitchExecutor::verify_client() {
  const SmokeResult checked = s_.import_check(plan_->to);
  if (checked.ok) {
    s_.emit({.kind = Kind::Verified, .version = plan_->to, .ok = true, .client = true});
    return ended(true, "installed");
  }
  s_.emit({.kind = Kind::ClientImportFailed, .version = plan_->to, .text = checked.message});
  const auto restored = offer_rollback();
  if (restored) s_.emit({.kind = Kind::RollbackEnded});
  return ended(false, restored.value_or(false) ? "rolled_back" : "failed", checked.message);
}

std::optional<bool> SwitchExecutor::offer_rollback() {
  if (!plan_->from || !s_.confirm_rollback(*plan_->from)) return std::nullopt;
  return roll_back(false, true);
}

bool SwitchExecutor::roll_back(bool automatic, bool remove_new) {
  s_.emit({.kind = Kind::RollingBack, .version = *plan_->from, .automatic = automatic});
  new_stays_ = false;
  // After a failed check the new version is there and goes first; its uninstall's outcome does
  // not stop the reinstall. After a failed install nothing of the new version is left to remove.
  if (remove_new) uninstall_installed();
  s_.emit({.kind = Kind::Installing, .version = *plan_->from});
  const bool ok = install_exact(*plan_->from, true);
  if (ok) s_.compat.restore_java_pin();
  s_.emit({.kind = Kind::RolledBack, .version = *plan_->from, .ok = ok, .automatic = automatic});
  return ok;
}

void SwitchExecutor::interrupted() {
  // The user stopped plo midway: say where the environment stands before the front end ends it.
  std::optional<PySparkInfo> now;
  try {
    now = s_.compat.get_pyspark_info();
  } catch (const std::exception&) {
    s_.emit({.kind = Kind::Interrupted, .ok = false});
    return;
  }
  const auto& had = plan_->from;
  std::string mend;
  if (had && (!now || now->version != *had)) {
    std::vector<std::string> beside;
    for (const CompanionMove& move : plan_->companions)
      beside.push_back(move.name + "==" + move.from);
    mend = installer_->install_command(*had, beside);
  }
  s_.emit({.kind = Kind::Interrupted,
           .version = now ? now->version : std::string(),
           .text = mend,
           .detail = had.value_or(""),
           .ok = true});
}

}  // namespace plo
