#include <unistd.h>

#include <filesystem>

#include "catalogue/pep440.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/escape.h"

namespace plo {

namespace fs = std::filesystem;

std::vector<std::string> SparkTask::installer_argv(const std::string& action,
                                                   const std::string& argument) {
  if (uv_) return {*uv_, "pip", action, "--python", s_.interpreter(), argument};
  std::vector<std::string> argv = {s_.interpreter(), "-m", "pip", action, argument};
  if (action == "uninstall") argv.emplace_back("-y");
  return argv;
}

std::pair<bool, std::optional<std::string>> SparkTask::_uninstall_pyspark() {
  Console& c = s_.console;
  const auto info = s_.compat.get_pyspark_info();
  if (!info) return {true, std::nullopt};
  const std::string previous = info->version;
  c.echo("  Uninstalling PySpark " + previous + "...");
  try {
    const ProcessResult result = s_.runner.run({.argv = installer_argv("uninstall", package_)});
    if (result.exit_code == 0) {
      c.echo(c.style("  Removed PySpark " + previous, Color::Yellow));
      return {true, previous};
    }
    c.echo(c.style("  Warning: Could not uninstall PySpark", Color::Yellow));
  } catch (const std::exception& e) {
    c.echo(c.style("  Error uninstalling: " + escape_controls(e.what()), Color::Red));
  }
  // Installing over a PySpark that is still there would mix the two.
  return {false, previous};
}

bool SparkTask::_install_pyspark(const std::string& version) {
  s_.console.echo("  Installing PySpark " + version + "...");
  try {
    // pip writes its progress straight to the user's terminal, and asks its questions there.
    // Without a terminal a question would wait for ever: pip is told to fail instead.
    std::optional<std::vector<std::string>> environment;
    if (!::isatty(STDIN_FILENO)) {
      environment = current_environment();
      environment->emplace_back("PIP_NO_INPUT=1");
    }
    const ProcessResult result =
        s_.runner.run({.argv = installer_argv("install", package_ + "==" + version),
                       .environment = environment,
                       .capture = false});
    // pip can succeed having installed nothing (a requirement whose marker does not match).
    return result.exit_code == 0 && installed_version_is(version);
  } catch (const std::exception&) {
    return false;
  }
}

bool SparkTask::installed_version_is(const std::string& version) {
  const EnvironmentProbe now = probe_environment(s_.runner, s_.interpreter(), false);
  if (!now.package || !now.dist_version) return false;
  if (now.install_to) {
    // What pip installed counts only where import finds it.
    std::error_code error;
    const fs::path loaded = fs::weakly_canonical(fs::path(*now.package).parent_path(), error);
    if (!error && loaded != fs::path(*now.install_to)) {
      s_.console.echo(s_.console.style("  import pyspark loads it from " +
                                           escape_controls(loaded.string()) + ", not from " +
                                           escape_controls(*now.install_to),
                                       Color::Red));
      return false;
    }
  }
  return same_version(version, *now.dist_version);
}

}  // namespace plo
