#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cancel/cancel.h"
#include "catalogue/index_lines.h"
#include "catalogue/pep440.h"
#include "spark/display.h"
#include "spark/pyspark_stash.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

std::vector<int> supported_for(const CompatTable& table, std::string_view major_minor) {
  const auto record = table.find(major_minor);
  return record == table.end() ? std::vector<int>{} : record->second.supported;
}

bool contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// Whether the interpreter's Python is known to be outside that line's range.
bool python_excluded(const std::optional<std::string>& python, std::string_view major_minor) {
  return python_fit(python, python_range(major_minor)) == false;
}

}  // namespace

bool SparkTask::select_version(const std::optional<std::string>& requested) {
  Console& c = s_.console;
  heading("Select PySpark Version to Install", kEquals50);
  c.echo();

  const auto java = s_.compat.get_current_java();
  const auto current_pyspark = s_.compat.get_pyspark_info();
  if (current_pyspark) {
    c.echo("  Current PySpark: " + current_pyspark->version);
    c.echo();
  }
  if (requested) return install_requested(*requested, java, current_pyspark);

  const auto& versions = s_.compat.pyspark_versions();
  const CompatTable& table = s_.compat.pyspark_java_compatibility();
  const auto python = s_.compat.python_version();
  bool python_marked = false;
  long long index = 0;
  for (const VersionEntry& entry : versions) {
    const std::vector<int> supported = supported_for(table, entry.major_minor);
    std::string compat_marker;
    if (java && !supported.empty()) {
      compat_marker = contains(supported, java->version) ? c.style(" [OK]", Color::Green)
                                                         : c.style(" [!]", Color::Red);
    }
    // Yellow: a line's newest declared Python is what it was tested on, not always a hard limit
    // (and -q shows every red part as an error line).
    if (python_excluded(python, entry.major_minor)) {
      compat_marker += c.style(" [!py]", Color::Yellow);
      python_marked = true;
    }
    std::string current_marker;
    if (current_pyspark && same_version(current_pyspark->version, entry.version)) {
      current_marker = c.style(" * CURRENT", Color::Cyan);
    }
    c.echo("  [" + std::to_string(++index) + "] PySpark " + entry.version +
           tag_display(c, entry.tag) + compat_marker + current_marker);
    c.echo("      Requires Java: " + java_list_text(supported));
    c.echo();
  }
  const long long custom = static_cast<long long>(versions.size()) + 1;
  c.echo("  [" + std::to_string(custom) + "] Custom version");
  c.echo();
  if (java) {
    c.echo("  Your Java: " + std::to_string(java->version) + " (" + java->vendor + ")");
    c.echo("  [OK] = compatible, [!] = requires different Java");
  }
  if (python_marked) c.echo("  [!py] = requires different Python (yours: " + *python + ")");
  if (java || python_marked) c.echo();

  long long choice = 0;
  try {
    for (;;) {
      choice = c.prompt_int("Your choice");
      if (choice >= 1 && choice <= custom) break;
      c.echo(c.style("Enter 1-" + std::to_string(custom), Color::Yellow));
    }
  } catch (const Abort&) {
    c.echo("\nAborted.");
    return false;
  }

  std::string version_to_install;
  std::string major_minor;
  if (choice < custom) {
    const VersionEntry& entry = versions[static_cast<size_t>(choice - 1)];
    // The line's newest patch, the package index's where it is ahead of the table; an installed
    // patch of the line at least as new stays.
    tell_index_patch(entry.major_minor);
    version_to_install =
        line_version(entry.major_minor, versions, listed_versions(),
                     current_pyspark ? std::optional(current_pyspark->version) : std::nullopt)
            .value_or(entry.version);
    major_minor = entry.major_minor;
  } else {
    // pip trims blanks itself; anything beyond a plain version would be read as a requirement
    // (markers, wildcards, operators), so it is refused here.
    for (;;) {
      version_to_install = trim_blanks(c.prompt_text("Enter PySpark version (e.g., 3.4.1)"));
      if (pep440_key(version_to_install)) break;
      c.echo("Error: '" + escape_controls(version_to_install) + "' is not a valid version");
    }
    major_minor = major_minor_of(version_to_install);
  }
  return confirm_and_install(version_to_install, major_minor, java, current_pyspark);
}

namespace {

// The question that confirms what moves with PySpark: its companions, the project's files.
std::string question_for_moves(const SwitchAsked& asked) {
  if (!asked.project) return "Move them with PySpark " + asked.version + "?";
  return (asked.companions.empty() ? "Change " : "Move them and change ") +
         file_names(asked.project->files) + " with PySpark " + asked.version + "?";
}

}  // namespace

bool SparkTask::confirm_and_install(const std::string& version_to_install,
                                    const std::string& major_minor,
                                    const std::optional<JavaInfo>& java,
                                    const std::optional<PySparkInfo>& current_pyspark) {
  Console& c = s_.console;
  const CompatTable& table = s_.compat.pyspark_java_compatibility();
  const auto package = flavour_package(current_pyspark, version_to_install);
  SwitchAsked asked{.version = version_to_install,
                    .major_minor = major_minor,
                    .supported = supported_for(table, major_minor),
                    .package = package.value_or("pyspark"),
                    .installer = s_.installer,
                    .system = s_.system};
  const auto from = current_pyspark ? std::optional(current_pyspark->version) : std::nullopt;
  if (!package) return finished_early(asked, from, false, "refused");
  if (current_pyspark && same_version(current_pyspark->version, version_to_install)) {
    // Nothing to replace: a copy an interrupted run kept is of no more use, unless its restore
    // failed (then it is another version's only copy, put back by the install phase).
    if (!current_pyspark->location.empty()) {
      const PySparkStash left(std::filesystem::path(current_pyspark->location).parent_path() /
                              PySparkStash::kFolderName);
      if (left.unfinished()) return switch_to(asked);
      left.remove();
    }
    emit({.kind = SwitchEvent::Kind::AlreadyInstalled, .version = current_pyspark->version});
    return finished_early(asked, from, true, "already_installed");
  }
  // Before any question: the moves are listed where the question below covers them.
  if (!plan_companions_for(asked, from) || !plan_project_for(asked, from)) return false;
  bool confirmed = false;

  const std::vector<int>& supported = asked.supported;
  // The Spark Connect client starts no JVM: the local Java does not matter.
  if (java && !supported.empty() && !contains(supported, java->version) &&
      asked.package != "pyspark-client") {
    c.echo();
    c.echo(
        c.style("Warning: PySpark " + major_minor + " requires Java " + java_list_text(supported),
                Color::Yellow));
    c.echo("   Your Java: " + std::to_string(java->version));
    c.echo();
    c.echo("   Options:");
    c.echo("     1. Install anyway (will fail until you switch Java)");
    c.echo("     2. Run 'plo java set' first to switch Java");
    c.echo();
    if (!c.confirm("Install anyway?", false)) return finished_early(asked, from, false, "refused");
    confirmed = true;
  }

  const auto python = s_.compat.python_version();
  if (const auto range = python_range(major_minor); python && python_fit(python, range) == false) {
    c.echo();
    c.echo(
        c.style("Warning: PySpark " + major_minor +
                    (python_below(*python, *range) ? " requires Python " + range->min + " or newer"
                                                   : " supports Python up to " + range->max),
                Color::Yellow));
    c.echo("   Your Python: " + *python);
    c.echo();
    c.echo("   Options:");
    c.echo("     1. Install anyway (pip may refuse it, or it may fail to import)");
    c.echo("     2. Use a virtual environment of Python " + range->min + " to " + range->max);
    c.echo();
    if (!c.confirm("Install anyway?", false)) return finished_early(asked, from, false, "refused");
    confirmed = true;
  }

  if ((!asked.companions.empty() || asked.project) && !confirmed &&
      !c.confirm(question_for_moves(asked), true)) {
    c.echo_err(!asked.project ? "Nothing changed: --keep-companions switches PySpark alone"
               : asked.companions.empty()
                   ? "Nothing changed: --no-project switches the environment alone"
                   : "Nothing changed: --keep-companions and --no-project switch PySpark alone");
    return finished_early(asked, from, false, "refused");
  }
  return switch_to(asked);
}

}  // namespace plo
