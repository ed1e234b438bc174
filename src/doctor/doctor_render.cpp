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
    if (check.companions) {
      for (const CompanionItem& item : *check.companions) {
        console.echo("      " + mark(console, item.status, unicode_marks) + " " + shown(item.text));
      }
    }
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
  using json = nlohmann::ordered_json;
  const auto text = [](const std::string& value) {
    return value.empty() ? json(nullptr) : json(value);
  };
  json checks = json::array();
  for (const DoctorCheck& check : report.checks) {
    json entry = {{"area", check.area},
                  {"status", status_name(check.status)},
                  {"summary", check.summary},
                  {"details", check.details},
                  {"fix", check.fix ? json(*check.fix) : json(nullptr)},
                  {"suggestion", check.suggestion ? json(*check.suggestion) : json(nullptr)}};
    if (check.companions) {
      json companions = json::array();
      for (const CompanionItem& item : *check.companions) {
        companions.push_back({{"name", item.name},
                              {"version", item.version},
                              {"requirement", text(item.requirement)},
                              {"fits", item.status == CheckStatus::Ok},
                              {"reason", text(item.reason)},
                              {"fix", text(item.fix)}});
      }
      entry["companions"] = companions;
    }
    checks.push_back(entry);
  }
  return json_document({{"ok", report.ok()}, {"checks", checks}});
}

}  // namespace plo
