#include <nlohmann/json.hpp>

#include "compute/shown.h"
#include "compute/test_report.h"
#include "util/json_document.h"

namespace plo {
namespace {

template <typename T>
nlohmann::ordered_json or_null(const std::optional<T>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json();
}

}  // namespace

void print_test_report(Console& c, const TestReport& report) {
  c.echo();
  c.echo(c.style("Testing compute: " + shown(report.name), Color::Cyan, true));
  c.echo(std::string(50, '='));
  c.echo();
  if (!report.type) {
    c.echo(c.style(*report.error, Color::Red));
    c.echo("  Run 'plo compute list' to see available compute engines");
    c.echo();
    return;
  }
  c.echo("  Type:        " + shown(*report.type));
  if (report.shown_master) c.echo("  Master URL:  " + shown(*report.shown_master, 400));
  if (report.host) c.echo("  Host:        " + shown(*report.host, 400));
  for (const std::string& note : report.notes) c.echo(note);
  c.echo();
  for (const EndpointReport& endpoint : report.endpoints) {
    c.echo("  " + c.style(shown(endpoint.url, 400), Color::Cyan));
    for (const std::string& line : endpoint.lines) c.echo("    " + line);
  }
  if (report.error) c.echo(c.style("  " + *report.error, Color::Red));
  for (const std::string& line : report.after) c.echo(line);
  if (!report.endpoints.empty() || report.error) c.echo();
  if (report.reachable && !report.asked) {
    c.echo(c.style("  Nothing was asked: the version above is the one this compute runs",
                   Color::Green));
  } else if (report.reachable) {
    c.echo(c.style("  Compute answered", Color::Green));
    if (!report.spark_version) c.echo("  (it did not tell its Spark version)");
  } else {
    c.echo(c.style("  Compute did not answer", Color::Red));
  }
}

std::string test_report_json(const TestReport& report, std::optional<bool> match) {
  nlohmann::ordered_json endpoints = nlohmann::ordered_json::array();
  for (const EndpointReport& endpoint : report.endpoints) {
    endpoints.push_back({{"url", endpoint.url},
                         {"reachable", endpoint.reachable},
                         {"latency_ms", or_null(endpoint.latency_ms)},
                         {"status", or_null(endpoint.status)},
                         {"spark_version", or_null(endpoint.spark_version)},
                         {"error", or_null(endpoint.error)}});
  }
  return json_text(json_document({{"name", report.name},
                                  {"type", or_null(report.type)},
                                  {"reachable", report.reachable},
                                  {"spark_version", or_null(report.spark_version)},
                                  {"endpoints", endpoints},
                                  {"match", or_null(match)},
                                  {"error", or_null(report.error)}}));
}

}  // namespace plo
