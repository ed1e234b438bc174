#include <algorithm>

#include "catalogue/index_lines.h"
#include "spark/spark_task.h"
#include "spark/text_report.h"
#include "util/text.h"

namespace plo {
namespace {

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// Splits "a.b.c" at its dots.
std::vector<std::string_view> dot_parts(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto dot = text.find('.');
    parts.push_back(text.substr(0, dot));
    if (dot == std::string_view::npos) return parts;
    text.remove_prefix(dot + 1);
  }
}

bool numeric_parts(std::string_view text, size_t count) {
  const auto parts = dot_parts(text);
  return parts.size() == count && std::all_of(parts.begin(), parts.end(), all_digits);
}

const std::vector<std::string> kNoVersions;

}  // namespace

bool is_line_request(std::string_view text) {
  return numeric_parts(text, 2);
}

std::optional<std::string> requested_version(std::string_view text,
                                             const std::vector<VersionEntry>& versions,
                                             const std::vector<std::string>& listed,
                                             const std::optional<std::string>& installed) {
  if (!is_line_request(text)) return std::string(text);
  return line_version(text, versions, listed, installed);
}

std::optional<std::string> version_for_cluster(const std::string& cluster_version,
                                               const std::vector<VersionEntry>& versions,
                                               const std::vector<std::string>& listed) {
  if (numeric_parts(cluster_version, 3)) return cluster_version;
  return line_version(major_minor_of(cluster_version), versions, listed, std::nullopt);
}

const std::vector<std::string>& SparkTask::listed_versions() {
  if (!s_.package_index) return kNoVersions;
  const IndexListing& listing = s_.package_index->pyspark_listing();
  if (!index_told_) {
    index_told_ = true;
    if (const auto line = catalogue_used_line(listing)) s_.console.echo_err(*line);
  }
  return listing.versions;
}

void SparkTask::tell_index_patch(const std::string& line) {
  const auto& versions = s_.compat.pyspark_versions();
  const auto catalogue = line_version(line, versions, {}, std::nullopt);
  const auto newest = line_version(line, versions, listed_versions(), std::nullopt);
  if (newest && newest != catalogue) {
    s_.console.echo_err(line + ": the package index has " + *newest +
                        (catalogue ? ", newer than plo's table" : ", a line plo's table lacks"));
  }
}

bool SparkTask::set_version() {
  return select_version(std::nullopt);
}

bool SparkTask::set_version(const std::string& version) {
  return select_version(version);
}

bool SparkTask::install_requested(const std::string& requested, const std::optional<JavaInfo>& java,
                                  const std::optional<PySparkInfo>& current_pyspark) {
  Console& c = s_.console;
  if (trim_blanks(requested).empty()) {
    c.echo(c.style("Name a PySpark version (such as 3.5.9) or a line (such as 3.5)", Color::Red));
    c.echo();
    return false;
  }
  const bool line = is_line_request(requested);
  if (line) tell_index_patch(requested);
  const auto version = requested_version(
      requested, s_.compat.pyspark_versions(), line ? listed_versions() : kNoVersions,
      current_pyspark ? std::optional(current_pyspark->version) : std::nullopt);
  if (!version) {
    c.echo(c.style("No PySpark " + requested +
                       " in plo's version table; give a full version (X.Y.Z) to install it",
                   Color::Red));
    c.echo();
    return false;
  }
  // major.minor as for a custom version (for a catalogue entry that is its line).
  return confirm_and_install(*version, major_minor_of(*version), java, current_pyspark);
}

SparkTask::ClusterInstall SparkTask::install_for_cluster(const MatchReport& report) {
  // Without a cluster version there is nothing to match; the report has said why.
  if (!report.comparison) return {};
  const ClusterComparison& comparison = *report.comparison;
  if (comparison.match()) return {std::nullopt, true};

  Console& c = s_.console;
  if (comparison.databricks_runtime) {
    // Not a PySpark to install: the report above named the databricks-connect that fits.
    c.echo(
        c.style("plo installs PySpark, not databricks-connect: run pip install "
                "\"databricks-connect==" +
                    *comparison.databricks_runtime + ".*\"",
                Color::Red));
    c.echo();
    return {};
  }
  // A plain X.Y.Z is the cluster's own; anything else stands for its line's newest patch.
  const bool line = !numeric_parts(comparison.cluster_version, 3);
  if (line) tell_index_patch(major_minor_of(comparison.cluster_version));
  const auto version = version_for_cluster(comparison.cluster_version, s_.compat.pyspark_versions(),
                                           line ? listed_versions() : kNoVersions);
  if (!version) {
    c.echo(c.style("No PySpark version is known for Spark " + comparison.cluster_version +
                       ": run 'plo spark set-version' and enter one",
                   Color::Red));
    c.echo();
    return {};
  }
  const auto java = s_.compat.get_current_java();
  const auto current_pyspark = s_.compat.get_pyspark_info();
  std::optional<InstallerKind> installer;
  try {
    installer = switch_installer().kind;
  } catch (const std::exception&) {
    // An interpreter that does not answer: the install phase says so.
  }
  const bool ok = confirm_and_install(*version, major_minor_of(*version), java, current_pyspark);
  return {version, ok, installer};
}

bool SparkTask::match_cluster(const std::string& compute_name, bool install) {
  if (!install) return match_cluster(compute_name);
  const MatchReport report = printed_match_report(compute_name);
  if (report.error) std::rethrow_exception(report.error);
  return install_for_cluster(report).ok;
}

}  // namespace plo
