#include "project/project_sync.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "catalogue/index_lines.h"
#include "catalogue/runtimes.h"
#include "project/pin_check.h"
#include "project/pin_files.h"

#include "util/escape.h"
#include "util/json_document.h"

namespace plo {
namespace {

// A line's target takes the package index's newest patch of the line where that is ahead of the
// catalogue's; asked only where the installed PySpark is not of the line (it would stay).
void take_index_patch(const SyncServices& services, ProjectTarget& target) {
  if (!services.package_index || target.exact ||
      pyspark_matches(target, services.compat.get_pyspark_info())) {
    return;
  }
  Console& c = services.console;
  const IndexListing& listing = services.package_index->pyspark_listing();
  if (const auto line = catalogue_used_line(listing)) c.echo_err(*line);
  const auto newest = line_version(target.major_minor, services.compat.pyspark_versions(),
                                   listing.versions, std::nullopt);
  if (newest && *newest != target.version) {
    c.echo_err(target.major_minor + ": the package index has " + *newest +
               ", newer than plo's table");
    target.version = *newest;
  }
}

// Whether the installed delta-spark is the runtime's: its patch, or any patch of a line ("3.2").
bool delta_fits(const std::string& installed, const std::string& wanted) {
  return is_full_patch(wanted) ? installed == wanted : major_minor_of(installed) == wanted;
}

using Outcome = SyncStep::Outcome;

// The newest JDK of that major found on the machine.
std::optional<Jdk> newest_jdk(JavaEnvironment& java, int major) {
  std::optional<Jdk> best;
  for (const Jdk& jdk : java.find_jdks()) {
    if (jdk.version == major && !best) best = jdk;  // find_jdks lists the newest first
  }
  return best;
}

class Sync {
 public:
  Sync(const SyncServices& services, const SyncOptions& options, SyncReport& report)
      : s_(services), o_(options), r_(report), c_(services.console) {}

  // What a runtime asks beyond PySpark and Java: its Delta where delta-spark is installed, and its
  // Python, which sync cannot change in place.
  bool runtime_extras(const ManagedRuntime& runtime) {
    bool ok = true;
    const size_t steps_before = r_.steps.size();
    const auto delta = s_.compat.distribution_version("delta-spark");
    if (!runtime.delta.empty() && delta && !delta_fits(*delta, runtime.delta)) {
      const std::string wanted = runtime.delta;
      if (o_.dry_run) {
        step("delta", wanted, delta, Outcome::Planned,
             "  delta-spark: would install " + wanted + " (now " + escape_controls(*delta) + ")");
      } else if (!s_.install_delta || !s_.install_delta(wanted)) {
        step("delta", wanted, delta, Outcome::Failed,
             c_.style("  delta-spark " + wanted + " was not installed", Color::Red));
        ok = false;
      } else {
        step(
            "delta", wanted, delta, Outcome::Changed,
            c_.style("  delta-spark " + wanted + " installed (was " + escape_controls(*delta) + ")",
                     Color::Green));
      }
    }
    const auto python = s_.compat.python_version();
    if (!runtime.pythons.empty() && python) {
      const std::string mm = major_minor_of(*python);
      if (std::find(runtime.pythons.begin(), runtime.pythons.end(), mm) == runtime.pythons.end()) {
        step("python", runtime.pythons.back(), mm, Outcome::Failed,
             c_.style("  Python " + mm + " is not " + runtime.title + "'s: run 'uv venv --python " +
                          runtime.pythons.back() + "' and sync there",
                      Color::Red));
        ok = false;
      }
    }
    if (r_.steps.size() > steps_before) c_.echo();
    return ok;
  }

  bool run(const ProjectTarget& target) {
    const auto pyspark = s_.compat.get_pyspark_info();
    const auto java = s_.compat.get_current_java();
    const bool pyspark_right = pyspark_matches(target, pyspark);
    const bool pinned_right = java_matches(target, java) && java->found_in == "pin";
    if (pyspark_right && pinned_right) {
      c_.echo(c_.style("  Everything matches pyproject.toml", Color::Green));
      c_.echo();
      return true;
    }

    // The JDK first: a missing one stops the sync before anything has changed.
    std::optional<Jdk> jdk;
    if (!pinned_right) {
      const std::string major = std::to_string(target.java);
      jdk = newest_jdk(s_.java, target.java);
      if (jdk) {
        step("java", major, std::nullopt, Outcome::AlreadyRight,
             "  Java " + major + " found at " + escape_controls(jdk->home));
      } else if (o_.dry_run) {
        step("java", major, std::nullopt, Outcome::Planned,
             "  Java " + major + ": would install it ('plo java install " + major + "')");
      } else if (!(o_.yes && s_.install_jdk)) {
        step("java", major, std::nullopt, Outcome::Failed,
             c_.style("  No Java " + major + " found: run 'plo java install " + major +
                          "', or 'plo sync --yes' to install it",
                      Color::Red));
        return false;
      } else {
        if (!s_.install_jdk(target.java) || !(jdk = newest_jdk(s_.java, target.java))) {
          step("java", major, std::nullopt, Outcome::Failed,
               c_.style("  Java " + major + " could not be installed", Color::Red));
          return false;
        }
        step("java", major, std::nullopt, Outcome::Changed,
             "  Java " + major + ": installed at " + escape_controls(jdk->home));
      }
    }

    const std::string major = std::to_string(target.java);
    const std::optional<std::string> before_java =
        java ? std::optional(std::to_string(java->version)) : std::nullopt;
    const auto pin_step = [&] {
      if (pinned_right) {
        step("pin", major, before_java, Outcome::AlreadyRight,
             "  Java " + major + " is already pinned for PySpark");
      } else if (o_.dry_run) {
        step("pin", major, before_java, Outcome::Planned,
             "  Pin: would pin Java " + major +
                 (jdk ? " at " + escape_controls(jdk->home) : std::string()) + " for PySpark");
      } else {
        s_.java.pin(jdk->home);
        step("pin", major, before_java, Outcome::Changed,
             c_.style("  Pinned Java " + major + " (" + escape_controls(jdk->vendor) + ") at " +
                          escape_controls(jdk->home) + " for PySpark",
                      Color::Green));
      }
    };
    // Where a PySpark is there to hold the pin, the pin comes first: the new PySpark keeps it, and
    // its smoke test then starts the wanted Java rather than the one pinned before.
    const bool pin_first = !pinned_right && !o_.dry_run && pyspark && !pyspark_right;
    const std::optional<std::string> old_pin =
        pin_first ? s_.java.pinned_home() : std::optional<std::string>();
    if (pin_first) pin_step();

    if (pyspark_right) {
      step("pyspark", target.version, pyspark->version, Outcome::AlreadyRight,
           "  PySpark " + pyspark->version + " is already installed");
    } else {
      const std::optional<std::string> before =
          pyspark ? std::optional(pyspark->version) : std::nullopt;
      const std::string was = before ? " (now " + *before + ")" : " (none installed now)";
      if (s_.pyspark_installer) r_.installer = s_.pyspark_installer();
      if (o_.dry_run) {
        step("pyspark", target.version, before, Outcome::Planned,
             "  PySpark: would install " + target.version + was);
      } else if (!s_.install_pyspark(target.version, jdk ? jdk->home : std::string())) {
        step("pyspark", target.version, before, Outcome::Failed,
             c_.style("  PySpark " + target.version + " was not installed", Color::Red));
        if (pin_first) put_back_pin(old_pin);
        return false;
      } else {
        step("pyspark", target.version, before, Outcome::Changed,
             c_.style("  PySpark " + target.version + " installed" +
                          (before ? " (was " + *before + ")" : std::string()),
                      Color::Green));
      }
    }
    if (!pin_first) pin_step();
    c_.echo();
    if (o_.dry_run) {
      c_.echo("  Nothing was changed (--dry-run). Run 'plo sync' to do it.");
      c_.echo();
    }
    return true;
  }

 private:
  // After a failed install the PySpark left (the previous one, rolled back) gets its pin back.
  void put_back_pin(const std::optional<std::string>& old_pin) {
    try {
      if (old_pin) {
        s_.java.pin(*old_pin);
      } else {
        s_.java.unpin();
      }
      c_.echo("  The Java pin is back as it was");
    } catch (const std::exception& e) {
      c_.echo(
          c_.style(std::string("  Could not put the Java pin back: ") + escape_controls(e.what()),
                   Color::Red));
    }
  }

  void step(std::string name, std::string wanted, std::optional<std::string> before,
            Outcome outcome, const std::string& line) {
    c_.echo(line);
    r_.steps.push_back({std::move(name), std::move(wanted), std::move(before), outcome, line});
  }

  const SyncServices& s_;
  const SyncOptions& o_;
  SyncReport& r_;
  Console& c_;
};

}  // namespace

SyncReport sync_project(const SyncServices& services, const SyncOptions& options,
                        const std::filesystem::path& start) {
  Console& c = services.console;
  SyncReport report;
  report.dry_run = options.dry_run;
  const auto file = find_project_file(start, true);
  auto spec = file ? read_project(*file) : std::nullopt;
  const std::vector<ProjectPin> pins = read_project_pins(gather_pin_texts(start));
  const MarkerEnvironment markers = interpreter_markers(services.compat);
  if (!spec && !pins.empty()) {
    spec.emplace();
    spec->file = pins.front().file;
  }
  const bool from_pin = spec && take_sole_pin(*spec, pins, markers);
  if (!spec || (!file && !from_pin)) {
    c.echo(
        c.style("No pyproject.toml with a [tool.plo] table here or in a folder above", Color::Red));
    c.echo("  Run 'plo pin' to write one from this environment");
    return report;
  }
  report.file = spec->file;
  if (const auto warning = unknown_keys_warning(*spec)) c.echo_err(*warning);
  if (from_pin) {
    c.echo_err("PySpark " + *spec->pyspark + " as the project's requirements pin it" +
               (file ? " ([tool.plo] names none)" : " (no [tool.plo])"));
  }
  report.target =
      resolve_target(*spec, services.compat.pyspark_versions(),
                     services.compat.pyspark_java_compatibility(), services.cluster_version);
  take_index_patch(services, *report.target);
  const auto& runtime = report.target->runtime;
  c.echo();
  c.echo(c.style(escape_controls(*report.file) + ": " +
                     (runtime ? runtime->title + ", " : std::string()) + "PySpark " +
                     report.target->pyspark + ", Java " + std::to_string(report.target->java),
                 Color::Cyan, true));
  for (const std::string& contradiction : report.target->contradictions) {
    c.echo(c.style("  " + escape_controls(contradiction) + " (the key wins)", Color::Yellow));
  }
  // Installing what [tool.plo] asks while the project's own pins ask otherwise would be undone by
  // the next uv sync or poetry install (or undo it): refused before any change.
  const auto conflicts = pin_conflicts(pins,
                                       PloWanted{.as_written = report.target->pyspark,
                                                 .version = report.target->version,
                                                 .exact = report.target->exact},
                                       std::nullopt, markers);
  if (!conflicts.empty()) {
    for (const PinConflict& conflict : conflicts) {
      c.echo(c.style("  " + conflict.problem, Color::Red));
      c.echo("    Fix: " + conflict.fix);
    }
    c.echo(c.style("  Nothing changed: make them agree, then run 'plo sync' again", Color::Red));
    return report;
  }
  Sync sync(services, options, report);
  report.ok = sync.run(*report.target);
  if (report.ok && runtime) report.ok = sync.runtime_extras(*runtime);
  return report;
}

nlohmann::ordered_json sync_json(const SyncReport& report) {
  using json = nlohmann::ordered_json;
  json steps = json::array();
  for (const SyncStep& step : report.steps) {
    const char* outcome = step.outcome == Outcome::AlreadyRight ? "unchanged"
                          : step.outcome == Outcome::Changed    ? "changed"
                          : step.outcome == Outcome::Planned    ? "planned"
                                                                : "failed";
    steps.push_back({{"step", step.name},
                     {"wanted", step.wanted},
                     {"before", step.before ? json(*step.before) : json(nullptr)},
                     {"outcome", outcome}});
  }
  json target = nullptr;
  if (report.target) {
    target = {{"pyspark", report.target->version}, {"java", report.target->java}};
  }
  return json_document({{"file", report.file ? json(*report.file) : json(nullptr)},
                        {"target", target},
                        {"dry_run", report.dry_run},
                        {"steps", steps},
                        {"installer", report.installer ? json(*report.installer) : json(nullptr)},
                        {"ok", report.ok}});
}

}  // namespace plo
