#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "catalogue/python_support.h"
#include "environment/distributions.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

TEST(PythonSupport, FitsComparesMajorMinorNumerically) {
  const PythonRange range{"3.8", "3.11"};
  const std::vector<std::pair<std::string, bool>> cases = {
      {"3.8.0", true},   {"3.11.9", true},  {"3.10", true},      {"3.12.1", false},
      {"3.7.17", false}, {"2.7.18", false}, {"3.11.0rc1", true}, {"garbage", true},
  };
  for (const auto& [version, fits] : cases) EXPECT_EQ(python_fits(version, range), fits) << version;
}

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST(PySparkDistributions, FindsEachFlavourByItsMetadataInPathOrder) {
  const fs::path root = fs::path(testing::TempDir()) / "plo-distributions";
  fs::remove_all(root);
  const fs::path site = root / "site";
  const fs::path user = root / "user";
  write(site / "pyspark-3.5.1.dist-info/METADATA", "Name: pyspark\nVersion: 3.5.1\n\nbody\n");
  write(site / "databricks_connect-15.4.3.dist-info/METADATA",
        "Metadata-Version: 2.1\nName: databricks-connect\nVersion: 15.4.3\n");
  write(site / "numpy-2.0.dist-info/METADATA", "Name: numpy\nVersion: 2.0\n");
  write(user / "PySpark_Client.egg-info", "Name: pyspark_client\nVersion: 4.1.0\n");
  write(root / "spark/RELEASE", "Spark 3.3.1 built for Hadoop 3.3.2\nBuild flags: -B\n");
  write(root / "jarsonly/jars/spark-core_2.13-4.0.1.jar", "");

  const auto found = find_pyspark_distributions({site.string(), user.string(), site.string()});
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, "databricks-connect");
  EXPECT_EQ(found[0].version, "15.4.3");
  EXPECT_EQ(found[1].name, "pyspark");
  EXPECT_EQ(found[2].name, "pyspark-client");
  EXPECT_EQ(found[2].folder, user.string());

  EXPECT_EQ(inspect_spark_distribution((root / "spark").string()).version, "3.3.1");
  EXPECT_EQ(inspect_spark_distribution((root / "jarsonly").string()).version, "4.0.1");
  EXPECT_FALSE(inspect_spark_distribution((root / "spark").string()).has_spark_submit);
  fs::remove_all(root);
}

}  // namespace
}  // namespace plo
