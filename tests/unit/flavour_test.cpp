#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include "blocks.h"
#include "catalogue_meaning.h"
#include "fakes.h"
#include "spark/json_report.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;

const std::string kSite = "/venv/site";  // FakeCompat::install puts pyspark there

PySparkDistribution dist(const std::string& name, const std::string& version,
                         const std::string& folder = kSite) {
  return {name, version, folder + "/" + name + "-" + version + ".dist-info", folder};
}

TEST(PySparkFlavour, DecidedByTheDistributionsBesideThePackage) {
  struct Case {
    std::string name;
    std::vector<PySparkDistribution> found;
    PySparkFlavour flavour;
    std::optional<std::string> provider;
    size_t conflicting;
  } cases[] = {
      {"classic", {dist("pyspark", newest("3.5"))}, PySparkFlavour::Classic, "pyspark", 0},
      {"no metadata at all", {}, PySparkFlavour::Classic, std::nullopt, 0},
      {"connect over pyspark",
       {dist("pyspark", newest("4.1")), dist("pyspark-connect", newest("4.1"))},
       PySparkFlavour::Connect,
       "pyspark",
       0},
      {"client",
       {dist("pyspark-client", newest("4.1"))},
       PySparkFlavour::Client,
       "pyspark-client",
       0},
      {"databricks",
       {dist("databricks-connect", "15.4.3")},
       PySparkFlavour::DatabricksConnect,
       "databricks-connect",
       0},
      {"pyspark beside databricks-connect",
       {dist("databricks-connect", "15.4.3"), dist("pyspark", newest("3.5"))},
       PySparkFlavour::Classic,
       "pyspark",
       2},
      {"pyspark beside the client",
       {dist("pyspark", newest("4.1")), dist("pyspark-client", newest("4.1"))},
       PySparkFlavour::Classic,
       "pyspark",
       2},
      {"two pyspark dist-infos",
       {dist("pyspark", "3.5.1"), dist("pyspark", newest("3.5"))},
       PySparkFlavour::Classic,
       "pyspark",
       2},
      {"a shadowed pyspark elsewhere on the path",
       {dist("pyspark-client", newest("4.1")),
        dist("pyspark", newest("3.5"), "/usr/lib/python3/dist-packages")},
       PySparkFlavour::Client,
       "pyspark-client",
       0},
  };
  for (const auto& c : cases) {
    const auto found = classify_pyspark_flavour(c.found, kSite + "/pyspark");
    EXPECT_EQ(found.flavour, c.flavour) << c.name;
    EXPECT_EQ(found.provider ? std::optional(found.provider->name) : std::nullopt, c.provider)
        << c.name;
    EXPECT_EQ(found.conflicting.size(), c.conflicting) << c.name;
  }
}

TEST(CheckFlavour, SparkConnectClientNeedsNoJava) {
  TaskFixture f;
  f.compat.install(newest("4.1"));
  f.compat.distributions = {dist("pyspark-client", newest("4.1"))};
  EXPECT_TRUE(f.task().check());
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"  Recommended:   Java 17",
       "  Package:       pyspark-client " + newest("4.1") + " (Spark Connect client only)", "",
       "<cyan!>Java Compatibility</cyan!>", std::string(40, '-'),
       "<green>  Spark Connect client: no local Java needed</green>", ""}))
      << f.console.text();
  EXPECT_THAT(f.compat.calls, ElementsAre("get_pyspark_info"));  // Java is not looked for
}

TEST(CheckFlavour, DatabricksConnectShowsItsVersionAndSparkLine) {
  TaskFixture f;
  f.compat.install("3.5.0");
  f.compat.distributions = {dist("databricks-connect", "15.4.3")};
  EXPECT_TRUE(f.task().check());
  EXPECT_TRUE(has_block(
      f.console.lines,
      {"  Package:       Databricks Connect 15.4.3 (Spark 3.5)", "",
       "<cyan!>Java Compatibility</cyan!>", std::string(40, '-'),
       "<green>  Databricks Connect (a Spark Connect client): no local Java needed</green>"}))
      << f.console.text();
  const auto document = check_json(f.task().check_report());
  EXPECT_EQ(document["pyspark"]["flavour"], "databricks-connect");
  EXPECT_EQ(document["java_needed"], false);
  EXPECT_EQ(document["databricks_connect"]["version"], "15.4.3");
  EXPECT_EQ(document["databricks_connect"]["runtime"], "15.4");
  EXPECT_EQ(document["databricks_connect"]["spark_version"], "3.5.0");
  EXPECT_EQ(document["java"], nullptr);
}

TEST(CheckFlavour, ConflictsAreRedWithTheWayOut) {
  TaskFixture f;
  f.compat.install("3.5.0");
  f.compat.distributions = {dist("databricks-connect", "15.4.3"), dist("pyspark", "3.5.0")};
  f.compat.java = JavaInfo{17, "Debian", "/jdk17"};
  EXPECT_FALSE(f.task().check());
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"<green>  Java 17 is compatible with PySpark 3.5</green>", "",
       "<red>  databricks-connect 15.4.3 and pyspark 3.5.0 are installed together: they overwrite "
       "each other's pyspark package</red>",
       "  Databricks says databricks-connect and pyspark are mutually exclusive.",
       "  Keep one: run 'pip uninstall -y databricks-connect pyspark', then one of:",
       "    pip install \"databricks-connect==15.4.*\"", "    pip install pyspark==3.5.0", ""}))
      << f.console.text();
  const auto document = check_json(f.task().check_report());
  EXPECT_EQ(document["conflicts"].size(), 2u);
  EXPECT_EQ(document["compatible"], true);  // Java fits; the installation does not

  TaskFixture g;
  g.compat.install(newest("3.5"));
  g.compat.distributions = {dist("pyspark", "3.5.1"), dist("pyspark", newest("3.5"))};
  g.compat.java = JavaInfo{17, "Debian", "/jdk17"};
  EXPECT_FALSE(g.task().check());
  EXPECT_TRUE(
      has_block(g.console.lines,
                {"  Keep one: run 'pip uninstall -y pyspark' until pip says none is "
                 "installed, then one of:",
                 "    pip install pyspark==3.5.1", "    pip install pyspark==" + newest("3.5")}))
      << g.console.text();
}

TEST(CheckFlavour, SparkHomeOfAnotherSparkFails) {
  struct Case {
    std::string name;
    std::string version;  // "" where the distribution does not say
    bool spark_submit;
    bool ok;
    std::string line;
  } cases[] = {
      {"same version", newest("3.5"), true, true, ""},
      {"another version", "3.3.2", true, false,
       "<red>  SPARK_HOME is /opt/spark (Spark 3.3.2): PySpark " + newest("3.5") +
           " will launch that Spark, not "
           "its own</red>"},
      {"no spark-submit", newest("3.5"), false, false,
       "<red>  SPARK_HOME is /opt/spark, which has no bin/spark-submit: PySpark will fail to "
       "launch Spark there</red>"},
      {"version unknown", "", true, true, ""},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.install(newest("3.5"));
    f.compat.java = JavaInfo{17, "Debian", "/jdk17"};
    SparkDistribution spark;
    if (!c.version.empty()) spark.version = c.version;
    spark.has_spark_submit = c.spark_submit;
    f.compat.spark_home_found = SparkHomeFinding{"/opt/spark", spark};
    EXPECT_EQ(f.task().check(), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(f.console.lines.size(), 16u) << c.name;  // the healthy report, unchanged
    } else {
      EXPECT_TRUE(ends_with_block(f.console.lines,
                                  {c.line,
                                   "  Unset SPARK_HOME (PySpark then launches its own Spark), or "
                                   "point it at Spark " +
                                       newest("3.5"),
                                   ""}))
          << c.name << "\n"
          << f.console.text();
    }
    EXPECT_EQ(check_json(f.task().check_report())["spark_home"]["mismatch"], !c.ok) << c.name;
  }
}

TEST(SetVersionFlavour, ClientStaysClientAndIsCheckedByImport) {
  TaskFixture f;
  f.compat.install(newest("4.0"));
  f.compat.distributions = {dist("pyspark-client", newest("4.0"))};
  f.compat.java = JavaInfo{11, "Debian", "/jdk11"};  // no Java warning: the client needs none
  f.runner.smoke_outcome = {0, "plo-version:" + newest("4.1") + "\n", "", false, false};
  EXPECT_TRUE(f.task().set_version(newest("4.1")));
  EXPECT_THAT(f.runner.steps(), ElementsAre("uninstall", "install:" + newest("4.1"), "smoke"));
  EXPECT_EQ(f.runner.runs[0].argv.at(4), "pyspark-client");
  EXPECT_EQ(f.runner.runs[1].argv.at(4), "pyspark-client==" + newest("4.1"));
  EXPECT_NE(f.runner.runs[2].argv.at(2).find("import pyspark"), std::string::npos);
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"<green>PySpark " + newest("4.1") + " installed successfully</green>",
       "<green>  Import verified (Spark Connect client: no local Java needed)</green>", ""}))
      << f.console.text();
}

TEST(SetVersionFlavour, ClientThatDoesNotImportOffersTheRollback) {
  TaskFixture f;
  f.compat.install(newest("4.0"));
  f.compat.distributions = {dist("pyspark-client", newest("4.0"))};
  f.runner.smoke_outcome = {1, "",
                            "Traceback (most recent call last):\nModuleNotFoundError: No module "
                            "named 'pandas'\n",
                            false, false};
  f.console.answers = {std::string("y")};
  EXPECT_FALSE(f.task().set_version(newest("4.1")));
  EXPECT_THAT(f.runner.steps(), ElementsAre("uninstall", "install:" + newest("4.1"), "smoke",
                                            "uninstall", "install:" + newest("4.0")));
  EXPECT_TRUE(has_block(f.console.lines, {"<red>PySpark " + newest("4.1") +
                                          " cannot be imported: "
                                          "ModuleNotFoundError: No module named 'pandas'</red>"}))
      << f.console.text();
  EXPECT_TRUE(
      has_block(f.console.lines, {"<green>Restored PySpark " + newest("4.0") + "</green>"}));
}

TEST(SetVersionFlavour, RefusedWhereItCannotKeepTheFlavour) {
  struct Case {
    std::string name;
    std::string installed;
    std::vector<PySparkDistribution> found;
    std::string version;
    std::string first_line;
  } cases[] = {
      {"over databricks-connect",
       "3.5.0",
       {dist("databricks-connect", "15.4.3")},
       newest("3.5"),
       "<red>databricks-connect 15.4.3 provides pyspark here: plo does not install pyspark over "
       "it</red>"},
      {"a client before 4.0",
       newest("4.1"),
       {dist("pyspark-client", newest("4.1"))},
       newest("3.5"),
       "<red>pyspark-client (the Spark Connect client) provides pyspark here, and it exists from "
       "4.0 on: there is no pyspark-client " +
           newest("3.5") + "</red>"},
      {"a conflict",
       newest("4.1"),
       {dist("pyspark", newest("4.1")), dist("pyspark-client", newest("4.1"))},
       newest("4.0"),
       "<red>  pyspark " + newest("4.1") + " and pyspark-client " + newest("4.1") +
           " are installed together: they overwrite each "
           "other's pyspark package</red>"},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.install(c.installed);
    f.compat.distributions = c.found;
    EXPECT_FALSE(f.task().set_version(c.version)) << c.name;
    EXPECT_TRUE(f.runner.runs.empty()) << c.name;  // nothing changed
    EXPECT_TRUE(has_block(f.console.lines, {c.first_line})) << c.name << "\n" << f.console.text();
  }
}

ComputeRecord databricks_compute() {
  return ComputeRecord{"databricks", std::map<std::string, std::string, std::less<>>{
                                         {"host", "adb-1.azuredatabricks.net"}}};
}

// match-cluster on a Databricks cluster whose runtime is known recommends databricks-connect.
TEST(MatchDatabricks, RecommendsTheDatabricksConnectOfTheRuntime) {
  struct Case {
    std::string name;
    std::string installed;
    std::vector<PySparkDistribution> found;
    bool match;
    std::vector<std::string> block;
  } cases[] = {
      {"databricks-connect of an older runtime",
       "3.5.0",
       {dist("databricks-connect", "14.3.1")},
       false,
       {"  Driver (local): Databricks Connect 14.3", "  Cluster:        Databricks Runtime 15.4",
        "", "<yellow>Recommendation:</yellow>", "  pip install \"databricks-connect==15.4.*\"",
        ""}},
      {"databricks-connect of the runtime",
       "3.5.0",
       {dist("databricks-connect", "15.4.3")},
       true,
       {"  Databricks Connect 15.4.3", "", "<green>  Versions match!</green>", ""}},
      {"classic pyspark of another line",
       newest("4.1"),
       {dist("pyspark", newest("4.1"))},
       false,
       {"<yellow>Recommendation:</yellow>",
        "  Databricks Connect replaces pyspark: pip uninstall -y pyspark, then",
        "  pip install \"databricks-connect==15.4.*\"", ""}},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.computes["analytics"] = databricks_compute();
    f.databricks_runtime = "15.4.x-scala2.12";
    f.compat.install(c.installed);
    f.compat.distributions = c.found;
    EXPECT_EQ(f.task().match_cluster("analytics"), c.match) << c.name;
    EXPECT_TRUE(
        has_block(f.console.lines, {"  Spark Version: 3.5.0", "  Runtime:       Databricks 15.4"}))
        << c.name;
    EXPECT_TRUE(ends_with_block(f.console.lines, c.block)) << c.name << "\n" << f.console.text();
    EXPECT_EQ(std::count(f.compat.calls.begin(), f.compat.calls.end(), "get_current_java"), 0)
        << c.name;
    const auto document = match_json(f.task().match_report("analytics"));
    EXPECT_EQ(document["databricks"]["runtime"], "15.4") << c.name;
    if (!c.match) {
      EXPECT_EQ(document["recommendation"], "databricks-connect==15.4.*") << c.name;
    }
  }

  // Without an answer from the cluster the report is the one without credentials.
  TaskFixture g;
  g.computes["analytics"] = databricks_compute();
  g.compat.install("3.5.0");
  EXPECT_FALSE(g.task().match_cluster("analytics"));
  EXPECT_TRUE(has_block(g.console.lines, {"<yellow>  Could not detect cluster version</yellow>"}));

  // --install does not lay pyspark where databricks-connect is what fits.
  TaskFixture h;
  h.computes["analytics"] = databricks_compute();
  h.databricks_runtime = "15.4.x-scala2.12";
  h.compat.install(newest("4.1"));
  EXPECT_FALSE(h.task().match_cluster("analytics", true));
  EXPECT_TRUE(h.runner.runs.empty());
}

}  // namespace
}  // namespace plo::testing
