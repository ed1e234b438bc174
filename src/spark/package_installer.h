#pragma once

#include <optional>
#include <string>
#include <vector>

#include "process/process_runner.h"
#include "spark/installer_choice.h"

namespace plo {

// How one run of the installer ended.
struct InstallerRun {
  bool ok = false;          // exit status 0
  std::string error = {};   // plo's reason when it could not start, else the output's last lines
  bool started = true;      // false: the installer could not be started at all
  std::string output = {};  // what it printed, where captured (check)
};

// The installer a switch uses (the interpreter's pip, or uv's pip interface) for one
// distribution ("pyspark", or "pyspark-client" for the Spark Connect client).
class PackageInstaller {
 public:
  PackageInstaller(ProcessRunner& runner, std::string interpreter, std::string package,
                   std::optional<std::string> uv = std::nullopt, bool capture_install = false)
      : runner_(runner),
        interpreter_(std::move(interpreter)),
        package_(std::move(package)),
        uv_(std::move(uv)),
        capture_install_(capture_install) {}

  // Removes the distribution; its output is captured.
  InstallerRun uninstall() const;

  // Installs `package==version`, the version as given, and `beside` (the companions moved with
  // it) in the same run. The installer talks on the terminal (and may ask there) unless
  // capture_install was asked for (--json).
  InstallerRun install(const std::string& version,
                       const std::vector<std::string>& beside = {}) const;

  // Checks that every installed distribution's requirements hold (`pip check`); captured.
  InstallerRun check() const;

  // The command a user runs to install `version` (and `beside`) by hand, quoted for a shell.
  std::string install_command(const std::string& version,
                              const std::vector<std::string>& beside = {}) const;

  // "pip" or "uv".
  const char* name() const { return uv_ ? "uv" : "pip"; }

  const std::string& package() const { return package_; }

 private:
  std::vector<std::string> argv(const std::string& action,
                                const std::vector<std::string>& arguments) const;

  ProcessRunner& runner_;
  std::string interpreter_;
  std::string package_;
  std::optional<std::string> uv_;
  bool capture_install_;
};

// The last few non-blank lines of an installer's captured output (standard error first), for a
// report; at most `max_lines` lines.
std::string installer_error_tail(const ProcessResult& result, size_t max_lines = 5);

}  // namespace plo
