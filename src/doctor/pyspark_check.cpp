#include <map>

#include "catalogue/python_support.h"
#include "catalogue/versions.h"
#include "doctor/doctor_facts.h"
#include "environment/distributions.h"

namespace plo {
namespace {

// Names of distributions that put their own files into the `pyspark` package folder: any two of
// them overwrite each other.
bool writes_pyspark_package(std::string_view name) {
  return name == "pyspark" || name == "pyspark-client" || name == "databricks-connect";
}

std::string flavour_text(DoctorFacts& facts) {
  switch (facts.flavour()) {
    case Flavour::DatabricksConnect: {
      const auto* found = facts.distribution("databricks-connect");
      return "Databricks Connect " + found->version;
    }
    case Flavour::ConnectClient:
      return "Spark Connect client (pyspark-client)";
    case Flavour::Classic:
      if (facts.distribution("pyspark-connect")) return "pyspark with pyspark-connect";
      return "pyspark";
    case Flavour::None:
      break;
  }
  return "";
}

void check_python_fit(DoctorFacts& facts, const PySparkInfo& pyspark, DoctorCheck& check) {
  const auto range = python_range(pyspark.major_minor);
  if (!range) return;
  const auto& version = facts.python_version();
  if (!version) {
    check.summary += ", Python fit unknown";
    return;
  }
  if (python_fits(*version, *range)) return;
  check.raise(CheckStatus::Error, "Python " + major_minor_of(*version) +
                                      " is not supported by PySpark " + pyspark.major_minor +
                                      " (Python " + range->min + " to " + range->max + ")");
  check.fix = "plo spark set-version";
}

// The interpreter's own pip, as the fixing commands name it.
std::string pip(DoctorFacts& facts) {
  return facts.interpreter() + " -m pip";
}

}  // namespace

void check_pyspark(DoctorFacts& facts, DoctorCheck& check) {
  const auto& pyspark = facts.pyspark();
  const auto& distributions = facts.distributions();
  if (!pyspark && distributions.empty()) {
    check.summary = "not installed";
    check.raise(CheckStatus::Warning, "no package provides 'import pyspark' for this interpreter");
    check.fix = "plo spark set-version";
    return;
  }
  check.summary = pyspark ? pyspark->version : "version unknown (not found on disk)";
  if (const std::string flavour = flavour_text(facts); !flavour.empty()) {
    check.summary += " (" + flavour + ")";
  }

  // Distributions that overwrite each other's files, and one name installed twice.
  std::map<std::string, std::vector<const PySparkDistribution*>> by_name;
  for (const auto& found : distributions) by_name[found.name].push_back(&found);
  std::vector<std::string> writers;
  for (const std::string_view name : kPySparkDistributionNames) {
    if (writes_pyspark_package(name) && by_name.count(std::string(name))) {
      writers.emplace_back(name);
    }
  }
  if (writers.size() > 1) {
    std::string names;
    for (const auto& name : writers) {
      names += (names.empty() ? "" : " and ") + name + " " + by_name[name].front()->version;
    }
    check.raise(CheckStatus::Error, names +
                                        " are installed together: each overwrites the other's "
                                        "'pyspark' package, so neither works as installed");
    std::string uninstall = pip(facts) + " uninstall -y";
    for (const auto& name : writers) uninstall += " " + name;
    check.details.push_back(
        "Remove them all, then install the one you want: plo spark set-version (pyspark)" +
        std::string(by_name.count("databricks-connect")
                        ? ", or pip install \"databricks-connect==X.Y.*\""
                        : ""));
    check.fix = uninstall;
  }
  for (const auto& [name, same] : by_name) {
    if (same.size() < 2) continue;
    std::string where;
    for (const auto* found : same) {
      where += (where.empty() ? "" : ", ") + found->version + " in " + found->folder;
    }
    check.raise(CheckStatus::Error, "two " + name + " distributions: " + where +
                                        "; pip and import may each take a different one");
    if (!check.fix) check.fix = pip(facts) + " uninstall -y " + name + " && plo spark set-version";
  }

  if (facts.distribution("pyspark-connect") && !facts.distribution("pyspark")) {
    check.raise(CheckStatus::Error,
                "pyspark-connect is installed without the pyspark it depends on");
    if (!check.fix) check.fix = "plo spark set-version";
  }
  if (pyspark && distributions.empty()) {
    check.raise(CheckStatus::Warning,
                "pip does not manage this PySpark (no dist-info for it on the import path, as "
                "for Spark's python/ folder on PYTHONPATH): plo spark set-version cannot replace "
                "it");
    check.details.push_back("It is loaded from " + pyspark->location);
  }
  if (const auto stash = facts.s.compat.leftover_stash()) {
    check.raise(CheckStatus::Warning,
                "an interrupted 'plo spark set-version' left a copy of PySpark in " + *stash);
    if (!check.fix) check.fix = "plo spark set-version";
  }
  if (pyspark) check_python_fit(facts, *pyspark, check);
}

}  // namespace plo
