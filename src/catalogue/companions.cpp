#include "catalogue/companions.h"

#include <algorithm>

#include "catalogue/versions.h"
#include "util/text.h"

namespace plo {
namespace {

// The names whose version is PySpark's own: a companion that requires one of them depends on
// PySpark.
bool is_pyspark_name(std::string_view name) {
  return name == "pyspark" || name == "pyspark-connect" || name == "pyspark-client";
}

// The packages PySpark's extras require, which count as companions where they name them.
constexpr std::string_view kExtraPackages[] = {"pandas", "numpy", "pyarrow", "grpcio"};

bool is_extra_package(std::string_view name) {
  return std::find(std::begin(kExtraPackages), std::end(kExtraPackages), name) !=
         std::end(kExtraPackages);
}

MarkerEnvironment with_extra(MarkerEnvironment markers, const std::string& extra) {
  markers["extra"] = extra;
  return markers;
}

// Whether a requirement's marker holds without an extra, as `pip check` evaluates an installed
// distribution's requirements; a marker that cannot be read does not.
bool applies(const Requirement& requirement, const MarkerEnvironment& markers) {
  return evaluate_marker(requirement.marker, with_extra(markers, "")).value_or(false);
}

// The extra under which a requirement of PySpark applies ("" for none), or nothing where it
// applies under none of them.
std::optional<std::string> applying_extra(const Requirement& requirement,
                                          const PySparkTarget& target,
                                          const MarkerEnvironment& markers) {
  if (evaluate_marker(requirement.marker, with_extra(markers, "")).value_or(false)) return "";
  for (const std::string& extra : target.provides_extra) {
    if (evaluate_marker(requirement.marker, with_extra(markers, extra)).value_or(false)) {
      return extra;
    }
  }
  return std::nullopt;
}

std::string requirement_text(const Requirement& requirement) {
  return requirement.name + requirement.specifiers;
}

// The version a companion's requirement is held against: PySpark's, or py4j's where known.
std::optional<std::string> held_version(const Requirement& requirement,
                                        const PySparkTarget& target) {
  if (is_pyspark_name(requirement.name)) return target.version;
  if (requirement.name == "py4j") return target.py4j;
  return std::nullopt;
}

bool admitted(const std::string& specifiers, const std::string& version) {
  // A set that cannot be read states nothing to hold against the version.
  return specifier_admits(specifiers, version, true).value_or(true);
}

// The requirements that move a companion of PySpark to a version that fits it, PySpark pinned:
// delta-spark to the line Delta's table gives, anything else to whatever its own metadata admits.
std::vector<std::string> depending_fix(const DistributionMetadata& companion,
                                       const PySparkTarget& target) {
  std::string wanted = companion.name;
  if (companion.name == "delta-spark") {
    if (const auto line = delta_versions_for(major_minor_of(target.version))) wanted += *line;
  }
  std::vector<std::string> fix = {wanted};
  if (!target.distribution.empty()) fix.push_back(target.distribution + "==" + target.version);
  return fix;
}

}  // namespace

PySparkTarget installed_target(const InstalledBeside& installed,
                               const std::optional<std::string>& version) {
  PySparkTarget target;
  target.py4j = installed.py4j;
  if (installed.pyspark) {
    target.version = installed.pyspark->version;
    target.requires_dist = installed.pyspark->requires_dist;
    target.provides_extra = installed.pyspark->provides_extra;
    target.distribution = installed.pyspark->name;
  } else {
    target.distribution.clear();
  }
  if (version) target.version = *version;
  return target;
}

std::optional<std::string> delta_versions_for(std::string_view spark_major_minor) {
  for (const DeltaLine& line : DELTA_SPARK_LINES) {
    if (line.spark == spark_major_minor) return line.delta;
  }
  return std::nullopt;
}

CompanionVerdict companion_verdict(const DistributionMetadata& companion,
                                   const PySparkTarget& target, const MarkerEnvironment& markers) {
  CompanionVerdict verdict{companion.name, companion.version};
  const auto fail = [&](CompanionFit fit, std::string requirement, std::string reason,
                        std::vector<std::string> fix) {
    verdict.fit = fit;
    verdict.requirement = std::move(requirement);
    verdict.reason = std::move(reason);
    verdict.fix = std::move(fix);
    return verdict;
  };
  const std::string named = companion.name + " " + companion.version;

  // The companion's own requirements on PySpark and py4j.
  for (const std::string& line : companion.requires_dist) {
    const auto requirement = parse_requirement(line);
    if (!requirement || !applies(*requirement, markers)) continue;
    const auto held = held_version(*requirement, target);
    if (!held) continue;
    const std::string text = requirement_text(*requirement);
    if (!admitted(requirement->specifiers, *held)) {
      const std::string what = requirement->name == "py4j" ? "py4j" : "PySpark";
      return fail(CompanionFit::DoesNotFit, text,
                  named + " requires " + text + ", but " + what + " is " + *held,
                  depending_fix(companion, target));
    }
    if (verdict.requirement.empty()) verdict.requirement = text;
  }

  // PySpark's requirements on it, under any of its extras.
  for (const std::string& line : target.requires_dist) {
    const auto requirement = parse_requirement(line);
    if (!requirement || requirement->name != companion.name) continue;
    const auto extra = applying_extra(*requirement, target, markers);
    if (!extra) continue;
    const std::string text = requirement_text(*requirement);
    if (!admitted(requirement->specifiers, companion.version)) {
      const std::string by = (target.distribution.empty() ? "pyspark" : target.distribution) + " " +
                             target.version + (extra->empty() ? "" : " (its " + *extra + " extra)");
      return fail(CompanionFit::DoesNotFit, text,
                  named + " is outside " + text + ", which " + by + " requires", {text});
    }
    if (verdict.requirement.empty()) verdict.requirement = text;
  }

  for (const KnownLimit& limit : COMPANION_LIMITS) {
    if (limit.package != companion.name || !admitted(limit.companion, companion.version) ||
        !admitted(limit.pyspark, target.version)) {
      continue;
    }
    verdict.source = limit.source;
    return fail(CompanionFit::KnownLimit, limit.requirement,
                named + " with PySpark " + target.version + ": " + limit.reason,
                {limit.requirement});
  }
  return verdict;
}

std::vector<CompanionVerdict> companion_verdicts(const InstalledBeside& installed,
                                                 const PySparkTarget& target) {
  std::vector<CompanionVerdict> verdicts;
  for (const DistributionMetadata& candidate : installed.candidates) {
    bool listed = false;
    for (const std::string& line : candidate.requires_dist) {
      const auto requirement = parse_requirement(line);
      listed = listed || (requirement &&
                          (is_pyspark_name(requirement->name) || requirement->name == "py4j") &&
                          applies(*requirement, installed.markers));
    }
    if (!listed && is_extra_package(candidate.name)) {
      for (const std::string& line : target.requires_dist) {
        const auto requirement = parse_requirement(line);
        listed = listed || (requirement && requirement->name == candidate.name &&
                            applying_extra(*requirement, target, installed.markers));
      }
      for (const KnownLimit& limit : COMPANION_LIMITS) {
        listed = listed || limit.package == candidate.name;
      }
    }
    if (listed) verdicts.push_back(companion_verdict(candidate, target, installed.markers));
  }
  std::sort(verdicts.begin(), verdicts.end(),
            [](const CompanionVerdict& a, const CompanionVerdict& b) { return a.name < b.name; });
  return verdicts;
}

std::string companion_fix_command(const std::string& python, const std::vector<std::string>& fix) {
  if (fix.empty()) return "";
  std::string command = shell_quoted(python) + " -m pip install";
  for (const std::string& requirement : fix) command += " " + shell_quoted(requirement);
  return command;
}

std::vector<std::string> combined_fix(const std::vector<CompanionVerdict>& verdicts) {
  std::vector<std::string> fix;
  for (const CompanionVerdict& verdict : verdicts) {
    for (const std::string& requirement : verdict.fix) {
      if (std::find(fix.begin(), fix.end(), requirement) == fix.end()) fix.push_back(requirement);
    }
  }
  return fix;
}

}  // namespace plo
