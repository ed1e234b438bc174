#include "environment/distributions.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "catalogue/requirements.h"
#include "catalogue/versions.h"
#include "util/environment.h"
#include "util/text.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

bool is_one_of(std::string_view name, const std::vector<std::string_view>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

const std::vector<std::string_view> kPySparkDistributionNames = {
    "pyspark", "pyspark-client", "pyspark-connect", "databricks-connect"};

std::optional<MetadataHeaders> parse_metadata_headers(std::string_view metadata) {
  std::optional<std::string> name;
  std::optional<std::string> version;
  MetadataHeaders headers;
  while (!metadata.empty()) {
    const auto end = metadata.find('\n');
    std::string_view line = metadata.substr(0, end);
    metadata = end == std::string_view::npos ? std::string_view() : metadata.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the headers end at the first blank line
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon);
    const std::string_view value = trim_blanks(line.substr(colon + 1));
    if (key == "Name" && !name) name = std::string(value);
    if (key == "Version" && !version) version = std::string(value);
    if (key == "Requires-Dist" && !value.empty()) headers.requires_dist.emplace_back(value);
    if (key == "Provides-Extra" && !value.empty()) {
      headers.provides_extra.push_back(normalized_name(value));
    }
  }
  if (!name || name->empty() || !version) return std::nullopt;
  headers.name = std::move(*name);
  headers.version = std::move(*version);
  return headers;
}

void for_each_distribution_entry(
    const std::vector<std::string>& import_path,
    const std::function<void(const fs::path& entry, const std::string& name,
                             const std::string& folder)>& visit) {
  std::set<std::string> seen;
  for (const std::string& entry : import_path) {
    const fs::path folder = entry.empty() ? fs::path(".") : fs::path(entry);
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(folder, error);
    if (!seen.insert(error ? folder.string() : canonical.string()).second) continue;
    fs::directory_iterator it(folder, error);
    if (error) continue;
    std::vector<fs::directory_entry> entries;
    for (const auto& child : it) entries.push_back(child);
    std::sort(entries.begin(), entries.end());  // a stable report whatever the file system's order
    for (const auto& child : entries) {
      const std::string name = child.path().filename().string();
      if (!name.ends_with(".dist-info") && !name.ends_with(".egg-info")) continue;
      // "pyspark_client-4.1.0.dist-info", "pyspark.egg-info", "pyspark-3.3.4-py3.11.egg-info"
      const std::string stem = name.substr(0, name.rfind('.'));
      visit(child.path(), normalized_name(stem.substr(0, stem.find('-'))), folder.string());
    }
  }
}

std::optional<MetadataHeaders> read_metadata_headers(const fs::path& entry, size_t max_bytes) {
  // A dist-info holds METADATA; an egg-info is PKG-INFO itself or a folder holding it.
  fs::path file = entry / "PKG-INFO";
  std::error_code error;
  if (entry.extension() == ".dist-info") {
    file = entry / "METADATA";
  } else if (fs::is_regular_file(entry, error)) {
    file = entry;
  }
  const auto text = read_file_prefix(file, max_bytes);
  if (!text) return std::nullopt;
  return parse_metadata_headers(*text);
}

std::vector<PySparkDistribution> find_pyspark_distributions(
    const std::vector<std::string>& import_path) {
  return find_distributions(import_path, kPySparkDistributionNames);
}

std::vector<PySparkDistribution> find_distributions(const std::vector<std::string>& import_path,
                                                    const std::vector<std::string_view>& names) {
  std::vector<PySparkDistribution> found;
  for_each_distribution_entry(
      import_path, [&](const fs::path& entry, const std::string& name, const std::string& folder) {
        if (!is_one_of(name, names)) return;
        PySparkDistribution distribution{name, "", entry.string(), folder};
        if (const auto headers = read_metadata_headers(entry)) {
          distribution.name = normalized_name(headers->name);
          if (looks_like_version(headers->version)) distribution.version = headers->version;
        }
        if (is_one_of(distribution.name, names)) found.push_back(std::move(distribution));
      });
  return found;
}

SparkDistribution inspect_spark_distribution(const std::string& home) {
  SparkDistribution spark;
  const fs::path root(home);
  spark.has_spark_submit = is_executable_file((root / "bin" / "spark-submit").string());
  if (const auto release = read_file_prefix(root / "RELEASE", 4096)) {
    // The first line: "Spark 3.5.1 built for Hadoop 3.3.4"
    std::string_view line(*release);
    line = trim_blanks(line.substr(0, line.find('\n')));
    if (line.starts_with("Spark ")) {
      line.remove_prefix(6);
      const std::string_view version = line.substr(0, line.find(' '));
      if (looks_like_version(version)) spark.version = std::string(version);
    }
  }
  if (spark.version) return spark;
  std::error_code error;
  fs::directory_iterator it(root / "jars", error);
  if (error) return spark;
  for (const auto& child : it) {
    // "spark-core_2.12-3.5.1.jar"
    const std::string name = child.path().filename().string();
    if (!name.starts_with("spark-core_") || !name.ends_with(".jar")) continue;
    const auto dash = name.find('-', 11);
    if (dash == std::string::npos) continue;
    const std::string version = name.substr(dash + 1, name.size() - dash - 1 - 4);
    if (looks_like_version(version)) {
      spark.version = version;
      break;
    }
  }
  return spark;
}

std::vector<std::string> record_paths(std::string_view record) {
  std::vector<std::string> paths;
  while (!record.empty()) {
    const auto end = record.find('\n');
    std::string_view line = record.substr(0, end);
    record = end == std::string_view::npos ? std::string_view() : record.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string path;
    if (line.starts_with('"')) {
      for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] != '"') {
          path += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          path += '"';
          ++i;
        } else {
          break;
        }
      }
    } else {
      path = std::string(line.substr(0, line.find(',')));
    }
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

std::vector<std::string> recorded_files(const std::filesystem::path& dist_info) {
  // pyarrow's and pandas' RECORDs run to a few hundred kilobytes.
  constexpr size_t kMaxRecordBytes = 32 << 20;
  std::vector<std::string> files;
  const auto record = read_file_prefix(dist_info / "RECORD", kMaxRecordBytes);
  if (!record) return files;
  const std::filesystem::path site = dist_info.parent_path();
  for (const std::string& path : record_paths(*record)) {
    files.push_back((site / path).lexically_normal().string());
  }
  return files;
}

}  // namespace plo
