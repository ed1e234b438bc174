#include "spark/spark_task.h"
#include "spark/text_report.h"

namespace plo {

VersionsReport SparkTask::versions_report() {
  VersionsReport report;
  try {
    report.pyspark = s_.compat.get_pyspark_info();
    report.java = s_.compat.get_current_java();
    report.python_version = s_.compat.python_version();
  } catch (const std::exception&) {
    report.error = std::current_exception();
    return report;
  }
  const CompatTable& table = s_.compat.pyspark_java_compatibility();
  for (const VersionEntry& entry : s_.compat.pyspark_versions()) {
    const auto record = table.find(entry.major_minor);
    const CompatRecord compat = record == table.end() ? CompatRecord{} : record->second;
    std::optional<int> recommended = compat.recommended;
    if (!recommended && !compat.supported.empty()) recommended = compat.supported[0];
    report.versions.push_back({
        .version = entry.version,
        .major_minor = entry.major_minor,
        .tag = entry.tag,
        .java_supported = compat.supported,
        .java_recommended = recommended,
        .installed = report.pyspark && report.pyspark->version == entry.version,
        .python_supported = python_range(entry.major_minor),
        .python_fits = python_fit(report.python_version, python_range(entry.major_minor)),
    });
  }
  if (s_.package_index) {
    listed_versions();  // tells why plo's table stands in, where it does
    report.index = s_.package_index->pyspark_listing();
    report.index_newer =
        listed_beyond_catalogue(s_.compat.pyspark_versions(), report.index->versions);
  }
  if (!report.index_newer.empty()) {
    std::string patches;
    for (const ListedPatch& patch : report.index_newer) {
      patches += (patches.empty() ? "" : ", ") + patch.version;
    }
    s_.console.echo_err("plo: the package index has PySpark " + patches +
                        ", newer than plo's table (set-version takes a line's newest patch)");
  }
  return report;
}

void SparkTask::show_versions() {
  const VersionsReport report = versions_report();
  print_versions(s_.console, report);
  if (report.error) std::rethrow_exception(report.error);
}

}  // namespace plo
