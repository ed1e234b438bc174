#include "doctor/doctor_render.h"

#include <nlohmann/json.hpp>

#include <string>

#include "util/escape.h"
#include "util/json_document.h"
#include "util/secrets.h"

namespace plo {
namespace {

std::string shown(const std::string& text) {
  return escape_controls(without_secrets(text));
}

std::string mark(Console& console, CheckStatus status, bool unicode) {
  switch (status) {
    case CheckStatus::Ok:
      return "[" + console.style(unicode ? "✓" : "v", Color::Green) + "]";
    case CheckStatus::Warning:
      return "[" + console.style("!", Color::Yellow) + "]";
    case CheckStatus::Error:
      break;
  }
  return "[" + console.style(unicode ? "✗" : "x", Color::Red) + "]";
}

std::string counted(size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

}  // namespace

void print_doctor_report(Console& console, const DoctorReport& report, bool unicode_marks) {
  console.echo();
  console.echo(console.style("plo doctor", Color::Cyan, true));
  console.echo(std::string(40, '-'));
  size_t errors = 0, warnings = 0;
  for (const DoctorCheck& check : report.checks) {
    console.echo("  " + mark(console, check.status, unicode_marks) + " " + check.title + ": " +
                 shown(check.summary));
    if (check.status == CheckStatus::Error) ++errors;
    if (check.status == CheckStatus::Warning) ++warnings;
    for (const std::string& detail : check.details) console.echo("      " + shown(detail));
    if (check.fix && check.status != CheckStatus::Ok) {
      console.echo("      Fix: " + console.style(shown(*check.fix), Color::Cyan));
    }
    if (check.suggestion) {
      console.echo("      Try: " + console.style(shown(*check.suggestion), Color::Cyan));
    }
  }
  console.echo();
  if (errors == 0 && warnings == 0) {
    console.echo("  " + console.style("No problems found", Color::Green));
  } else if (errors == 0) {
    console.echo("  " + console.style(counted(warnings, "warning"), Color::Yellow));
  } else {
    std::string line = counted(errors, "error");
    if (warnings > 0) line += ", " + counted(warnings, "warning");
    console.echo("  " + console.style(line, Color::Red));
  }
  console.echo();
}

nlohmann::ordered_json doctor_json(const DoctorReport& report) {
  nlohmann::ordered_json checks = nlohmann::ordered_json::array();
  for (const DoctorCheck& check : report.checks) {
    checks.push_back(
        {{"area", check.area},
         {"status", status_name(check.status)},
         {"summary", check.summary},
         {"details", check.details},
         {"fix", check.fix ? nlohmann::ordered_json(*check.fix) : nlohmann::ordered_json(nullptr)},
         {"suggestion", check.suggestion ? nlohmann::ordered_json(*check.suggestion)
                                         : nlohmann::ordered_json(nullptr)}});
  }
  return json_document({{"ok", report.ok()}, {"checks", checks}});
}

}  // namespace plo
