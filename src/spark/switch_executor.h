#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "compat/java_compat_service.h"
#include "environment/environment_probe.h"
#include "process/process_runner.h"
#include "spark/package_installer.h"
#include "spark/pyspark_stash.h"
#include "spark/smoke_result.h"
#include "spark/switch_events.h"
#include "spark/switch_plan.h"

namespace plo {

// Why a fresh import does not give exactly `version` from the folder the installer put it in;
// nothing when it does. `loaded_from` is set when another folder won.
struct ImportMismatch {
  std::string reason = {};
  std::optional<std::string> loaded_from = {};
};
std::optional<ImportMismatch> import_mismatch(const EnvironmentProbe& now,
                                              const std::string& version);

// What the executor reaches the world through.
struct SwitchServices {
  JavaCompatService& compat;  // the installed PySpark, the current Java, the Java pin
  ProcessRunner& runner;      // the installer
  std::function<std::unique_ptr<KeptCopy>(const std::string&)> kept_copy;
  std::function<EnvironmentProbe()> probe;  // a fresh interpreter's view, without files
  std::function<SmokeResult(std::optional<bool>)> smoke_test;   // given whether Java fits
  std::function<SmokeResult(const std::string&)> import_check;  // the client's, for a version
  std::function<bool(const std::string&)> confirm_rollback;     // "Rollback to PySpark X?"
  // A project file's bytes (nothing where there is no such file); throws where it cannot be read.
  std::function<std::optional<std::string>(const std::string&)> read_project_file;
  // Puts those bytes back safely (nothing: removes the file the tool created); throws on failure.
  std::function<void(const std::string&, const std::optional<std::string>&)> put_project_file;
  SwitchSink emit;
  bool capture_install = false;  // the installer's output is captured, not shown (--json)
};

// Runs a switch's plan as one transaction: the copy of the installed PySpark is made first and
// owned until the end; whatever fails puts the old version back (the installer's reinstall,
// then the kept files where the environment still lacks a whole PySpark); a copy that cannot be
// put back stays, marked, for the next run. Every step is told through `emit`.
class SwitchExecutor {
 public:
  explicit SwitchExecutor(SwitchServices services) : s_(std::move(services)) {}

  // Puts back the copy a plo run left in `folder` where that run could not (its restore failed,
  // or PySpark is half removed), and clears it otherwise. False when it stays: nothing else may
  // change before those files are back.
  bool settle_left_copy(const std::string& folder);

  // Runs the plan to its end. An interrupt or error midway settles the kept copy, says where the
  // environment stands and passes on.
  SwitchResult run(const SwitchPlan& plan);

 private:
  SwitchResult steps();
  bool keep();
  bool uninstall_installed();
  bool install_exact(const std::string& version, bool back = false);
  bool companions_hold();
  bool change_project();
  void restore_project(bool quiet);
  bool installed_here(const std::string& version);
  SwitchResult verify();
  SwitchResult verify_client();
  std::optional<bool> offer_rollback();
  bool roll_back(bool automatic, bool remove_new);
  bool settle(bool quiet);
  // After an interrupt or error midway: the kept copy settled and the project's files put back
  // unless the new version stays, quietly, since the output may be what failed.
  void unwind();
  void interrupted();
  void say(const SwitchEvent& event, bool quiet);
  SwitchResult ended(bool ok, std::string outcome, std::string error = {});

  SwitchServices s_;
  const SwitchPlan* plan_ = nullptr;
  std::optional<PackageInstaller> installer_;
  std::unique_ptr<KeptCopy> kept_;
  std::string kept_version_;
  std::string last_error_;
  // The project's files as they were before its tool ran; empty once put back or kept.
  std::vector<std::pair<std::string, std::optional<std::string>>> project_kept_;
  bool new_stays_ = false;  // the new version is installed and no rollback has begun
};

}  // namespace plo
