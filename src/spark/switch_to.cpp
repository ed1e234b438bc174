#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <variant>

#include "catalogue/pep440.h"
#include "environment/distributions.h"
#include "environment/environment_probe.h"
#include "spark/spark_task.h"
#include "spark/switch_render.h"
#include "util/atomic_write.h"
#include "util/escape.h"
#include "util/text_file.h"

namespace plo {

using Kind = SwitchEvent::Kind;

namespace {

// A lock of a large project runs to a few MiB.
constexpr size_t kMaxKeptProjectFileBytes = 64 << 20;

std::optional<std::string> read_project_file(const std::string& file) {
  FileContents contents = read_regular_file(file, kMaxKeptProjectFileBytes);
  if (contents.status == FileContents::Status::Ok) return std::move(contents.text);
  if (contents.status == FileContents::Status::Unreadable && contents.error == ENOENT) {
    return std::nullopt;
  }
  throw std::runtime_error("cannot keep a copy of " + file + ": " +
                           (contents.status == FileContents::Status::TooLarge
                                ? std::string("it is too large")
                            : contents.status == FileContents::Status::NotRegular
                                ? std::string("it is not a regular file")
                                : std::string(std::strerror(contents.error))));
}

// Puts a project file back as it was; where that fails, its bytes go beside it (FILE.plo-kept)
// so that they are not lost with plo.
void put_project_file(const std::string& file, const std::optional<std::string>& bytes) {
  try {
    if (!bytes) {
      std::filesystem::remove(file);
      return;
    }
    write_file_atomically(file, *bytes, 0644);
  } catch (const std::exception& e) {
    if (!bytes) throw;
    const std::string kept = file + ".plo-kept";
    try {
      write_file_atomically(kept, *bytes, 0600);
    } catch (const std::exception&) {
      throw std::runtime_error(e.what());
    }
    throw std::runtime_error(std::string(e.what()) + "; its former text is in " + kept);
  }
}

}  // namespace

void SparkTask::emit(const SwitchEvent& event) {
  print_switch_event(s_.console, event);
  if (s_.on_switch) s_.on_switch(event);
}

bool SparkTask::finished_early(const SwitchAsked& asked, const std::optional<std::string>& from,
                               bool ok, const std::string& outcome, const std::string& error) {
  emit({.kind = Kind::Finished,
        .result = SwitchResult{.ok = ok,
                               .outcome = outcome,
                               .from = from,
                               .to = asked.version,
                               .package = asked.package,
                               .error = error}});
  return ok;
}

SwitchFound SparkTask::find_switch(const SwitchAsked& asked) {
  SwitchFound found{.interpreter = s_.interpreter()};
  found.environment = probe_environment(s_.runner, found.interpreter, true);
  if (const auto current = s_.compat.get_pyspark_info()) found.current = current->version;
  found.breaks_system_packages = pip_told_to_break_system_packages();
  const InstallerFacts facts =
      installer_facts(asked.installer, found.interpreter, found.environment.has_pip);
  found.uv = facts.uv;
  found.pip_settings = facts.pip_settings;
  for (const CompanionMove& move : asked.companions) {
    if (move.location.empty()) continue;
    const auto files = recorded_files(move.location);
    found.companion_files.insert(found.companion_files.end(), files.begin(), files.end());
  }
  return found;
}

SwitchServices SparkTask::switch_services() {
  return {.compat = s_.compat,
          .runner = s_.runner,
          .kept_copy = kept_copy_on_disk,
          .probe = [this] { return probe_environment(s_.runner, s_.interpreter(), false); },
          .smoke_test = [this](std::optional<bool> java_fits) { return smoke_test(java_fits); },
          .import_check = [this](const std::string& version) { return import_check(version); },
          .confirm_rollback =
              [this](const std::string& previous) {
                return s_.console.confirm("Rollback to PySpark " + previous + "?", true);
              },
          .read_project_file = read_project_file,
          .put_project_file = put_project_file,
          .emit = [this](const SwitchEvent& event) { emit(event); },
          .capture_install = s_.capture_installer};
}

bool SparkTask::switch_to(const SwitchAsked& asked) {
  emit({.kind = Kind::Started});
  SwitchFound found = find_switch(asked);
  // Outside any environment of its own the change would land in an interpreter other programs
  // share: refused before anything there changes, a copy left by a killed run included.
  if (const auto refusal = shared_interpreter_refusal(found, asked)) {
    emit({.kind = Kind::Refused, .text = refusal->reason, .lines = refusal->mend});
    return finished_early(asked, found.current, false, "refused", refusal->reason);
  }
  SwitchExecutor executor(switch_services());
  if (found.environment.stash) {
    // Left by a plo that was killed midway, or whose restore failed.
    if (!executor.settle_left_copy(*found.environment.stash)) {
      emit({.kind = Kind::Stopped});  // nothing more changes before those files are back
      return finished_early(asked, found.current, false, "failed");
    }
    found = find_switch(asked);
    if (found.current && same_version(*found.current, asked.version)) {
      emit({.kind = Kind::AlreadyInstalled, .version = *found.current});
      return finished_early(asked, found.current, true, "already_installed");
    }
  }
  const SwitchDecision decision = plan_switch(found, asked);
  if (const auto* refusal = std::get_if<InstallRefusal>(&decision)) {
    emit({.kind = Kind::Refused, .text = refusal->reason, .lines = refusal->mend});
    return finished_early(asked, found.current, false, "refused", refusal->reason);
  }
  const SwitchPlan& plan = std::get<SwitchPlan>(decision);
  if (!plan.installer_note.empty()) s_.console.echo_err(escape_controls(plan.installer_note));
  SwitchResult result = executor.run(plan);
  const bool ok = result.ok;
  emit({.kind = Kind::Finished, .result = std::move(result)});
  return ok;
}

}  // namespace plo
