#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/versions.h"
#include "environment/installed.h"
#include "process/process_runner.h"

namespace plo {

// The one-line script that makes the interpreter print its import path, NUL-separated after a
// marker.
extern const std::string_view kPathProbeScript;

// The import path from the probe's output, or nothing when the output is not the probe's.
std::optional<std::vector<std::string>> parse_path_listing(std::string_view output);

// The Version of a core-metadata file (METADATA or PKG-INFO) whose Name is pyspark.
std::optional<std::string> parse_pyspark_metadata(std::string_view metadata);

// The __version__ assigned in pyspark/version.py.
std::optional<std::string> parse_version_module(std::string_view source);

// The pyspark package that `import pyspark` would load: its version and its folder.
struct FoundPySpark {
  std::string version;
  std::string location;
};
std::optional<FoundPySpark> find_pyspark(const std::vector<std::string>& import_path);

// The version of the pyspark that `import pyspark` would load from this import path, found on
// disk without importing it. Empty entries stand for the current folder.
std::optional<std::string> find_pyspark_version(const std::vector<std::string>& import_path);

// What the interpreter answers about where its imports come from.
struct ImportPathAnswer {
  std::vector<std::string> import_path;
  std::vector<std::string> site_folders;  // where its site module looks for .pth files
  std::optional<std::string> python_version = std::nullopt;  // "3.10.13", "3.13.0rc1"
};

// The script that asks for an ImportPathAnswer: the interpreter's version and the site folders,
// each after its own marker, then the path probe.
std::string import_path_query_script();

// The interpreter's version from the query's output, or nothing when it holds no plausible one.
std::optional<std::string> parse_python_version(std::string_view output);

// The site folders from the query's output (empty when the output has none).
std::vector<std::string> parse_site_folders(std::string_view output);

// Starts the interpreter once and asks it; throws when it does not answer like Python.
ImportPathAnswer query_import_path(ProcessRunner& runner, const std::string& interpreter);

// The PySpark that `import_path` holds, with its Java data from `table`.
std::optional<PySparkInfo> pyspark_on_path(const std::vector<std::string>& import_path,
                                           const CompatTable& table);

// The PySpark installed for `interpreter` (one interpreter start), with its Java data from `table`.
std::optional<PySparkInfo> detect_pyspark(ProcessRunner& runner, const std::string& interpreter,
                                          const CompatTable& table);

}  // namespace plo
