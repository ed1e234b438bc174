#include "doctor/doctor_facts.h"

namespace plo {
namespace {

// The installed line's Java recommendation, for the fixing command.
std::string java_fix(const std::optional<PySparkInfo>& pyspark) {
  if (pyspark && pyspark->java_recommended) {
    return "plo java set " + std::to_string(*pyspark->java_recommended);
  }
  return "plo java set";
}

}  // namespace

void check_session(DoctorFacts& facts, DoctorCheck& check) {
  const Flavour flavour = facts.flavour();
  if (flavour == Flavour::None) {
    check.summary = "not started: PySpark is not installed";
    return;
  }
  if (flavour != Flavour::Classic) {
    check.summary = "not started: a Spark Connect client cannot start a local session";
    return;
  }
  const auto& session = facts.session();
  if (!session) {
    check.summary = "not started";
    return;
  }
  const SessionAnswer& answer = *session;
  const auto& pyspark = facts.pyspark();
  if (answer.ok) {
    check.summary = "started and stopped";
    return;
  }
  check.summary = "does not start: " + answer.message;
  if (answer.java_error) {
    check.raise(CheckStatus::Error, "Java is the cause" + (answer.first_error_line.empty()
                                                               ? std::string()
                                                               : ": " + answer.first_error_line));
    check.fix = java_fix(pyspark);
  } else {
    check.raise(CheckStatus::Error, answer.first_error_line.empty()
                                        ? "no error line to tell the cause"
                                        : "the first error: " + answer.first_error_line);
    check.fix = "plo spark set-version";
  }
}

}  // namespace plo
