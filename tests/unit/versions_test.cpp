#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "catalogue/databricks_runtimes.h"
#include "catalogue/runtimes.h"
#include "catalogue/versions.h"

namespace plo {
namespace {

using ::testing::ElementsAre;

// The menu and the matrix show the tables as they are: every entry must be a real line with Java
// data, and exactly one entry each is the latest and the stable one.
TEST(VersionTables, EveryOfferedLineHasJavaData) {
  int latest = 0;
  int stable = 0;
  for (const VersionEntry& entry : PYSPARK_VERSIONS) {
    SCOPED_TRACE(entry.version);
    EXPECT_EQ(entry.major_minor, major_minor_of(entry.version));
    const auto record = PYSPARK_JAVA_COMPATIBILITY.find(entry.major_minor);
    ASSERT_NE(record, PYSPARK_JAVA_COMPATIBILITY.end());
    ASSERT_TRUE(record->second.recommended.has_value());
    EXPECT_THAT(record->second.supported, ::testing::Contains(*record->second.recommended));
    latest += entry.tag == "latest";
    stable += entry.tag == "stable";
  }
  EXPECT_EQ(latest, 1);
  EXPECT_EQ(stable, 1);
}

// Every row, so that a new patch or line fails here (and only here) until this file states it.
TEST(VersionTables, TheCurrentLines) {
  std::vector<std::string> rows;
  for (const VersionEntry& entry : PYSPARK_VERSIONS) {
    rows.push_back(entry.version + " " + entry.tag);
  }
  EXPECT_THAT(rows, ElementsAre("4.3.0 latest", "4.2.0 ", "4.1.3 ", "4.0.4 ", "3.5.9 stable",
                                "3.4.4 ", "3.3.4 "));
  ASSERT_GE(PYSPARK_VERSIONS.size(), 2u);
  EXPECT_EQ(PYSPARK_VERSIONS[0].version, "4.3.0");
  EXPECT_EQ(PYSPARK_VERSIONS[0].tag, "latest");
  EXPECT_EQ(PYSPARK_VERSIONS[1].version, "4.2.0");
  EXPECT_EQ(PYSPARK_VERSIONS[1].tag, "");
  const CompatRecord& line = PYSPARK_JAVA_COMPATIBILITY.at("4.3");
  EXPECT_THAT(line.supported, ElementsAre(17, 21, 25));
  EXPECT_EQ(line.recommended, 21);
  EXPECT_EQ(check_java_pyspark_compatibility(25, "4.3", PYSPARK_JAVA_COMPATIBILITY).first, true);
  EXPECT_EQ(check_java_pyspark_compatibility(11, "4.3", PYSPARK_JAVA_COMPATIBILITY).first, false);
}

// The runtime rows the vendors' pages give, exactly: Spark, Python, Java, Scala, Delta.
TEST(RuntimeTable, TheVendorsExamples) {
  struct Row {
    const char* name;
    const char* spark;
    std::vector<std::string> pythons;
    std::optional<int> java;
    const char* scala;
    const char* delta;
  };
  const Row rows[] = {
      {"glue-5.1", "3.5.6", {"3.11"}, 17, "2.12.18", "3.3.2"},
      {"glue-5.0", "3.5.4", {"3.11"}, 17, "2.12.18", "3.3.0"},
      {"glue-4.0", "3.3.0", {"3.10"}, 8, "", ""},
      {"emr-7.10.0", "3.5.5", {"3.9", "3.11"}, std::nullopt, "2.12.18", "3.3.0"},
      {"databricks-16.4-lts", "3.5.2", {}, std::nullopt, "2.12, 2.13", ""},
      {"databricks-17.3-lts", "4.0.0", {}, std::nullopt, "2.13", ""},
      {"dataproc-serverless-2.2", "3.5.1", {"3.12"}, 17, "2.13", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ManagedRuntime* found = find_runtime(row.name);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->spark, row.spark);
    EXPECT_EQ(found->pythons, row.pythons);
    EXPECT_EQ(found->java, row.java);
    EXPECT_EQ(found->scala, row.scala);
    EXPECT_EQ(found->delta, row.delta);
  }
  EXPECT_EQ(find_runtime("emr-7.10.0")->spark_build, "3.5.5-amzn-1");
}

// Every row can be traced to its vendor, names are unique, and each platform's rows stand together.
TEST(RuntimeTable, EveryRowHasItsSource) {
  const auto& platforms = runtime_platforms();
  std::vector<std::string> names;
  size_t platform_at = 0;
  for (const ManagedRuntime& row : managed_runtimes()) {
    SCOPED_TRACE(row.name);
    EXPECT_FALSE(row.sources.empty());
    for (const std::string& source : row.sources) EXPECT_TRUE(source.starts_with("https://"));
    EXPECT_EQ(row.checked.size(), 10u);
    EXPECT_THAT(names, ::testing::Not(::testing::Contains(row.name)));
    names.push_back(row.name);
    while (platform_at < platforms.size() && platforms[platform_at] != row.platform) ++platform_at;
    ASSERT_LT(platform_at, platforms.size()) << "platform out of order or unknown";
    EXPECT_TRUE(row.spark.empty() || is_full_patch(row.spark) ||
                major_minor_of(row.spark) == row.spark);
  }
  for (const std::string& platform : platforms) {
    EXPECT_THAT(names, ::testing::Contains(::testing::StartsWith(platform + "-")));
  }
}

// A Databricks runtime is found by its name, its cluster key or its line, and match-cluster's
// lookups keep their answers: the rows first, then the majors that ship one Spark line.
TEST(RuntimeTable, DatabricksNamesAndKeys) {
  const ManagedRuntime* by_name = find_runtime("Databricks-16.4-LTS");
  ASSERT_NE(by_name, nullptr);
  EXPECT_EQ(find_runtime("16.4.x-scala2.12"), by_name);
  EXPECT_EQ(find_runtime("16.4"), by_name);
  EXPECT_EQ(find_runtime("glue-9.9"), nullptr);
  EXPECT_EQ(find_runtime("99.1.x-scala2.13"), nullptr);
  EXPECT_EQ(databricks_runtime_spark("16.4.x-scala2.12"), by_name->spark);
  EXPECT_EQ(databricks_runtime_spark("17.1.x-scala2.13"), databricks_major_spark(17));
  EXPECT_EQ(databricks_runtime_spark("11.3"), std::nullopt);
  EXPECT_TRUE(is_full_patch("3.5.4"));
  EXPECT_FALSE(is_full_patch("3.5"));
  EXPECT_FALSE(is_full_patch("3.5.5-amzn-1"));
}

}  // namespace
}  // namespace plo
