#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// One installed distribution that provides or shapes the `pyspark` package: "pyspark",
// "pyspark-client", "pyspark-connect" or "databricks-connect" (names normalised).
struct PySparkDistribution {
  std::string name;
  std::string version;   // its metadata's Version ("" when unreadable)
  std::string metadata;  // its .dist-info or .egg-info path
  std::string folder;    // the import path folder it was found in
};

// The distribution names above, in the order they are reported.
extern const std::vector<std::string_view> kPySparkDistributionNames;

// The headers plo reads of a core-metadata file (METADATA or PKG-INFO): Name and Version, every
// Requires-Dist and Provides-Extra; nothing when Name or Version is missing.
struct MetadataHeaders {
  std::string name;
  std::string version;
  std::vector<std::string> requires_dist = {};
  std::vector<std::string> provides_extra = {};
};
std::optional<MetadataHeaders> parse_metadata_headers(std::string_view metadata);

// Calls `visit` with each .dist-info or .egg-info entry in the folders of the import path, in
// path order and by name within a folder, with the normalised distribution name its file name
// gives ("pyspark_client-4.1.0.dist-info" -> "pyspark-client") and the folder; empty entries stand
// for the current folder, and a folder listed twice is looked at once.
void for_each_distribution_entry(
    const std::vector<std::string>& import_path,
    const std::function<void(const std::filesystem::path& entry, const std::string& name,
                             const std::string& folder)>& visit);

// The headers of a distribution entry's metadata file (an egg-info may be that file itself),
// read from its first `max_bytes`; nothing when it cannot be read or holds no Name and Version.
std::optional<MetadataHeaders> read_metadata_headers(const std::filesystem::path& entry,
                                                     size_t max_bytes = 1 << 20);

// The paths a RECORD lists, as written: the first CSV field of each line.
std::vector<std::string> record_paths(std::string_view record);

// The files a dist-info's RECORD lists, as absolute paths from its site folder (scripts outside
// it, in bin/, included); nothing where it has no RECORD that can be read.
std::vector<std::string> recorded_files(const std::filesystem::path& dist_info);

// Every such distribution in the folders of the import path, in path order; empty entries stand
// for the current folder. A folder listed twice is looked at once.
std::vector<PySparkDistribution> find_pyspark_distributions(
    const std::vector<std::string>& import_path);

// The same search for other distributions, by their normalised names ("delta-spark").
std::vector<PySparkDistribution> find_distributions(const std::vector<std::string>& import_path,
                                                    const std::vector<std::string_view>& names);

// A Spark distribution unpacked in a folder (SPARK_HOME): its version, from its RELEASE file
// ("Spark 3.5.1 built for Hadoop 3.3.4") or else the name of jars/spark-core_*.jar, and whether
// it has bin/spark-submit.
struct SparkDistribution {
  std::optional<std::string> version;
  bool has_spark_submit = false;
};
SparkDistribution inspect_spark_distribution(const std::string& home);

}  // namespace plo
