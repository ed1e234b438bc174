#include "doctor/doctor_facts.h"

#include <algorithm>
#include <chrono>

#include "environment/pyspark_flavour.h"
#include "util/text.h"

namespace plo {
namespace {

// A Python that takes longer than this to print its version is not one Spark can use either.
constexpr auto kMinorQueryTimeLimit = std::chrono::seconds(5);

bool is_minor_text(std::string_view text) {
  const auto dot = text.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot + 1 == text.size() || text.size() > 9) {
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (i != dot && (text[i] < '0' || text[i] > '9')) return false;
  }
  return true;
}

}  // namespace

const std::string_view kPythonMinorScript = "import sys; print('%d.%d' % sys.version_info[:2])";

const std::string& DoctorFacts::interpreter() {
  if (!interpreter_) interpreter_ = s.interpreter();
  return *interpreter_;
}

const std::optional<std::string>& DoctorFacts::python_version() {
  if (!python_version_) python_version_ = s.compat.python_version();
  return *python_version_;
}

const std::optional<PySparkInfo>& DoctorFacts::pyspark() {
  if (!pyspark_) pyspark_ = s.compat.get_pyspark_info();
  return *pyspark_;
}

const std::vector<PySparkDistribution>& DoctorFacts::distributions() {
  if (!distributions_) distributions_ = s.compat.pyspark_distributions();
  return *distributions_;
}

const std::optional<JavaInfo>& DoctorFacts::java() {
  if (!java_) java_ = s.compat.get_current_java();
  return *java_;
}

const InstalledBeside& DoctorFacts::beside() {
  if (!beside_) beside_ = s.compat.companions();
  return *beside_;
}

const std::vector<CompanionVerdict>& DoctorFacts::companions() {
  if (!companions_) {
    companions_.emplace();
    if (const auto& installed = pyspark()) {
      companions_ = companion_verdicts(beside(), installed_target(beside(), installed->version));
    }
  }
  return *companions_;
}

const std::optional<SessionAnswer>& DoctorFacts::session() {
  if (session_) return *session_;
  session_.emplace();
  const bool pandas = std::any_of(beside().candidates.begin(), beside().candidates.end(),
                                  [](const DistributionMetadata& d) { return d.name == "pandas"; });
  const auto& start =
      pandas && s.start_session_with_pandas ? s.start_session_with_pandas : s.start_session;
  if (!start) return *session_;
  const auto& installed = pyspark();
  std::optional<bool> java_fits;
  if (installed && !installed->java_supported.empty()) {
    if (const auto& current = java()) {
      java_fits =
          s.compat.check_java_pyspark_compatibility(current->version, installed->major_minor).first;
    }
  }
  session_ = start(java_fits);
  return *session_;
}

const PySparkDistribution* DoctorFacts::distribution(std::string_view name) {
  for (const auto& found : distributions()) {
    if (found.name == name) return &found;
  }
  return nullptr;
}

// The same reading of the distributions as `plo spark check`'s, so the two never disagree.
Flavour DoctorFacts::flavour() {
  if (!pyspark()) {
    if (distribution("databricks-connect")) return Flavour::DatabricksConnect;
    return distribution("pyspark-client") ? Flavour::ConnectClient : Flavour::None;
  }
  switch (classify_pyspark_flavour(distributions(), pyspark()->location).flavour) {
    case PySparkFlavour::Client:
      return Flavour::ConnectClient;
    case PySparkFlavour::DatabricksConnect:
      return Flavour::DatabricksConnect;
    case PySparkFlavour::Classic:
    case PySparkFlavour::Connect:
      break;
  }
  return Flavour::Classic;
}

std::optional<std::string> DoctorFacts::python_minor_of(const std::string& executable) {
  if (const auto known = minors_.find(executable); known != minors_.end()) return known->second;
  std::optional<std::string> minor;
  try {
    const ProcessResult result =
        s.runner.run({.argv = {executable, "-c", std::string(kPythonMinorScript)},
                      .time_limit = kMinorQueryTimeLimit});
    const std::string_view out = trim_blanks(result.out);
    if (!result.timed_out && result.exit_code == 0 && is_minor_text(out)) minor = std::string(out);
  } catch (const std::exception&) {
    // It cannot start: no Python minor to tell.
  }
  minors_.emplace(executable, minor);
  return minor;
}

}  // namespace plo
