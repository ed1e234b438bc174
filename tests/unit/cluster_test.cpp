#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "blocks.h"
#include "catalogue/runtimes.h"
#include "catalogue_meaning.h"
#include "fakes.h"
#include "probes/cluster_detect.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;

ComputeRecord record(std::optional<std::string> type,
                     std::optional<std::map<std::string, std::string, std::less<>>> config) {
  return ComputeRecord{std::move(type), std::move(config)};
}

TEST(MatchCluster, UndefinedNameTouchesNothingElse) {
  TaskFixture f;
  EXPECT_FALSE(f.task().match_cluster("my cluster "));
  EXPECT_EQ(f.console.text(), "\n<cyan!>Checking cluster compatibility: my cluster </cyan!>\n" +
                                  std::string(50, '=') +
                                  "\n\n<red>Compute 'my cluster ' not found in computes.yml</red>\n"
                                  "  Run 'plo compute list' to see available compute engines\n\n");
  EXPECT_TRUE(f.compat.calls.empty());
  EXPECT_EQ(f.databricks_loads, 0);
}

TEST(MatchCluster, RegistryErrorIsReported) {
  TaskFixture f;
  f.registry_error = "computes.yml: not valid YAML (line 3, column 1)";
  EXPECT_FALSE(f.task().match_cluster("prod"));
  ASSERT_EQ(f.console.lines.size(), 6u);
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"",
       "<red>Error loading compute config: computes.yml: not valid YAML (line 3, column 1)</red>",
       ""}));
}

TEST(MatchCluster, NotDetectedReportsCountLinesPerPath) {
  struct Case {
    std::string name;
    ComputeRecord compute;
    size_t lines;
    bool databricks_installed;
  } cases[] = {
      {"no config", record(std::nullopt, std::nullopt), 20, false},
      {"silent master", record("spark", {{{"master", "spark://h:7077"}}}), 21, false},
      {"unknown master", record("spark", {{{"master", "yarn"}, {"host", "edge"}}}), 22, false},
      {"databricks", record("databricks", {{{"host", "MyDataBricksWorkspace"}}}), 24, false},
      {"databricks ok", record(std::nullopt, {{{"host", "adb.azuredatabricks.net"}}}), 24, true},
      {"local without pyspark", record(std::nullopt, {{{"master", "local[4]"}}}), 21, false},
      {"empty master", record(std::nullopt, {{{"master", ""}}}), 20, false},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.computes["c"] = c.compute;
    f.databricks_installed = c.databricks_installed;
    EXPECT_FALSE(f.task().match_cluster("c")) << c.name;
    EXPECT_EQ(f.console.lines.size(), c.lines) << c.name << "\n" << f.console.text();
    EXPECT_TRUE(ends_with_block(f.console.lines,
                                {"  Try:", "    - Start the cluster",
                                 "    - Run 'plo compute test c' to verify connectivity", ""}))
        << c.name;
  }
}

TEST(MatchCluster, ComputeBlockAndDatabricksHints) {
  TaskFixture f;
  f.computes["analytics"] = record("databricks", {{{"host", "adb-1.azuredatabricks.net"}}});
  f.databricks_installed = true;
  f.task().match_cluster("analytics");
  EXPECT_THAT(std::vector<std::string>(f.console.lines.begin() + 4, f.console.lines.begin() + 12),
              ElementsAre("  Compute:     analytics", "  Type:        databricks",
                          "  Host:        adb-1.azuredatabricks.net", "",
                          "Connecting to cluster...", "<blue>  Databricks cluster detected</blue>",
                          "  Note: Version detection requires active connection",
                          "  Run 'plo compute test analytics' to verify connectivity"));
  TaskFixture g;
  g.computes["analytics"] = record(std::nullopt, {{{"host", "adb.databricks.com"}}});
  g.task().match_cluster("analytics");
  EXPECT_TRUE(has_block(
      g.console.lines,
      {"  Compute:     analytics", "  Type:        spark", "  Host:        adb.databricks.com", "",
       "Connecting to cluster...", "<blue>  Databricks cluster detected</blue>",
       "  Note: Version detection requires active connection",
       "  Install databricks-connect for full support", ""}));
}

TEST(MatchCluster, StandaloneWinsOverDatabricksHost) {
  TaskFixture f;
  f.computes["c"] = record("databricks", {{{"master", "spark://m:7077"}, {"host", "databricks"}}});
  EXPECT_FALSE(f.task().match_cluster("c"));
  EXPECT_THAT(f.compat.calls, ElementsAre("detect:spark://m:7077"));
  EXPECT_EQ(f.databricks_loads, 0);
}

TEST(MatchCluster, DatabricksTypeWithoutDatabricksHostIsNotDetected) {
  TaskFixture f;
  f.computes["c"] = record("databricks", {{{"host", "example.com"}}});
  EXPECT_FALSE(f.task().match_cluster("c"));
  EXPECT_EQ(f.databricks_loads, 0);
}

TEST(MatchCluster, LocalMasterUsesTheLocalPySpark) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.computes["dev"] = record(std::nullopt, {{{"master", "local[*]"}}});
  EXPECT_TRUE(f.task().match_cluster("dev"));
  EXPECT_TRUE(has_block(f.console.lines, {"Connecting to cluster...",
                                          "<blue>  (Local mode - using PySpark version)</blue>", "",
                                          "<cyan!>Cluster Information</cyan!>"}));
  EXPECT_TRUE(ends_with_block(f.console.lines, {"<green>  Versions match!</green>", ""}));
}

TEST(MatchCluster, OutsideTextIsShownEscaped) {
  TaskFixture f;
  f.computes["c\x1b[2J"] = record("sp\x07rk", {{{"master", "yarn\x1b]0;x\x07"},
                                                {"host",
                                                 "edge\xc2\x9b"
                                                 "2J"}}});
  EXPECT_FALSE(f.task().match_cluster("c\x1b[2J"));
  EXPECT_THAT(std::vector<std::string>(f.console.lines.begin() + 4, f.console.lines.begin() + 8),
              ElementsAre("  Compute:     c\\x1b[2J", "  Type:        sp\\x07rk",
                          "  Master URL:  yarn\\x1b]0;x\\x07", "  Host:        edge\\xc2\\x9b2J"));
  EXPECT_EQ(f.console.text().find('\x1b'), std::string::npos) << f.console.text();
  TaskFixture g;
  g.registry_error = "computes.yml: the setting 'a\x1b[2J' of 'b' is not a single value";
  g.task().match_cluster("b");
  EXPECT_EQ(g.console.lines[4],
            "<red>Error loading compute config: computes.yml: the setting 'a\\x1b[2J' of 'b' is "
            "not a single value</red>");
}

// The wait for a cluster can last seconds: the user sees what is asked before it answers.
TEST(MatchCluster, ComputeBlockIsShownBeforeTheClusterIsAsked) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.cluster_version = "3.5.1";
  f.computes["prod"] = record(std::nullopt, {{{"master", "spark://h:7077"}}});
  std::vector<std::string> shown_while_asking;
  f.compat.on_detect = [&] { shown_while_asking = f.console.lines; };
  EXPECT_TRUE(f.task().match_cluster("prod"));
  ASSERT_FALSE(shown_while_asking.empty());
  EXPECT_EQ(shown_while_asking.back(), "Connecting to cluster...");
  EXPECT_TRUE(has_block(f.console.lines,
                        {"Connecting to cluster...", "", "<cyan!>Cluster Information</cyan!>"}));
}

TEST(MatchCluster, LocalhostMasterIsNoLocalMaster) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.computes["c"] = record(std::nullopt, {{{"master", "localhost:7077"}}});
  EXPECT_FALSE(f.task().match_cluster("c"));
  EXPECT_TRUE(f.compat.calls.empty());
  EXPECT_EQ(f.console.lines[10], "<yellow>  Could not detect cluster version</yellow>");
}

// The cluster version report, counted as its own lines after the compute part.
TEST(ClusterReport, LineCountsAndResults) {
  struct Case {
    std::string name;
    std::string cluster;
    std::optional<std::string> local;
    std::optional<int> java;
    size_t report_lines;
    bool result;
  } cases[] = {
      {"not installed", "3.5.1", std::nullopt, 17, 11, false},
      {"match", "3.5.0", "3.5.3", 17, 12, true},
      {"mismatch without record", "9.1.0", newest("3.5"), 17, 18, false},
      {"mismatch no java", "3.4.1", newest("3.5"), std::nullopt, 21, false},
      {"mismatch fitting java", "3.4.1", newest("3.5"), 17, 22, false},
      {"mismatch other java", "4.0.0", newest("3.5"), 11, 23, false},
      {"no dot", "3", "3.0.1", 17, 18, false},
      {"texts not numbers", "3.10.0", "3.1.0", 17, 18, false},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    if (c.local) f.compat.install(*c.local);
    if (c.java) f.compat.java = JavaInfo{*c.java, "v", "/jdk"};
    f.compat.cluster_version = c.cluster;
    f.computes["c"] = record(std::nullopt, {{{"master", "spark://m:7077"}}});
    EXPECT_EQ(f.task().match_cluster("c"), c.result) << c.name;
    EXPECT_EQ(f.console.lines.size() - 9, c.report_lines) << c.name << "\n" << f.console.text();
  }
}

TEST(ClusterReport, MismatchNamesMajorMinorsAndJava) {
  TaskFixture f;
  f.compat.install("3.5.1");
  f.compat.java = JavaInfo{25, "v", "/jdk"};
  f.compat.cluster_version = "3.4.1";
  f.computes["c"] = record(std::nullopt, {{{"master", "spark://m:7077"}}});
  EXPECT_FALSE(f.task().match_cluster("c"));
  const std::vector<std::string> tail(f.console.lines.end() - 16, f.console.lines.end());
  EXPECT_THAT(tail,
              ElementsAre("  Driver (local): PySpark 3.5.1", "  Cluster:        Spark 3.4.1", "",
                          "<red!>  VERSION MISMATCH!</red!>", "", "  Driver (local): PySpark 3.5",
                          "  Cluster:        Spark 3.4", "", "<yellow>Recommendation:</yellow>",
                          "  Run 'plo spark set-version' and select PySpark 3.4.x", "",
                          "<yellow>Java Note:</yellow>", "  PySpark 3.4 requires Java 8, 11, 17",
                          "  Current Java 25 is NOT compatible",
                          "  Run 'plo java set' to select a compatible version", ""));
}

TEST(ClusterReport, NoJavaLookupWithoutARecord) {
  TaskFixture f;
  f.compat.install("3.5.1");
  f.compat.cluster_version = "14.3.x-scala2.12";
  f.computes["c"] = record(std::nullopt, {{{"master", "spark://m:7077"}}});
  f.task().match_cluster("c");
  EXPECT_EQ(std::count(f.compat.calls.begin(), f.compat.calls.end(), "get_current_java"), 0);
  EXPECT_TRUE(ends_with_block(f.console.lines,
                              {"<yellow>Recommendation:</yellow>",
                               "  Run 'plo spark set-version' and select PySpark 14.3.x", ""}));
}

}  // namespace
}  // namespace plo::testing

namespace plo::testing {
namespace {

ComputeRecord master(const std::string& url) {
  return ComputeRecord{std::nullopt,
                       std::map<std::string, std::string, std::less<>>{{"master", url}}};
}

TEST(MatchReport, WhatIsFoundOnEachPath) {
  struct Case {
    std::string name;
    std::optional<ComputeRecord> compute;
    std::optional<std::string> cluster;
    std::optional<std::string> local;
    DetectionPath path;
    bool compared;
    bool match;
  } cases[] = {
      {"undefined", std::nullopt, std::nullopt, newest("3.5"), DetectionPath::None, false, false},
      {"silent master", master("spark://m:7077"), std::nullopt, newest("3.5"),
       DetectionPath::Standalone, false, false},
      {"match", master("spark://m:7077"), "3.5.1", newest("3.5"), DetectionPath::Standalone, true,
       true},
      {"mismatch", master("spark://m:7077"), "4.1.0", newest("3.5"), DetectionPath::Standalone,
       true, false},
      {"local", master("local[2]"), std::nullopt, newest("4.1"), DetectionPath::Local, true, true},
      {"local without pyspark", master("local"), std::nullopt, std::nullopt, DetectionPath::Local,
       false, false},
      {"databricks", record(std::nullopt, {{{"host", "x.databricks.com"}}}), std::nullopt,
       newest("3.5"), DetectionPath::Databricks, false, false},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    if (c.compute) f.computes["c"] = *c.compute;
    if (c.local) f.compat.install(*c.local);
    f.compat.cluster_version = c.cluster;
    const MatchReport report = f.task().match_report("c");
    EXPECT_EQ(report.compute.has_value(), c.compute.has_value()) << c.name;
    EXPECT_EQ(report.path, c.path) << c.name;
    EXPECT_EQ(report.comparison.has_value(), c.compared) << c.name;
    EXPECT_EQ(report.ok(), c.match) << c.name;
    EXPECT_TRUE(f.console.lines.empty()) << c.name;
  }
}

TEST(MatchReport, MismatchRecordsTheLineAndWhetherJavaFits) {
  struct Case {
    std::string cluster;
    std::optional<int> java;
    std::optional<std::vector<int>> supported;
    std::optional<bool> fits;
  } cases[] = {
      {"3.4.1", 17, std::vector<int>{8, 11, 17}, true},
      {"4.0.0", 11, std::vector<int>{17, 21}, false},
      {"4.0.0", std::nullopt, std::vector<int>{17, 21}, std::nullopt},
      {"14.3.x-scala2.12", 17, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.install(newest("3.5"));
    if (c.java) f.compat.java = JavaInfo{*c.java, "v", "/jdk"};
    f.compat.cluster_version = c.cluster;
    f.computes["c"] = master("spark://m:7077");
    const MatchReport report = f.task().match_report("c");
    ASSERT_TRUE(report.comparison) << c.cluster;
    EXPECT_EQ(report.comparison->cluster_major_minor, major_minor_of(c.cluster));
    EXPECT_EQ(report.comparison->java_supported, c.supported) << c.cluster;
    EXPECT_EQ(report.comparison->java_fits(), c.fits) << c.cluster;
  }
}

TEST(MatchReport, RegistryErrorAndBrokenClientAreKeptApart) {
  TaskFixture f;
  f.registry_error = "computes.yml: bad";
  const MatchReport report = f.task().match_report("c");
  EXPECT_EQ(report.registry_error, "computes.yml: bad");
  EXPECT_FALSE(report.error);  // reported, not raised

  // A Databricks client that fails to load ends the report after the lines before it.
  struct BrokenDatabricks : DatabricksClient {
    bool available() override { throw std::runtime_error("cannot load databricks-connect"); }
  };
  FakeConsole console;
  FakeCompat compat;
  FakeRunner runner{compat};
  SparkTask task({.console = console,
                  .compat = compat,
                  .runner = runner,
                  .interpreter = [] { return std::string("/venv/bin/python"); },
                  .compute_registry =
                      [] {
                        auto registry = std::make_unique<FakeRegistry>();
                        registry->computes["a"] = ComputeRecord{
                            "databricks", std::map<std::string, std::string, std::less<>>{
                                              {"host", "adb.azuredatabricks.net"}}};
                        return registry;
                      },
                  .databricks = [] { return std::make_unique<BrokenDatabricks>(); }});
  EXPECT_THROW(task.match_cluster("a"), std::runtime_error);
  EXPECT_TRUE(
      ends_with_block(console.lines, {"<blue>  Databricks cluster detected</blue>",
                                      "  Note: Version detection requires active connection"}));
}

}  // namespace
}  // namespace plo::testing

namespace plo::testing {
namespace {

std::string rest_url(const std::string& host) {
  return "http://" + host + ":6066/v1/submissions/status/plo-probe";
}
std::string ui_url(const std::string& host) {
  return "http://" + host + ":8080/";
}
HttpResponse rest_answer(const std::string& version) {
  return {200, R"({"action":"SubmissionStatusResponse","serverSparkVersion":")" + version + "\"}",
          false};
}
HttpResponse ui_answer(const std::string& version) {
  return {200, "<span class=\"version\">" + version + "</span>", false};
}

TEST(DetectClusterVersion, AllHostsAreAskedInOneBatch) {
  FakeHttp http;
  http.answers[rest_url("c")] = rest_answer("3.5.1");
  // a and b hang: they are asked beside c, not before it.
  EXPECT_EQ(detect_cluster_version("spark://a:7077,b:7077,c:7077", http), "3.5.1");
  ASSERT_EQ(http.batches.size(), 1u);
  std::vector<std::string> urls;
  for (const auto& request : http.batches[0]) urls.push_back(request.url);
  EXPECT_THAT(urls, ElementsAre(rest_url("a"), ui_url("a"), rest_url("b"), ui_url("b"),
                                rest_url("c"), ui_url("c")));
}

TEST(DetectClusterVersion, FirstHostInListOrderWins) {
  struct Case {
    std::string name;
    std::map<std::string, std::optional<HttpResponse>> answers;
    std::vector<std::string> first;
    std::optional<std::string> expected;
  } cases[] = {
      {"later host answers sooner",
       {{ui_url("a"), ui_answer("3.4.1")}, {rest_url("b"), rest_answer("3.5.1")}},
       {rest_url("b")},
       "3.4.1"},
      {"refused first host",
       {{rest_url("a"), std::nullopt},
        {ui_url("a"), std::nullopt},
        {ui_url("b"), ui_answer("4.2.0")}},
       {},
       "4.2.0"},
      {"web ui suffices while rest hangs",
       {{ui_url("a"), ui_answer("3.5.1")}, {rest_url("b"), rest_answer("4.0.0")}},
       {rest_url("b")},
       "3.5.1"},
      {"truncated rest ignored",
       {{rest_url("a"), HttpResponse{200, rest_answer("3.5.1").body, true}},
        {ui_url("a"), ui_answer("3.5.2")}},
       {},
       "3.5.2"},
      {"junk everywhere",
       {{rest_url("a"), HttpResponse{200, "<x>", false}},
        {ui_url("b"), HttpResponse{500, "\x1b[2J", false}}},
       {},
       std::nullopt},
  };
  for (const auto& c : cases) {
    FakeHttp http;
    http.answers = c.answers;
    http.first = c.first;
    EXPECT_EQ(detect_cluster_version("spark://a:7077,b:7077", http), c.expected) << c.name;
  }
}

TEST(DetectClusterVersion, StopsOnceTheWinnerIsKnown) {
  FakeHttp http;
  http.answers[rest_url("a")] = rest_answer("3.5.1");
  http.answers[ui_url("a")] = ui_answer("3.5.1");
  http.answers[rest_url("b")] = rest_answer("3.5.1");
  EXPECT_EQ(detect_cluster_version("spark://a,b", http), "3.5.1");
  EXPECT_EQ(http.delivered, 1u);
}

TEST(DetectClusterVersion, NoRequestForAnUnusableUrl) {
  FakeHttp http;
  EXPECT_EQ(detect_cluster_version("spark://a b:7077", http), std::nullopt);
  EXPECT_TRUE(http.batches.empty());
}

// A compute naming a managed runtime takes the table's Spark without asking anything; a master or
// host beside it keeps its own path. A Databricks runtime (by name or cluster key) keeps the
// databricks-connect advice.
TEST(MatchCluster, RuntimeComputesAskNothing) {
  const ManagedRuntime& glue = *find_runtime("glue-5.0");
  TaskFixture f;
  f.computes["etl"] = record("glue", {{{"runtime", glue.name}}});
  f.compat.install(glue.spark.substr(0, glue.spark.rfind('.')) + ".0");
  const MatchReport report = f.task().match_report("etl");
  EXPECT_EQ(report.path, DetectionPath::Runtime);
  ASSERT_TRUE(report.comparison.has_value());
  EXPECT_EQ(report.comparison->cluster_version, glue.spark);
  EXPECT_TRUE(report.ok());  // major.minor, as ever; `plo runtimes show` tells the patch
  EXPECT_TRUE(std::none_of(f.compat.calls.begin(), f.compat.calls.end(),
                           [](const std::string& call) { return call.starts_with("detect:"); }));
  EXPECT_EQ(f.databricks_loads, 0);
  f.task().match_cluster("etl");
  EXPECT_THAT(f.console.err_lines, ::testing::Contains("  Runtime:     " + glue.title));

  TaskFixture dbx;
  const ManagedRuntime& lts = *find_runtime("databricks-16.4-lts");
  dbx.computes["dbx"] = record("databricks", {{{"runtime", "16.4.x-scala2.12"}}});
  const MatchReport databricks = dbx.task().match_report("dbx");
  ASSERT_TRUE(databricks.comparison.has_value());
  EXPECT_EQ(databricks.comparison->cluster_version, lts.spark);
  EXPECT_EQ(databricks.databricks_runtime, "16.4");

  TaskFixture beside;
  beside.computes["c"] = record("glue", {{{"runtime", glue.name}, {"master", "spark://h:7077"}}});
  EXPECT_EQ(beside.task().match_report("c").path, DetectionPath::Standalone);

  TaskFixture unknown;
  unknown.computes["c"] = record("glue", {{{"runtime", "glue-9.9"}}});
  const MatchReport none = unknown.task().match_report("c");
  EXPECT_EQ(none.path, DetectionPath::Runtime);
  EXPECT_FALSE(none.comparison.has_value());
}

}  // namespace
}  // namespace plo::testing
