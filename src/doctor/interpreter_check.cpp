#include <filesystem>

#include "doctor/doctor_facts.h"

namespace plo {
namespace {

// The kind of environment an interpreter at <prefix>/bin/python belongs to, by the files a venv
// (pyvenv.cfg) or a conda environment (conda-meta/) keeps at its prefix; nothing for neither.
std::optional<std::string> environment_kind(const std::string& interpreter) {
  namespace fs = std::filesystem;
  const fs::path prefix = fs::path(interpreter).parent_path().parent_path();
  std::error_code error;
  if (fs::is_regular_file(prefix / "pyvenv.cfg", error)) return "virtual environment";
  if (fs::is_directory(prefix / "conda-meta", error)) return "conda environment";
  return std::nullopt;
}

}  // namespace

void check_interpreter(DoctorFacts& facts, DoctorCheck& check) {
  const auto stale = facts.s.stale_virtual_env();
  std::string interpreter;
  try {
    interpreter = facts.interpreter();
  } catch (const std::exception& e) {
    check.summary = "no Python interpreter";
    check.raise(CheckStatus::Error, e.what());
    if (stale) check.details.push_back("VIRTUAL_ENV names " + *stale + ", which has no bin/python");
    check.fix = "python3 -m venv .venv && . .venv/bin/activate";
    return;
  }
  const auto& version = facts.python_version();
  const auto kind = environment_kind(interpreter);
  check.summary = (version ? "Python " + *version : "Python (version unknown)") + " at " +
                  interpreter + (kind ? " (" + *kind + ")" : "");
  if (stale) {
    check.raise(CheckStatus::Warning, "VIRTUAL_ENV names " + *stale +
                                          ", which has no bin/python: the environment was "
                                          "deleted or moved since it was activated");
    check.fix = "deactivate";
  }
  if (!kind) {
    check.raise(CheckStatus::Warning,
                "not a virtual environment: installing PySpark changes this Python for every "
                "program that uses it");
    if (!check.fix) check.fix = "python3 -m venv .venv && . .venv/bin/activate";
  }
}

}  // namespace plo
