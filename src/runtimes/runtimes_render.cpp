#include "runtimes/runtimes_render.h"

#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include "util/json_document.h"

namespace plo {
namespace {

using json = nlohmann::ordered_json;

std::string mark(Console& c, bool ok, bool unicode) {
  if (ok) return c.style(unicode ? "✓" : "v", Color::Green);
  return c.style(unicode ? "✗" : "x", Color::Red);
}

std::string joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& value : values) text += (text.empty() ? "" : ", ") + value;
  return text;
}

std::string or_unknown(const std::string& text) {
  return text.empty() ? "?" : text;
}

json text_or_null(const std::string& text) {
  return text.empty() ? json(nullptr) : json(text);
}

}  // namespace

void print_runtime_list(Console& c, const RuntimeListReport& report, bool unicode) {
  std::string platform;
  for (const RuntimeFit& fit : report.fits) {
    const ManagedRuntime& r = *fit.runtime;
    if (r.platform != platform) {
      platform = r.platform;
      c.echo();
      c.echo(c.style(platform_title(r.platform), Color::Cyan, true));
    }
    const std::string java = r.java ? std::to_string(*r.java) : "?";
    const std::string fits = fit.ok() && !fit.rows.empty() ? mark(c, true, unicode) : " ";
    c.echo(fmt::format("  {} {:<25} Spark {:<7} Python {:<10} Java {}", fits, r.name,
                       or_unknown(r.spark), or_unknown(joined(r.pythons)), java));
  }
  c.echo();
  c.echo("  " + mark(c, true, unicode) + ": this environment fits it (plo runtimes show NAME)");
  c.echo();
}

void print_runtime_fit(Console& c, const RuntimeFit& fit, bool unicode) {
  const ManagedRuntime& r = *fit.runtime;
  c.echo();
  c.echo(c.style(r.title + " (" + r.name + ")", Color::Cyan, true));
  c.echo(std::string(40, '-'));
  if (!r.spark_build.empty()) c.echo("  Spark build: " + r.spark_build);
  if (!r.scala.empty()) c.echo("  Scala:       " + r.scala);
  if (!r.end_of_support.empty()) c.echo("  Supported:   until " + r.end_of_support);
  c.echo("  Source:      " + r.sources.front() + " (checked " + r.checked + ")");
  c.echo();
  for (const FitRow& row : fit.rows) {
    const std::string local = row.local ? *row.local : "none";
    std::string line = fmt::format("  {} {:<8} {}", mark(c, row.ok, unicode), row.component, local);
    if (!row.ok) line += " (runtime: " + row.wanted + ")";
    c.echo(line);
    if (!row.ok) c.echo("      Fix: " + c.style(row.fix, Color::Cyan));
  }
  if (r.spark.empty()) c.echo("  The vendor's page names no Spark version for this runtime");
  if (fit.python_note) c.echo("  Note: " + *fit.python_note);
  c.echo();
  if (fit.ok()) {
    c.echo("  " + c.style("This environment fits " + r.title, Color::Green));
  } else {
    c.echo("  " + c.style("Run 'plo runtimes use " + r.name + "' to match it", Color::Yellow));
  }
  c.echo();
}

json runtime_json(const ManagedRuntime& r) {
  return {{"name", r.name},
          {"platform", r.platform},
          {"title", r.title},
          {"spark", text_or_null(r.spark)},
          {"spark_build", text_or_null(r.spark_build)},
          {"scala", text_or_null(r.scala)},
          {"python", r.pythons},
          {"java", r.java ? json(*r.java) : json(nullptr)},
          {"delta", text_or_null(r.delta)},
          {"released", text_or_null(r.released)},
          {"end_of_support", text_or_null(r.end_of_support)},
          {"source", r.sources.front()},
          {"sources", r.sources},
          {"checked", r.checked}};
}

json runtime_list_json(const RuntimeListReport& report) {
  json runtimes = json::array();
  for (const RuntimeFit& fit : report.fits) {
    json row = runtime_json(*fit.runtime);
    row["fits"] = fit.ok() && !fit.rows.empty();
    runtimes.push_back(row);
  }
  return json_document({{"platform", report.platform ? json(*report.platform) : json(nullptr)},
                        {"runtimes", runtimes}});
}

json runtime_fit_json(const RuntimeFit& fit) {
  json rows = json::array();
  for (const FitRow& row : fit.rows) {
    rows.push_back({{"component", row.component},
                    {"local", row.local ? json(*row.local) : json(nullptr)},
                    {"runtime", row.wanted},
                    {"ok", row.ok},
                    {"fix", row.ok ? json(nullptr) : json(row.fix)}});
  }
  return json_document({{"runtime", runtime_json(*fit.runtime)},
                        {"rows", rows},
                        {"python_note", fit.python_note ? json(*fit.python_note) : json(nullptr)},
                        {"ok", fit.ok()}});
}

}  // namespace plo
