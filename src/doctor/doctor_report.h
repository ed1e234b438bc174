#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plo {

// How one area of the environment stands: an error makes every Spark start fail or run the wrong
// thing; a warning is worth fixing but does not.
enum class CheckStatus { Ok, Warning, Error };

// "ok", "warning" or "error", as the JSON document names the status.
const char* status_name(CheckStatus status);

// A companion of PySpark as the companions area lists it, under the area's line with a mark of
// its own.
struct CompanionItem {
  CheckStatus status = CheckStatus::Ok;
  // The line: "delta-spark 3.3.0 (pyspark<3.6.0,>=3.5.3)", or why it does not fit.
  std::string text;
  // The fields of `check --json`'s companions; an empty text is null there.
  std::string name, version, requirement, reason, fix;
};

// What the doctor found about one area.
struct DoctorCheck {
  std::string area;   // its name in the JSON document: "interpreter", "pyspark", ...
  std::string title;  // its name in the text: "Interpreter", "PySpark", ...
  CheckStatus status = CheckStatus::Ok;
  std::string summary;               // one line: what is there
  std::vector<std::string> details;  // what is wrong and why it matters, one line each
  std::optional<std::string> fix;    // the command that fixes it
  // A command worth running although nothing is wrong (uv where pip installs); it changes neither
  // the status nor the exit status.
  std::optional<std::string> suggestion = std::nullopt;
  // The companions area's rows (nothing for every other area).
  std::optional<std::vector<CompanionItem>> companions = std::nullopt;

  // Marks the check as at least `worse`, with a line saying why.
  void raise(CheckStatus worse, std::string detail);
};

// Every area's check, in the order they were made.
struct DoctorReport {
  std::vector<DoctorCheck> checks;

  // True when no check is an error.
  bool ok() const;
};

}  // namespace plo
