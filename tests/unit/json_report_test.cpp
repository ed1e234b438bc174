#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "catalogue_meaning.h"
#include "fakes.h"
#include "spark/json_report.h"

namespace plo::testing {
namespace {

using nlohmann::ordered_json;

std::vector<std::string> keys(const ordered_json& object) {
  std::vector<std::string> names;
  for (const auto& item : object.items()) names.push_back(item.key());
  return names;
}

TEST(CheckJson, SchemaInEachState) {
  TaskFixture none;
  const auto absent = check_json(none.task().check_report());
  EXPECT_THAT(keys(absent),
              ::testing::ElementsAre("schema", "python", "pyspark", "java", "compatible", "message",
                                     "python_version", "python_supported", "python_fits",
                                     "java_needed", "databricks_connect", "conflicts", "spark_home",
                                     "project", "companions"));
  EXPECT_EQ(absent["companions"], ordered_json::array());
  EXPECT_TRUE(absent["project"].is_null());
  EXPECT_EQ(absent["schema"], 1);
  EXPECT_EQ(absent["python"], "/venv/bin/python");
  EXPECT_TRUE(absent["pyspark"].is_null());
  EXPECT_TRUE(absent["compatible"].is_null());
  EXPECT_TRUE(absent["message"].is_null());

  TaskFixture no_java;
  no_java.compat.install("2.3.4");  // a line without table data
  const auto without_java = check_json(no_java.task().check_report());
  EXPECT_EQ(without_java["pyspark"],
            ordered_json::parse(R"({"version": "2.3.4", "major_minor": "2.3", "java_supported": [],
                                    "java_recommended": null, "location": "/venv/site/pyspark",
                                    "distribution": null, "flavour": "classic"})"));
  EXPECT_TRUE(without_java["java"].is_null());
  EXPECT_TRUE(without_java["compatible"].is_null());

  TaskFixture bad;
  bad.compat.install(newest("4.1"));
  bad.compat.java = JavaInfo{11, "Azul", "/jdk11", "pin"};
  const auto incompatible = check_json(bad.task().check_report());
  EXPECT_EQ(incompatible["java"], ordered_json::parse(R"({"home": "/jdk11", "version": 11,
                                                          "vendor": "Azul", "found_in": "pin"})"));
  EXPECT_EQ(incompatible["compatible"], false);
  EXPECT_EQ(incompatible["message"],
            "Java 11 is not compatible with PySpark 4.1 (supported: Java 17, 21)");

  TaskFixture beside;
  beside.compat.install(newest("3.3"));
  beside.compat.beside.pyspark = DistributionMetadata{"pyspark", newest("3.3")};
  beside.compat.beside.candidates = {{"delta-spark", "2.3.0", {"pyspark<3.4.0,>=3.3.0"}},
                                     {"pandas", "2.2.3"}};
  const auto companions = check_json(beside.task().check_report())["companions"];
  EXPECT_EQ(companions[0], ordered_json::parse(R"({"name": "delta-spark", "version": "2.3.0",
      "requirement": "pyspark<3.4.0,>=3.3.0", "fits": true, "reason": null, "fix": null})"));
  EXPECT_EQ(companions[1]["requirement"], "pandas<2");
  EXPECT_EQ(companions[1]["fits"], false);
  EXPECT_EQ(companions[1]["fix"], "/venv/bin/python -m pip install 'pandas<2'");
  EXPECT_TRUE(companions[1]["reason"].get<std::string>().starts_with(
      "pandas 2.2.3 with PySpark " + newest("3.3") + ": pandas 2 removed DataFrame.iteritems"));
}

TEST(VersionsJson, QuestionMarkIsNull) {
  TaskFixture f;
  f.compat.versions = {{"9.9.0", "9.9", ""}, {newest("3.5"), "3.5", "stable"}};
  f.compat.install(newest("3.5"));
  const auto document = versions_json(f.task().versions_report());
  EXPECT_EQ(document["versions"][0],
            ordered_json::parse(R"({"version": "9.9.0", "major_minor": "9.9", "tag": "",
                                    "java_supported": [], "java_recommended": null,
                                    "installed": false, "python_supported": null,
                                    "python_fits": null})"));
  EXPECT_EQ(document["versions"][1]["installed"], true);
  EXPECT_EQ(document["pyspark"], (ordered_json{{"version", newest("3.5")}}));
  EXPECT_TRUE(document["java"].is_null());
}

TEST(MatchJson, NotFoundRegistryErrorAndMismatch) {
  const std::vector<std::string> schema = {
      "schema", "compute",        "cluster_version", "cluster_major_minor", "local",
      "match",  "recommendation", "java_supported",  "java_fits",           "error"};
  TaskFixture missing;
  const auto not_found = match_json(missing.task().match_report("nope"));
  EXPECT_EQ(keys(not_found), schema);
  EXPECT_EQ(not_found["error"], "Compute 'nope' not found in computes.yml");
  EXPECT_TRUE(not_found["compute"].is_null());

  TaskFixture broken;
  broken.registry_error = "computes.yml: not valid YAML";
  EXPECT_EQ(match_json(broken.task().match_report("x"))["error"],
            "Error loading compute config: computes.yml: not valid YAML");

  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{11, "v", "/jdk"};
  f.compat.cluster_version = "4.0.1";
  f.computes["prod"] = ComputeRecord{
      std::nullopt, std::map<std::string, std::string, std::less<>>{{"master", "spark://m:7077"}}};
  const auto mismatch = match_json(f.task().match_report("prod"));
  EXPECT_EQ(keys(mismatch), schema);
  EXPECT_EQ(mismatch["compute"],
            ordered_json::parse(R"({"name": "prod", "type": "spark", "master": "spark://m:7077",
                                    "host": null})"));
  EXPECT_EQ(mismatch["cluster_version"], "4.0.1");
  EXPECT_EQ(mismatch["cluster_major_minor"], "4.0");
  EXPECT_EQ(mismatch["local"], (ordered_json{{"version", newest("3.5")}, {"major_minor", "3.5"}}));
  EXPECT_EQ(mismatch["match"], false);
  EXPECT_EQ(mismatch["recommendation"], "4.0.x");
  EXPECT_EQ(mismatch["java_supported"], ordered_json::parse("[17, 21]"));
  EXPECT_EQ(mismatch["java_fits"], false);
  EXPECT_TRUE(mismatch["error"].is_null());
}

TEST(MatchJson, InstallMemberNamesItsInstaller) {
  EXPECT_EQ(install_json({"4.0.1", true, InstallerKind::Uv}),
            ordered_json::parse(R"({"version": "4.0.1", "ok": true, "installer": "uv"})"));
  EXPECT_EQ(install_json({"4.0.1", false, InstallerKind::Pip})["installer"], "pip");
  // Nothing was to be installed: the cluster matched, or no version fits it.
  EXPECT_EQ(install_json({std::nullopt, true})["installer"], nullptr);
}

TEST(JsonText, InvalidUtf8FromOutsideIsReplaced) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{17, "Vendor \xff\xfe", "/jdk"};
  const std::string text = json_text(check_json(f.task().check_report()));
  EXPECT_THAT(text, ::testing::HasSubstr("\"vendor\": \"Vendor \xEF\xBF\xBD\xEF\xBF\xBD\""));
  EXPECT_EQ(text.back(), '}');
  EXPECT_FALSE(ordered_json::parse(text, nullptr, false).is_discarded());
}

}  // namespace
}  // namespace plo::testing
