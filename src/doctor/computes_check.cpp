#include "catalogue/versions.h"
#include "doctor/doctor_facts.h"
#include "registry/compute_registry.h"
#include "registry/computes_file.h"

namespace plo {
namespace {

// Asks each compute within its own time limits; an unreachable one or another Spark line than
// the local PySpark's is a warning: local sessions do not depend on it.
void test_computes(DoctorFacts& facts, const std::vector<std::string>& names, DoctorCheck& check) {
  std::optional<std::string> local;
  try {
    if (const auto& pyspark = facts.pyspark()) local = pyspark->major_minor;
  } catch (const std::exception&) {
    // Without a local PySpark there is nothing to compare with.
  }
  for (const std::string& name : names) {
    const ComputeAnswer answer = facts.s.test_compute(name);
    if (!answer.reachable) {
      check.raise(CheckStatus::Warning,
                  name + ": not reachable" + (answer.error ? " (" + *answer.error + ")" : ""));
      if (!check.fix) check.fix = "plo compute test " + name;
    } else if (!answer.spark_version) {
      check.details.push_back(name + ": reachable, Spark version unknown");
    } else if (local && major_minor_of(*answer.spark_version) != *local) {
      check.raise(CheckStatus::Warning,
                  name + ": Spark " + *answer.spark_version + ", the local PySpark is " + *local);
      if (!check.fix) check.fix = "plo spark match-cluster " + name;
    } else {
      check.details.push_back(name + ": Spark " + *answer.spark_version);
    }
  }
}

}  // namespace

void check_computes(DoctorFacts& facts, DoctorCheck& check) {
  const std::string path = facts.s.computes_path();
  std::optional<std::string> text;
  std::unique_ptr<YamlComputeRegistry> registry;
  try {
    text = read_computes_for_edit(path);
    if (text) registry = YamlComputeRegistry::from_text(*text, path);
  } catch (const std::exception& e) {
    // plo's compute commands refuse it; Spark itself does not read it.
    check.summary = path + " cannot be used";
    check.raise(CheckStatus::Warning, e.what());
    check.fix = "plo compute list";
    return;
  }
  if (!registry) {
    check.summary = "none (" + path + ")";
    return;
  }
  const auto names = registry->names();
  check.summary =
      path + ": " + std::to_string(names.size()) + (names.size() == 1 ? " compute" : " computes");
  if (!facts.options.clusters) {
    if (!names.empty()) check.summary += " (not asked; --clusters tests them)";
    return;
  }
  if (facts.s.test_compute) test_computes(facts, names, check);
}

}  // namespace plo
