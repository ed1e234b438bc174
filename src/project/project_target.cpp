#include "project/project_target.h"

#include <algorithm>

#include "project/pin_check.h"
#include "project/pin_files.h"
#include "util/escape.h"

namespace plo {
namespace {

// "X.Y": two numbers, a line rather than a version.
bool is_line(std::string_view text) {
  const auto dot = text.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size()) return false;
  return std::all_of(text.begin(), text.end(),
                     [](char ch) { return ch == '.' || (ch >= '0' && ch <= '9'); }) &&
         std::count(text.begin(), text.end(), '.') == 1;
}

bool is_plain_release(std::string_view text) {
  return std::count(text.begin(), text.end(), '.') == 2 &&
         std::all_of(text.begin(), text.end(),
                     [](char ch) { return ch == '.' || (ch >= '0' && ch <= '9'); }) &&
         text.front() != '.' && text.back() != '.' && text.find("..") == std::string_view::npos;
}

const VersionEntry* newest_of_line(const std::vector<VersionEntry>& versions,
                                   std::string_view line) {
  const auto entry = std::find_if(versions.begin(), versions.end(),
                                  [&](const VersionEntry& e) { return e.major_minor == line; });
  return entry == versions.end() ? nullptr : &*entry;
}

// The runtime's PySpark where no pyspark key or compute leads, and what the explicit keys
// contradict of it.
void apply_runtime(const ProjectSpec& spec, const std::vector<VersionEntry>& versions,
                   ProjectTarget& target) {
  const ManagedRuntime* runtime = find_runtime(*spec.runtime);
  if (!runtime) {
    throw ProjectFileError(spec.file + ": plo knows no runtime '" + escape_controls(*spec.runtime) +
                           "'; run 'plo runtimes' to list them");
  }
  target.runtime = *runtime;
  if (runtime->spark.empty()) {
    if (target.version.empty()) {
      throw ProjectFileError(spec.file + ": " + runtime->title +
                             "'s page names no Spark version; add pyspark = \"X.Y.Z\"");
    }
  } else if (target.version.empty()) {
    target.pyspark = runtime->spark;
    target.major_minor = major_minor_of(runtime->spark);
    if (is_plain_release(runtime->spark)) {
      target.version = runtime->spark;
      target.exact = true;
    } else if (const VersionEntry* entry = newest_of_line(versions, runtime->spark)) {
      target.version = entry->version;
    } else {
      throw ProjectFileError(spec.file + ": " + runtime->title + " runs Spark " + runtime->spark +
                             ", for which plo knows no PySpark");
    }
  } else if (is_plain_release(runtime->spark) ? target.version != runtime->spark
                                              : target.major_minor != runtime->spark) {
    const std::string key = spec.pyspark ? "pyspark = \"" + *spec.pyspark + "\""
                                         : "compute '" + escape_controls(*spec.compute) + "'";
    target.contradictions.push_back(key + " differs from " + runtime->title + "'s Spark " +
                                    runtime->spark);
  }
  if (spec.java && runtime->java && *spec.java != *runtime->java) {
    target.contradictions.push_back("java = " + std::to_string(*spec.java) + " differs from " +
                                    runtime->title + "'s Java " + std::to_string(*runtime->java));
  }
}

}  // namespace

ProjectTarget resolve_target(const ProjectSpec& spec, const std::vector<VersionEntry>& versions,
                             const CompatTable& table,
                             const ClusterVersionLookup& cluster_version) {
  const std::string file = spec.file;
  ProjectTarget target;
  if (spec.compute) {
    const std::string name = escape_controls(*spec.compute);
    target.cluster_version = cluster_version(*spec.compute);
    if (!target.cluster_version) {
      throw ProjectFileError(file + ": cannot tell the Spark version of compute '" + name +
                             "'; run 'plo spark match-cluster " + name + "' to see why");
    }
    const std::string line = major_minor_of(*target.cluster_version);
    if (spec.pyspark && major_minor_of(*spec.pyspark) != line) {
      throw ProjectFileError(file + ": pyspark = \"" + *spec.pyspark +
                             "\" disagrees with compute '" + name + "', whose cluster runs Spark " +
                             *target.cluster_version);
    }
    if (!spec.pyspark) {
      target.pyspark = line;
      target.major_minor = line;
      if (is_plain_release(*target.cluster_version)) {
        target.version = *target.cluster_version;
      } else if (const VersionEntry* entry = newest_of_line(versions, line)) {
        target.version = entry->version;
      } else {
        throw ProjectFileError(file + ": compute '" + name + "' runs Spark " +
                               *target.cluster_version + ", for which plo knows no PySpark");
      }
    }
  }
  if (spec.pyspark) {
    target.pyspark = *spec.pyspark;
    target.major_minor = major_minor_of(*spec.pyspark);
    if (is_line(*spec.pyspark)) {
      const VersionEntry* entry = newest_of_line(versions, *spec.pyspark);
      if (!entry) {
        throw ProjectFileError(file + ": plo knows no PySpark " + *spec.pyspark +
                               "; give an exact version such as \"" + *spec.pyspark + ".0\"");
      }
      target.version = entry->version;
    } else {
      target.version = *spec.pyspark;
      target.exact = true;
    }
  }
  if (spec.runtime) apply_runtime(spec, versions, target);
  if (target.version.empty()) {
    throw ProjectFileError(file + ": [tool.plo] names no pyspark, no compute and no runtime");
  }
  if (spec.java) {
    target.java = *spec.java;
  } else if (target.runtime && target.runtime->java) {
    target.java = *target.runtime->java;
  } else {
    const auto record = table.find(target.major_minor);
    if (record == table.end() || !record->second.recommended) {
      throw ProjectFileError(file + ": plo does not know which Java PySpark " + target.major_minor +
                             " recommends; add java = N to [tool.plo]");
    }
    target.java = *record->second.recommended;
  }
  return target;
}

bool pyspark_matches(const ProjectTarget& target, const std::optional<PySparkInfo>& installed) {
  if (!installed) return false;
  return target.exact ? installed->version == target.version
                      : installed->major_minor == target.major_minor;
}

bool java_matches(const ProjectTarget& target, const std::optional<JavaInfo>& java) {
  return java && java->version == target.java;
}

std::optional<ProjectStatus> project_status(JavaCompatService& compat,
                                            const ClusterVersionLookup& cluster_version,
                                            const std::filesystem::path& start) {
  const auto file = find_project_file(start, true);
  if (!file) return std::nullopt;
  auto spec = read_project(*file);
  if (!spec) return std::nullopt;
  // Where [tool.plo] names no PySpark, the project's own pin is the one truth.
  take_sole_pin(*spec, read_project_pins(gather_pin_texts(start)), interpreter_markers(compat));
  ProjectStatus status{
      .spec = *spec,
      .target = resolve_target(*spec, compat.pyspark_versions(),
                               compat.pyspark_java_compatibility(), cluster_version)};
  status.matches = pyspark_matches(status.target, compat.get_pyspark_info()) &&
                   java_matches(status.target, compat.get_current_java());
  const auto& runtime = status.target.runtime;
  if (runtime && !runtime->pythons.empty()) {
    if (const auto python = compat.python_version()) {
      status.python = major_minor_of(*python);
      status.python_fits = std::find(runtime->pythons.begin(), runtime->pythons.end(),
                                     *status.python) != runtime->pythons.end();
    }
  }
  return status;
}

std::optional<std::string> unknown_keys_warning(const ProjectSpec& spec) {
  if (spec.unknown_keys.empty()) return std::nullopt;
  std::string keys;
  for (const auto& key : spec.unknown_keys) keys += (keys.empty() ? "" : ", ") + key;
  return "Warning: " + escape_controls(spec.file) +
         ": [tool.plo] has keys plo does not know: " + escape_controls(keys);
}

std::optional<std::string> python_drift_line(const ProjectStatus& status) {
  if (status.python_fits != false) return std::nullopt;
  const ManagedRuntime& runtime = *status.target.runtime;
  std::string pythons;
  for (const std::string& python : runtime.pythons)
    pythons += (pythons.empty() ? "" : ", ") + python;
  return "  pyproject.toml's runtime " + runtime.title + " runs Python " + pythons +
         ", this environment " + *status.python + ": run 'uv venv --python " +
         runtime.pythons.back() + "'";
}

std::optional<std::string> drift_line(const ProjectStatus& status) {
  if (status.matches) return std::nullopt;
  return "  pyproject.toml asks for PySpark " + status.target.pyspark + ", Java " +
         std::to_string(status.target.java) + ": run 'plo sync'";
}

}  // namespace plo
