#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "catalogue_meaning.h"
#include "fakes.h"

namespace plo {
namespace {

using testing::ComputeFixture;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::newest;
using ::testing::Not;

const char* kComputes = R"(computes:
  zeta:
    config:
      master: spark://m1:7077,m2:7078
  dev:
    config:
      master: local[*]
  connect:
    config:
      master: sc://10.1.2.3/;token=s3cret;user_id=ann
  analytics:
    type: databricks
    config:
      host: adb-1.7.azuredatabricks.net
      cluster_id: 0123-abc
  plainhttp:
    type: databricks
    config:
      host: http://adb-2.azuredatabricks.net
      token: t0k
      cluster_id: c
  bare:
    type: spark
)";

class ComputeTaskTest : public ::testing::Test {
 protected:
  // Each test in a folder of its own: ctest runs them side by side, and some edit the file.
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "plo-compute-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern + "/";
    f.path = dir + "computes.yml";
    std::ofstream(f.path) << kComputes;
    f.env["HOME"] = "/home/ann";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  nlohmann::json json_of() { return nlohmann::json::parse(f.console.text()); }

  ComputeFixture f;
  std::string dir;
};

TEST_F(ComputeTaskTest, ListKeepsFileOrderAndMasksTokens) {
  EXPECT_TRUE(f.task().list(true));
  const auto doc = json_of();
  EXPECT_EQ(doc["file"], f.path);
  std::vector<std::string> names;
  for (const auto& c : doc["computes"]) names.push_back(c["name"]);
  EXPECT_THAT(names, ElementsAre("zeta", "dev", "connect", "analytics", "plainhttp", "bare"));
  EXPECT_EQ(doc["computes"][0]["type"], "spark");
  EXPECT_TRUE(doc["computes"][0]["host"].is_null());
  EXPECT_EQ(doc["computes"][2]["master"], "sc://10.1.2.3/;token=***;user_id=ann");
  EXPECT_EQ(doc["computes"][3]["cluster_id"], "0123-abc");

  f.console.lines.clear();
  EXPECT_TRUE(f.task().list(false));
  EXPECT_THAT(f.console.text(), Not(HasSubstr("s3cret")));
  EXPECT_THAT(f.console.text(), HasSubstr("  <cyan>analytics</cyan> (databricks)\n"));
}

TEST_F(ComputeTaskTest, ListWithoutFileShowsWhereAndAnExample) {
  f.path = dir + "no-such-dir/computes.yml";
  EXPECT_TRUE(f.task().list(false));
  EXPECT_THAT(f.console.text(), HasSubstr("$PLO_HOME/computes.yml"));
  EXPECT_THAT(f.console.text(), HasSubstr("      prod-spark:\n"));
  f.console.lines.clear();
  EXPECT_TRUE(f.task().list(true));
  EXPECT_TRUE(json_of()["computes"].empty());

  std::ofstream(f.path = dir + "bad-computes.yml") << "computes: [x\n";
  f.console.lines.clear();
  EXPECT_FALSE(f.task().list(false));
  EXPECT_THAT(f.console.text(), HasSubstr("<red>Error loading compute config: "));
  EXPECT_THROW(f.task().list(true), std::runtime_error);
}

TEST_F(ComputeTaskTest, HaMastersOneDead) {
  f.masters.by_host["m2"] = {.connected = true,
                             .connect_ms = 2,
                             .status = "ALIVE",
                             .alive_workers = 3,
                             .cores = 24,
                             .ui_ms = 4,
                             .version = "3.5.1",
                             .version_source = "REST 6066"};
  EXPECT_TRUE(f.task().test("zeta", false));
  ASSERT_EQ(f.masters.calls.size(), 1u);  // both masters in one batch
  EXPECT_EQ(f.masters.calls[0].size(), 2u);
  const std::string text = f.console.text();
  EXPECT_THAT(text, HasSubstr("  <cyan>spark://m1:7077</cyan>\n"
                              "    Master port 7077: not reachable (connection refused)\n"));
  EXPECT_THAT(text, HasSubstr("  <cyan>spark://m2:7078</cyan>\n"
                              "    Master port 7078: connected in 2 ms\n"
                              "    Status: ALIVE, 3 alive workers, 24 cores (web UI /json/, 4 ms)\n"
                              "    Spark: 3.5.1 (REST 6066)\n"));
  EXPECT_THAT(text, HasSubstr("<green>  Compute answered</green>"));
  EXPECT_THAT(f.reports, ElementsAre("3.5.1"));

  f.console.lines.clear();
  f.compat.install(newest("3.4"));
  EXPECT_TRUE(f.task().test("zeta", true));
  const auto doc = json_of();
  EXPECT_EQ(doc["reachable"], true);
  EXPECT_EQ(doc["spark_version"], "3.5.1");
  EXPECT_EQ(doc["match"], false);
  EXPECT_EQ(doc["endpoints"][0]["reachable"], false);
  EXPECT_EQ(doc["endpoints"][0]["error"], "connection refused");
  EXPECT_TRUE(doc["endpoints"][0]["latency_ms"].is_null());
  EXPECT_EQ(doc["endpoints"][1]["status"], "ALIVE");
  EXPECT_EQ(doc["endpoints"][1]["latency_ms"], 2);
}

TEST_F(ComputeTaskTest, NoMasterAnswersAndUnknownNames) {
  EXPECT_FALSE(f.task().test("zeta", false));
  EXPECT_THAT(f.console.text(), HasSubstr("<red>  Compute did not answer</red>"));
  EXPECT_TRUE(f.reports.empty());

  f.console.lines.clear();
  EXPECT_FALSE(f.task().test("nope", true));
  const auto doc = json_of();
  EXPECT_EQ(doc["error"], "Compute 'nope' not found in computes.yml");
  EXPECT_TRUE(doc["type"].is_null());

  f.console.lines.clear();
  EXPECT_FALSE(f.task().test("bare", false));
  EXPECT_THAT(f.console.text(), HasSubstr("Nothing to test"));
}

TEST_F(ComputeTaskTest, SparkConnectVersionAndErrors) {
  f.spark_connect.answer = {
      .reachable = true, .latency_ms = 5, .grpc_status = 0, .version = "3.5.2"};
  EXPECT_TRUE(f.task().test("connect", false));
  ASSERT_EQ(f.spark_connect.calls.size(), 1u);
  EXPECT_EQ(f.spark_connect.calls[0].token, "s3cret");
  EXPECT_EQ(f.spark_connect.calls[0].user_id, "ann");
  EXPECT_THAT(f.console.text(), HasSubstr("  Master URL:  sc://10.1.2.3/;token=***;user_id=ann\n"));
  EXPECT_THAT(f.console.text(), Not(HasSubstr("s3cret")));
  EXPECT_THAT(f.console.text(), HasSubstr("    AnalyzePlan: answered in 5 ms, grpc-status 0 OK\n"
                                          "    Spark: 3.5.2\n"));
  EXPECT_THAT(f.reports, ElementsAre("3.5.2"));

  f.console.lines.clear();
  f.spark_connect.answer = {.reachable = true,
                            .latency_ms = 1,
                            .grpc_status = 14,
                            .grpc_message = "down\x1b[2J",
                            .error = "grpc-status 14 UNAVAILABLE: down\x1b[2J"};
  EXPECT_FALSE(f.task().test("connect", true));
  const auto doc = json_of();
  EXPECT_EQ(doc["endpoints"][0]["url"], "sc://10.1.2.3:15002");
  EXPECT_EQ(doc["endpoints"][0]["reachable"], true);
  EXPECT_EQ(doc["endpoints"][0]["status"], "grpc-status 14 UNAVAILABLE");
  EXPECT_EQ(doc["endpoints"][0]["error"], "grpc-status 14 UNAVAILABLE: down\\x1b[2J");
  EXPECT_TRUE(doc["match"].is_null());

  f.console.lines.clear();
  EXPECT_FALSE(f.task().test("connect", false));
  EXPECT_THAT(f.console.text(), Not(HasSubstr("\x1b")));
}

TEST_F(ComputeTaskTest, DatabricksWithCredentials) {
  f.env["DATABRICKS_TOKEN"] = "dapi-secret";
  f.env["DATABRICKS_HOST"] = "HTTPS://adb-1.7.azuredatabricks.net:443/";  // the same host
  f.databricks.by_path["/api/2.1/clusters/get?cluster_id=0123-abc"] = {
      .reachable = true,
      .status = 200,
      .latency_ms = 7,
      .body = R"({"cluster_id": "0123-abc", "state": "RUNNING",
                  "spark_version": "15.4.x-scala2.12"})"};
  f.databricks.by_path["/api/2.1/clusters/spark-versions"] = {
      .reachable = true,
      .status = 200,
      .latency_ms = 3,
      .body = R"json({"versions": [{"key": "15.4.x-scala2.12",
                  "name": "15.4 LTS (includes Apache Spark 3.5.0, Scala 2.12)"}]})json"};
  f.databricks_connect = "16.4.1";
  EXPECT_TRUE(f.task().test("analytics", false));
  EXPECT_THAT(f.databricks.calls,
              ElementsAre("https://adb-1.7.azuredatabricks.net "
                          "/api/2.1/clusters/get?cluster_id=0123-abc dapi-secret",
                          "https://adb-1.7.azuredatabricks.net "
                          "/api/2.1/clusters/spark-versions dapi-secret"));
  const std::string text = f.console.text();
  EXPECT_THAT(text, Not(HasSubstr("dapi-secret")));
  EXPECT_THAT(text, HasSubstr("  Token from:  DATABRICKS_TOKEN (not shown)\n"));
  EXPECT_THAT(text, HasSubstr("Answered in 7 ms: state RUNNING, runtime 15.4.x-scala2.12"));
  EXPECT_THAT(text, HasSubstr("  databricks-connect 16.4.1 is newer than runtime 15.4: "
                              "pip install \"databricks-connect==15.4.*\"\n"));
  EXPECT_THAT(f.reports, ElementsAre("3.5.0"));

  f.console.lines.clear();
  f.databricks.by_path["/api/2.1/clusters/get?cluster_id=0123-abc"] = {
      .reachable = true,
      .status = 401,
      .latency_ms = 1,
      .body = R"({"error_code": "UNAUTHENTICATED", "message": "Invalid access token."})"};
  EXPECT_FALSE(f.task().test("analytics", true));
  const auto doc = json_of();
  EXPECT_EQ(doc["endpoints"][0]["error"],
            "HTTP 401 (the token was refused): Invalid access token.");
  EXPECT_EQ(doc["endpoints"].size(), 1u);
}

TEST_F(ComputeTaskTest, DatabricksWithoutCredentialsOrOverPlainHttp) {
  EXPECT_FALSE(f.task().test("analytics", false));
  EXPECT_THAT(f.console.text(), HasSubstr("Missing Databricks credentials: token"));
  EXPECT_THAT(f.console.text(), HasSubstr("DATABRICKS_TOKEN"));
  EXPECT_THAT(f.console.text(), HasSubstr("[DEFAULT] profile of /home/ann/.databrickscfg"));
  EXPECT_TRUE(f.databricks.calls.empty());

  f.console.lines.clear();
  EXPECT_FALSE(f.task().test("plainhttp", false));
  EXPECT_THAT(f.console.text(), HasSubstr("refusing to send the token over plain http"));
  EXPECT_TRUE(f.databricks.calls.empty());
}

TEST_F(ComputeTaskTest, LocalMasterIsTheLocalPySpark) {
  EXPECT_FALSE(f.task().test("dev", false));
  EXPECT_THAT(f.console.text(), HasSubstr("PySpark is not installed"));
  f.compat.install(newest("4.1"));
  f.console.lines.clear();
  EXPECT_TRUE(f.task().test("dev", true));
  EXPECT_EQ(json_of()["match"], true);
}

TEST_F(ComputeTaskTest, AddAndRemoveEditTheFile) {
  f.path = dir + "edit-home/sub/computes.yml";
  std::remove(f.path.c_str());
  EXPECT_TRUE(f.task().add({"prod", std::nullopt, "spark://m:7077", std::nullopt, std::nullopt}));
  EXPECT_FALSE(f.task().add({"prod", std::nullopt, "local", std::nullopt, std::nullopt}));
  EXPECT_FALSE(f.task().add({"x", std::nullopt, "localhost:7077", std::nullopt, std::nullopt}));
  EXPECT_FALSE(f.task().add({"x", std::nullopt, std::nullopt, "bad host", std::nullopt}));
  EXPECT_THAT(f.console.text(), HasSubstr("<red>Not added: a compute named 'prod' is already"));
  EXPECT_TRUE(f.task().remove("prod"));
  EXPECT_FALSE(f.task().remove("prod"));
  std::ifstream in(f.path);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "computes:\n");
  std::ifstream bak(f.path + ".bak");
  const std::string previous((std::istreambuf_iterator<char>(bak)), {});
  EXPECT_EQ(previous, "computes:\n  prod:\n    config:\n      master: spark://m:7077\n");
}

TEST(MatchCluster, SparkConnectIsTheFourthPath) {
  testing::TaskFixture f;
  f.computes["connect"] = {std::nullopt, {{{"master", "sc://h:15002"}}}};
  f.computes["both"] = {std::nullopt,
                        {{{"master", "sc://h"}, {"host", "adb-1.azuredatabricks.net"}}}};
  std::vector<std::string> asked;
  auto task = [&](std::optional<std::string> version) {
    TaskServices services{
        .console = f.console,
        .compat = f.compat,
        .runner = f.runner,
        .interpreter = [] { return std::string("/venv/bin/python"); },
        .compute_registry = [&f]() -> std::unique_ptr<ComputeRegistry> {
          auto r = std::make_unique<testing::FakeRegistry>();
          r->computes = f.computes;
          return r;
        },
        .databricks = [] { return std::make_unique<testing::FakeDatabricks>(false); },
        .spark_connect_version =
            [&asked, version](const std::string& url) {
              asked.push_back(url);
              return version;
            }};
    return SparkTask(services);
  };
  f.compat.install(newest("3.5"));
  EXPECT_TRUE(task("3.5.2").match_cluster("connect"));
  EXPECT_THAT(f.console.text(), HasSubstr("  Spark Version: 3.5.2\n"));
  EXPECT_THAT(asked, ElementsAre("sc://h:15002"));

  f.console.lines.clear();
  EXPECT_FALSE(task(std::nullopt).match_cluster("connect"));
  EXPECT_THAT(f.console.text(), HasSubstr("  Could not detect cluster version"));
  EXPECT_EQ(f.console.lines.size(), 21u);

  // The Databricks path comes first and stays as it was.
  f.console.lines.clear();
  EXPECT_FALSE(task("3.5.2").match_cluster("both"));
  EXPECT_THAT(f.console.text(), HasSubstr("  Databricks cluster detected"));
  EXPECT_EQ(asked.size(), 2u);
}

}  // namespace
}  // namespace plo
