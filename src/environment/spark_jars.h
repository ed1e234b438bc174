#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// What a Spark's jars folder tells by its file names.
struct SparkJars {
  // "2.12", from scala-library-2.12.18.jar, else from spark-core_2.12-3.5.1.jar.
  std::optional<std::string> scala;
  // "3.3.4", from the bundled hadoop-client-api-3.3.4.jar.
  std::optional<std::string> hadoop;
};
SparkJars inspect_spark_jars(const std::string& jars_folder);

// One Maven coordinate of spark.jars.packages, "group:artifact:version".
struct MavenPackage {
  std::string group;
  std::string artifact;
  std::string version;
  std::string text;  // as written
};

// The coordinates of a comma-separated list; an entry that is no group:artifact:version is
// left out.
std::vector<MavenPackage> parse_jar_packages(std::string_view list);

// The Scala version an artifact is built for, by its suffix ("delta-spark_2.13" -> "2.13"), or
// nothing where it has none.
std::optional<std::string> scala_suffix(std::string_view artifact);

// The value spark-defaults.conf gives `key` (a Java properties file: "key value", "key=value" or
// "key: value"; the last line wins), or nothing.
std::optional<std::string> spark_defaults_value(std::string_view conf, std::string_view key);

// The spark.jars.packages list that PYSPARK_SUBMIT_ARGS passes to spark-submit (--packages LIST,
// --packages=LIST, --conf spark.jars.packages=LIST; --packages wins, as in spark-submit), its
// words split as PySpark splits them (a POSIX shell's rules); nothing where it passes none.
std::optional<std::string> submit_args_packages(std::string_view submit_args);

}  // namespace plo
