#include <algorithm>

#include "doctor/doctor_facts.h"

namespace plo {
namespace {

std::string count_text(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The command that fixes every verdict given, or nothing where they all fit.
std::optional<std::string> fix_of(DoctorFacts& facts,
                                  const std::vector<CompanionVerdict>& verdicts) {
  const auto requirements = combined_fix(verdicts);
  if (requirements.empty()) return std::nullopt;
  return companion_fix_command(facts.interpreter(), requirements);
}

}  // namespace

void check_companions(DoctorFacts& facts, DoctorCheck& check) {
  const auto& pyspark = facts.pyspark();
  if (!pyspark) {
    check.summary = "not looked at: PySpark is not installed";
    return;
  }
  const auto& verdicts = facts.companions();
  check.companions.emplace();
  if (verdicts.empty()) {
    check.summary = "none (nothing installed depends on PySpark)";
    return;
  }
  size_t failing = 0;
  for (const CompanionVerdict& verdict : verdicts) {
    CompanionItem item{verdict.fits() ? CheckStatus::Ok : CheckStatus::Error,
                       verdict.reason,
                       verdict.name,
                       verdict.version,
                       verdict.requirement,
                       verdict.reason,
                       companion_fix_command(facts.interpreter(), verdict.fix)};
    if (verdict.fits()) {
      item.text = verdict.name + " " + verdict.version +
                  (verdict.requirement.empty() ? "" : " (" + verdict.requirement + ")");
    } else {
      ++failing;
    }
    check.companions->push_back(std::move(item));
  }
  check.summary = std::to_string(verdicts.size()) + " beside PySpark " + pyspark->version + ": " +
                  (failing == 0 ? "all fit" : count_text(failing, "does not fit", "do not fit"));
  if (failing > 0) {
    check.status = CheckStatus::Error;
    check.fix = fix_of(facts, verdicts);
  }
}

void check_pandas_round_trip(DoctorFacts& facts, DoctorCheck& check) {
  if (facts.flavour() != Flavour::Classic) {
    check.summary = "not run: no local session";
    return;
  }
  const auto& candidates = facts.beside().candidates;
  if (std::none_of(candidates.begin(), candidates.end(),
                   [](const DistributionMetadata& d) { return d.name == "pandas"; })) {
    check.summary = "not run: pandas is not installed";
    return;
  }
  const auto& session = facts.session();
  if (!session || !session->ok || !session->pandas_error) {
    check.summary = "not run: the local session did not start";
    return;
  }
  if (session->pandas_error->empty()) {
    check.summary = "createDataFrame from a pandas frame and toPandas() work";
    return;
  }
  check.summary = "fails: " + *session->pandas_error;
  // What the companions' verdicts already know about pandas and its own companions.
  std::vector<CompanionVerdict> involved;
  for (const CompanionVerdict& verdict : facts.companions()) {
    if (!verdict.fits() &&
        (verdict.name == "pandas" || verdict.name == "numpy" || verdict.name == "pyarrow")) {
      involved.push_back(verdict);
    }
  }
  check.status = CheckStatus::Error;
  for (const CompanionVerdict& verdict : involved) check.details.push_back(verdict.reason);
  if (involved.empty()) {
    check.details.push_back("no companion's metadata or known limit explains it");
  }
  check.fix = fix_of(facts, involved);
}

}  // namespace plo
