#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "compat/java_compat_service.h"
#include "compat/java_environment.h"
#include "compat/package_index.h"
#include "console/console.h"
#include "project/project_target.h"

namespace plo {

// What `plo sync` reaches the world through. The steps that belong to the command groups (set-
// version's install phase, `plo java install`) come as functions from the front end, since one
// command group never includes another.
struct SyncServices {
  Console& console;
  JavaCompatService& compat;
  JavaEnvironment& java;
  ClusterVersionLookup cluster_version;  // asked only when the file names a compute
  // Installs exactly that PySpark (lock, stash, smoke test, rollback) with `java_home` as the
  // Java its smoke test starts when nothing is pinned yet; true when it ends up installed.
  std::function<bool(const std::string& version, const std::string& java_home)> install_pyspark;
  // Installs plo's own JDK of that major; true when it is installed.
  std::function<bool(int major)> install_jdk;
  // Installs exactly that delta-spark, leaving PySpark as it is; true when it is installed.
  std::function<bool(const std::string& version)> install_delta = {};
  // The installer ("pip" or "uv") install_pyspark runs here, as its install phase chooses it, or
  // nothing where neither can run; asked only when the PySpark step installs or would.
  std::function<std::optional<std::string>()> pyspark_installer = {};
  // The versions of PySpark the package index lists: a line's patch is its newest where that is
  // ahead of the catalogue. Asked only where the installed PySpark is not of the line.
  PackageIndex* package_index = nullptr;
};

struct SyncOptions {
  bool yes = false;      // install a missing JDK, and answer yes to the install's questions
  bool dry_run = false;  // print the plan, change nothing
};

// One step of sync and how it ended.
struct SyncStep {
  enum class Outcome { AlreadyRight, Changed, Planned, Failed };
  std::string name;    // "pyspark", "java", "pin", and for a runtime "delta" or "python"
  std::string wanted;  // "3.5.9", "17"
  std::optional<std::string> before;
  Outcome outcome = Outcome::AlreadyRight;
  std::string line;  // what it says to the user
};

// What `plo sync` found and did.
struct SyncReport {
  std::optional<std::string> file;  // nothing: no project file applies
  std::optional<ProjectTarget> target;
  bool dry_run = false;
  std::vector<SyncStep> steps;
  // The PySpark step's installer ("pip" or "uv") where it installed or, with --dry-run, would.
  std::optional<std::string> installer;
  bool ok = false;
};

// Makes the environment match the project file nearest to `start`: the PySpark, the Java (found,
// or installed with `yes`), then plo's Java pin, each step printed as it ends. Throws
// ProjectFileError for an invalid file; a failed step ends the sync with `ok` false.
SyncReport sync_project(const SyncServices& services, const SyncOptions& options,
                        const std::filesystem::path& start);

// The sync report as the --json document.
nlohmann::ordered_json sync_json(const SyncReport& report);

}  // namespace plo
