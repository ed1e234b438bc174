#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST(VersionTables, TheCurrentLines) {
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

}  // namespace
}  // namespace plo
