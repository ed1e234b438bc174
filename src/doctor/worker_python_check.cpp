#include <filesystem>

#include "catalogue/versions.h"
#include "doctor/doctor_facts.h"
#include "util/environment.h"

namespace plo {
namespace {

bool same_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || std::filesystem::equivalent(a, b, error);
}

// The executable a variable's value runs: a path as it is, a bare name from PATH.
std::optional<std::string> resolve(const std::string& value) {
  if (value.find('/') != std::string::npos) {
    if (is_executable_file(value)) return value;
    return std::nullopt;
  }
  return find_on_path(value);
}

// The driver's "major.minor": from the version the import-path query told, else asked.
std::optional<std::string> driver_minor(DoctorFacts& facts) {
  if (const auto& version = facts.python_version()) return major_minor_of(*version);
  return facts.python_minor_of(facts.interpreter());
}

// Checks the Python one variable (or PySpark's default) names against the driver's; returns
// what it is, for the summary.
std::string check_python(DoctorFacts& facts, DoctorCheck& check, const std::string& name,
                         const std::string& value) {
  const std::string& interpreter = facts.interpreter();
  const auto executable = resolve(value);
  if (!executable) {
    check.raise(CheckStatus::Error,
                name + " names '" + value + "', which " +
                    (value.find('/') != std::string::npos ? "is not an executable file"
                                                          : "is not on PATH") +
                    ": Spark cannot start its Python");
    check.fix = "export " + name + "=" + interpreter;
    return name + " missing";
  }
  if (same_file(*executable, interpreter)) return name + " runs the driver's Python";
  const auto minor = facts.python_minor_of(*executable);
  if (!minor) {
    check.raise(CheckStatus::Error,
                name + " runs " + *executable + ", which does not answer like Python");
    check.fix = "export " + name + "=" + interpreter;
    return name + " not Python";
  }
  const auto driver = driver_minor(facts);
  const std::string shown = name + " is Python " + *minor + " (" + *executable + ")";
  if (!driver) {
    check.details.push_back(shown + "; the driver's Python minor is not known");
  } else if (*driver != *minor) {
    check.raise(CheckStatus::Error, shown + ", the driver's is " + *driver +
                                        ": Spark refuses to run Python workers of another minor");
    if (!check.fix) check.fix = "export " + name + "=" + interpreter;
  }
  return shown;
}

// Without PYSPARK_PYTHON PySpark starts its workers with python3 from PATH, which is not the
// driver's Python when the environment is not activated.
void check_default_python(DoctorFacts& facts, DoctorCheck& check) {
  const std::string& interpreter = facts.interpreter();
  const auto python3 = find_on_path("python3");
  if (!python3) {
    check.raise(CheckStatus::Warning,
                "PATH has no python3, which PySpark starts its workers with when PYSPARK_PYTHON "
                "is not set");
    check.fix = "export PYSPARK_PYTHON=" + interpreter;
    return;
  }
  if (same_file(*python3, interpreter)) {
    check.summary = "not set: workers run python3 from PATH, the driver's Python";
    return;
  }
  const auto minor = facts.python_minor_of(*python3);
  const auto driver = driver_minor(facts);
  check.summary = "not set: workers run " + *python3 + (minor ? ", Python " + *minor : "");
  if (minor && driver && *minor != *driver) {
    check.raise(CheckStatus::Warning, "the workers' python3 from PATH is Python " + *minor +
                                          ", the driver's is " + *driver +
                                          ": Spark refuses to run Python workers of another minor");
    check.fix = "export PYSPARK_PYTHON=" + interpreter;
  }
}

}  // namespace

void check_worker_python(DoctorFacts& facts, DoctorCheck& check) {
  std::vector<std::string> parts;
  bool any = false;
  for (const char* name : {"PYSPARK_PYTHON", "PYSPARK_DRIVER_PYTHON"}) {
    const auto value = facts.s.env(name);
    // PySpark takes an empty PYSPARK_PYTHON as it is; its launcher skips an empty driver one.
    if (!value || (value->empty() && std::string_view(name) == "PYSPARK_DRIVER_PYTHON")) continue;
    any = true;
    if (value->empty()) {
      check.raise(CheckStatus::Error, std::string(name) +
                                          " is set, but empty: Spark cannot "
                                          "start its Python workers");
      check.fix = std::string("unset ") + name;
      parts.push_back(std::string(name) + " empty");
      continue;
    }
    parts.push_back(check_python(facts, check, name, *value));
  }
  if (!any) {
    check.summary = "not set";
    if (facts.flavour() == Flavour::Classic) check_default_python(facts, check);
    return;
  }
  std::string summary;
  for (const auto& part : parts) summary += (summary.empty() ? "" : "; ") + part;
  check.summary = summary;
}

}  // namespace plo
