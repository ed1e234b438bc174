#include "doctor/doctor_facts.h"
#include "util/text.h"

namespace plo {

void check_submit_args(DoctorFacts& facts, DoctorCheck& check) {
  const auto args = facts.s.env("PYSPARK_SUBMIT_ARGS");
  if (!args) {
    check.summary = "not set";
    return;
  }
  check.summary = "\"" + *args + "\"";
  // PySpark hands the whole value (even an empty one) to spark-submit, which needs the
  // application last.
  if (!trim_blanks(*args).ends_with("pyspark-shell")) {
    check.raise(CheckStatus::Error,
                "it does not end in pyspark-shell: spark-submit then starts no PySpark "
                "gateway, and every session fails with 'Java gateway process exited'");
    const std::string_view given = trim_blanks(*args);
    check.fix = given.empty()
                    ? "unset PYSPARK_SUBMIT_ARGS"
                    : "export PYSPARK_SUBMIT_ARGS=\"" + std::string(given) + " pyspark-shell\"";
  }
}

}  // namespace plo
