#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process/process_runner.h"

namespace plo {

// What one interpreter start tells about installing into that interpreter's environment.
struct EnvironmentProbe {
  bool has_pip = false;             // `-m pip` can run
  bool in_virtual_env = false;      // sys.prefix differs from sys.base_prefix
  bool externally_managed = false;  // EXTERNALLY-MANAGED in the stdlib folder (PEP 668)
  bool conda = false;               // sys.prefix is a conda environment (it has conda-meta)
  std::optional<std::string> stash = std::nullopt;  // a PySpark stash found on the import path
  // The pyspark package that import would load, and how it got on the import path; its dist-info
  // is that of pyspark, or of pyspark-client (the Spark Connect client ships the same package).
  std::optional<std::string> package = std::nullopt;  // its folder
  enum class Origin { None, Site, PythonPath, CurrentFolder } origin = Origin::None;
  std::optional<std::string> dist_info = std::nullopt;  // the pyspark dist-info beside the package
  std::optional<std::string> dist_version = std::nullopt;  // that dist-info's Version
  // Its RECORD's files, and py4j's where it requires py4j (when asked for).
  std::vector<std::string> files = {};
  std::optional<std::string> install_to = std::nullopt;   // the folder pip installs into (real)
  std::optional<std::string> user_site = std::nullopt;    // the user site, where enabled (real)
  std::optional<std::string> base_python = std::nullopt;  // a venv's base interpreter
  // Real folders holding a pyspark package that import reaches before install_to, in import order.
  std::vector<std::string> shadowing_folders = {};
  // conda installed that pyspark (its INSTALLER says so, or conda-meta lists it).
  bool conda_owned = false;
  // A pyspark installed with `pip install -e`: the URL of its source folder (direct_url.json).
  std::optional<std::string> editable = std::nullopt;
};

// The probe script; with the argument "files" it also lists the files of the dist-info's RECORD.
extern const std::string_view kEnvironmentProbeScript;

// The answers in the probe's output, or nothing when the output is not the probe's.
std::optional<EnvironmentProbe> parse_environment_probe(std::string_view output);

// Runs the probe with `interpreter` (one short child). Throws when the interpreter does not answer.
EnvironmentProbe probe_environment(ProcessRunner& runner, const std::string& interpreter,
                                   bool list_files);

// Whether PIP_BREAK_SYSTEM_PACKAGES tells pip to change an externally managed environment.
bool pip_told_to_break_system_packages();

}  // namespace plo
