#pragma once

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

// The Name and Version headers of a core-metadata file (METADATA or PKG-INFO); nothing when
// either is missing.
struct MetadataHeaders {
  std::string name;
  std::string version;
};
std::optional<MetadataHeaders> parse_metadata_headers(std::string_view metadata);

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
