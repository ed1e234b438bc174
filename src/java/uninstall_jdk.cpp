#include <filesystem>

#include "java/java_task.h"
#include "util/escape.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// The path with every link resolved; where it cannot be, at least absolute and normalised, so that
// two spellings of a removed home still compare equal.
std::string resolved_or_absolute(const std::string& path) {
  std::error_code error;
  const fs::path real = fs::canonical(path, error);
  return error ? fs::absolute(path).lexically_normal().string() : real.string();
}

bool is_number(const std::string& text) {
  return !text.empty() && text.size() <= 4 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool JavaTask::uninstall(const std::string& target, bool yes) {
  Console& c = s_.console;
  JdkInstaller& installer = *s_.installer;
  heading("Uninstall Java");
  std::vector<Jdk> matches;
  std::vector<Jdk> installed;
  for (const std::string& home : installer.installed()) {
    std::optional<Jdk> jdk;
    try {
      jdk = s_.java.inspect_home(home);
    } catch (const std::runtime_error&) {
      continue;  // a JDK whose version cannot be told: removed by its path only
    }
    if (!jdk) continue;
    jdk->home = resolved_or_absolute(home);
    installed.push_back(*jdk);
  }
  if (is_number(target)) {
    const int major = std::stoi(target);
    for (const Jdk& jdk : installed) {
      if (jdk.version == major) matches.push_back(jdk);
    }
  } else {
    const std::string wanted = resolved_or_absolute(target);
    for (const Jdk& jdk : installed) {
      const fs::path home(jdk.home);
      if (wanted == jdk.home ||
          (home.filename() == "Home" && wanted == home.parent_path().parent_path().string())) {
        matches.push_back(jdk);
      }
    }
  }
  if (matches.size() != 1) {
    std::string problem;
    if (!matches.empty()) {
      problem =
          "plo installed more than one Java " + target + ": name the one to remove by its path";
    } else if (is_number(target)) {
      problem = "plo installed no Java " + target;
    } else {
      problem = escape_controls(target) + " is not a JDK plo installed";
    }
    c.echo(c.style("  " + problem, Color::Red));
    c.echo("  plo's JDKs (in " + escape_controls(installer.folder()) + "):");
    if (installed.empty()) c.echo("    none");
    for (const Jdk& jdk : installed) {
      c.echo("    Java " + std::to_string(jdk.version) + "  " + escape_controls(jdk.full_version) +
             "  " + escape_controls(jdk.home));
    }
    c.echo();
    return false;
  }

  const Jdk& jdk = matches.front();
  const std::string name =
      "Java " + std::to_string(jdk.version) + " (" + escape_controls(jdk.full_version) + ")";
  const auto pinned = s_.java.pinned_home();
  const bool is_pinned = pinned && resolved_or_absolute(*pinned) == jdk.home;
  if (is_pinned && !yes) {
    c.echo(c.style("  " + name + " is pinned for PySpark: add --yes to remove it and the pin",
                   Color::Red));
    c.echo();
    return false;
  }
  // The pin goes first: a pin left pointing at a removed JDK would break every session. It is put
  // back when the JDK stays.
  if (is_pinned) s_.java.unpin();
  try {
    installer.remove(jdk.home);
  } catch (const InstallError& e) {
    if (is_pinned) s_.java.pin(*pinned);
    c.echo(c.style("  Error: " + escape_controls(e.what()), Color::Red));
    c.echo();
    return false;
  }
  c.echo(c.style("  Removed " + name + " from " + escape_controls(jdk.home), Color::Green));
  if (is_pinned) {
    c.echo("  Removed plo's Java pin from " +
           escape_controls(s_.java.spark_env_file().value_or("spark-env.sh")));
    c.echo();
    tell_current_java();
  } else {
    c.echo();
  }
  return true;
}

}  // namespace plo
