#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "compute/compute_target.h"
#include "fakes.h"
#include "probes/databricks_api.h"
#include "probes/databricks_config.h"
#include "probes/master_probe.h"
#include "probes/spark_connect_client.h"
#include "probes/spark_connect_proto.h"
#include "probes/spark_connect_url.h"

namespace plo {
namespace {

using ::testing::HasSubstr;
using ::testing::Optional;

// Spark's clients turn TLS on for a token; a token to this machine may go without it.
TEST(SparkConnectUrl, TokenTurnsTlsOnExceptToLoopback) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"sc://h.example.com", false},
      {"sc://h.example.com/;token=abc", true},
      {"sc://h.example.com/;use_ssl=false;token=abc", true},
      {"sc://h.example.com/;use_ssl=true", true},
      {"sc://10.1.2.3/;token=abc", true},
      {"sc://127.0.0.1:15002/;token=abc", false},
      {"sc://localhost/;token=abc", false},
      {"sc://[::1]/;token=abc", false},
      {"sc://127.0.0.1/;use_ssl=true;token=abc", true},
      {"sc://127.0.0.1.example.com/;token=abc", true},
  };
  for (const auto& [text, tls] : cases) {
    std::string error;
    const auto url = parse_spark_connect_url(text, error);
    ASSERT_TRUE(url) << text << ": " << error;
    EXPECT_EQ(uses_tls(*url), tls) << text;
  }
}

TEST(SparkConnectClient, SendsTheTokenOverTlsOrToLoopbackOnly) {
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"sc://h.example.com/;token=t", "https://h.example.com:15002/", true},
      {"sc://127.0.0.1:7/;token=t", "http://127.0.0.1:7/", true},
      {"sc://h.example.com", "http://h.example.com:15002/", false},
  };
  for (const auto& [text, prefix, authorized] : cases) {
    testing::FakeHttp http;
    std::string error;
    GrpcSparkConnectClient(http).spark_version(*parse_spark_connect_url(text, error),
                                               std::chrono::milliseconds(100));
    ASSERT_EQ(http.batches.size(), 1u) << text;
    const HttpRequest& request = http.batches[0].at(0);
    EXPECT_TRUE(request.url.starts_with(prefix)) << request.url;
    const bool sent = std::find(request.headers.begin(), request.headers.end(),
                                "Authorization: Bearer t") != request.headers.end();
    EXPECT_EQ(sent, authorized) << text;
  }
}

TEST(SparkConnectUrl, FollowsSparksConnectionStringRules) {
  struct Case {
    std::string url;
    std::string host;
    int port;
    bool use_ssl;
    std::optional<std::string> token;
    std::optional<std::string> user_id;
  };
  const std::vector<Case> cases = {
      {"sc://localhost", "localhost", 15002, false, {}, {}},
      {"sc://h.example.com:443/;use_ssl=true;token=abc", "h.example.com", 443, true, "abc", {}},
      {"sc://h/", "h", 15002, false, {}, {}},
      {"sc://h/;use_ssl=TRUE;user_id=ann;unknown=1", "h", 15002, true, {}, "ann"},
      {"sc://h/;Token=abc", "h", 15002, false, {}, {}},  // names are case-sensitive
      {"sc://[::1]:15003", "[::1]", 15003, false, {}, {}},
      {"sc://h/;use_ssl=yes", "h", 15002, false, {}, {}},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto url = parse_spark_connect_url(c.url, error);
    ASSERT_TRUE(url) << c.url << ": " << error;
    EXPECT_EQ(url->host, c.host) << c.url;
    EXPECT_EQ(url->port, c.port) << c.url;
    EXPECT_EQ(url->use_ssl, c.use_ssl) << c.url;
    EXPECT_EQ(url->token, c.token) << c.url;
    EXPECT_EQ(url->user_id, c.user_id) << c.url;
  }
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"http://h", "begins with sc://"},
      {"sc://", "host"},
      {"sc://h:0", "port"},
      {"sc://h:99999", "port"},
      {"sc://h:", "port"},
      {"sc://h:1:2", "port"},
      {"sc://h/path", "path must be empty"},
      {"sc://h/;token", "name=value"},
      {"sc://h/;a=b=c", "name=value"},
      {"sc://h\x1b[2J", "host"},
      {"sc://[zz]:1", "IPv6"},
  };
  for (const auto& [text, message] : bad) {
    std::string error;
    EXPECT_FALSE(parse_spark_connect_url(text, error)) << text;
    EXPECT_THAT(error, HasSubstr(message)) << text;
  }
}

TEST(SparkConnectUrl, LoopbackHosts) {
  for (const char* host : {"localhost", "LOCALHOST", "127.0.0.1", "127.0.11.10", "[::1]"}) {
    EXPECT_TRUE(is_loopback_host(host)) << host;
  }
  for (const char* host : {"127.0.0.1.evil.com", "128.0.0.1", "127.0.0.256", "example.com", "127.1",
                           "localhost.example.com", ""}) {
    EXPECT_FALSE(is_loopback_host(host)) << host;
  }
}

TEST(SparkConnectProto, RequestBytesAndResponseDecoding) {
  EXPECT_EQ(encode_spark_version_request("s", "u", "c"),
            std::string("\x0a\x01s\x12\x03\x0a\x01u\x1a\x01\x63\x52\x00", 13));

  // session_id (1), an unknown varint field, spark_version (8) {version (1)}, server session (15).
  const std::string response = std::string("\x0a\x02id\x20\x96\x01\x42\x07\x0a\x05", 11) + "3.5.2" +
                               std::string("\x7a\x01x", 3);
  EXPECT_EQ(decode_spark_version_response(response), "3.5.2");

  const std::vector<std::string> broken = {
      "",                                      // no spark_version
      std::string("\x42\x07\x0a\x05\x33", 5),  // length past the end
      std::string("\x42\x02\x0a\x09", 4),      // inner length past the end
      std::string("\x0a\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", 12),  // varint too long
      std::string("\x43\x00", 2),                                           // group wire type
      std::string("\x42\x00", 2),                                           // empty spark_version
  };
  for (const auto& bytes : broken) EXPECT_FALSE(decode_spark_version_response(bytes));

  // A huge message of skippable fields is walked once, not re-scanned.
  std::string many;
  for (int i = 0; i < 200000; ++i) many += std::string("\x20\x01", 2);
  EXPECT_FALSE(decode_spark_version_response(many));
}

TEST(SparkConnectProto, GrpcFraming) {
  const std::string framed = grpc_frame("abc");
  EXPECT_EQ(framed, std::string("\x00\x00\x00\x00\x03"
                                "abc",
                                8));
  std::string error;
  EXPECT_EQ(grpc_unframe(framed + "trailing", error), "abc");
  EXPECT_FALSE(grpc_unframe(std::string("\x01\x00\x00\x00\x01x", 6), error));
  EXPECT_THAT(error, HasSubstr("compressed"));
  EXPECT_FALSE(grpc_unframe(std::string("\x00\xff\xff\xff\xff", 5), error));
  EXPECT_THAT(error, HasSubstr("cut off"));
  EXPECT_FALSE(grpc_unframe("", error));
}

TEST(DatabricksCredentials, ComputeConfigThenVariablesThenProfile) {
  const std::map<std::string, std::string> env = {
      {"HOME", "/home/ann"},
      {"DATABRICKS_TOKEN", "env-token"},
      {"DATABRICKS_HOST", "adb-1.azuredatabricks.net."},
  };
  const auto env_lookup = [&](const char* name) -> std::optional<std::string> {
    const auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
  std::vector<std::string> read;
  const auto files = [&](const std::string& path) -> std::optional<std::string> {
    read.push_back(path);
    return "[DEFAULT]\nhost = https://default.cloud.databricks.com\ntoken = file-token\n"
           "cluster_id = file-cluster\n\n[work]\n; a comment\nhost=https://work.databricks.com\n"
           "cluster_id = work-cluster\n";
  };
  auto found =
      resolve_databricks_credentials({{"host", "adb-1.azuredatabricks.net"}}, env_lookup, files);
  EXPECT_EQ(found.host, "adb-1.azuredatabricks.net");
  EXPECT_EQ(found.host_source, "computes.yml");
  EXPECT_EQ(found.token, "env-token");
  EXPECT_EQ(found.token_source, "DATABRICKS_TOKEN");
  EXPECT_EQ(found.cluster_id, "file-cluster");
  EXPECT_EQ(found.cluster_id_source, "/home/ann/.databrickscfg [DEFAULT]");
  EXPECT_TRUE(found.missing().empty());
  EXPECT_EQ(read, (std::vector<std::string>{"/home/ann/.databrickscfg"}));

  found = resolve_databricks_credentials({{"profile", "work"}}, env_lookup, files);
  EXPECT_EQ(found.host, "adb-1.azuredatabricks.net.");
  EXPECT_EQ(found.cluster_id, "work-cluster");
  EXPECT_EQ(found.token, "env-token");

  // A profile's token goes to the profile's host only.
  const auto home_only = [](const char* name) -> std::optional<std::string> {
    if (std::string_view(name) == "HOME") return "/home/ann";
    return std::nullopt;
  };
  found = resolve_databricks_credentials({{"host", "https://elsewhere.example"}}, home_only, files);
  EXPECT_FALSE(found.token);
  EXPECT_TRUE(found.token_withheld);
  found = resolve_databricks_credentials(
      {{"host", "default.cloud.databricks.com:443"}}, home_only,
      [](const std::string&) -> std::optional<std::string> {
        return "[DEFAULT]\nhost=https://Default.cloud.databricks.com/"
               "\ntoken=t\n";
      });
  EXPECT_EQ(found.token, "t");

  const auto nothing = [](const std::string&) -> std::optional<std::string> {
    return std::nullopt;
  };
  // DATABRICKS_HOST's token is not sent to the compute's other host.
  found = resolve_databricks_credentials({{"host", "h"}}, env_lookup, nothing);
  EXPECT_EQ(found.missing(), (std::vector<std::string>{"token", "cluster_id"}));
  EXPECT_THAT(
      found.token_withheld,
      Optional(HasSubstr("belongs to adb-1.azuredatabricks.net. (DATABRICKS_HOST), not to h")));
}

TEST(DatabricksResponses, BaseUrlClusterAndSparkVersion) {
  std::string error;
  EXPECT_EQ(databricks_base_url("adb-1.7.azuredatabricks.net", error),
            "https://adb-1.7.azuredatabricks.net");
  EXPECT_EQ(databricks_base_url("https://x.cloud.databricks.com/", error),
            "https://x.cloud.databricks.com");
  EXPECT_EQ(databricks_base_url("http://127.0.11.20:8000", error), "http://127.0.11.20:8000");
  EXPECT_FALSE(databricks_base_url("http://adb-1.azuredatabricks.net", error));
  EXPECT_THAT(error, HasSubstr("plain http"));
  EXPECT_FALSE(databricks_base_url("https://h/evil path", error));

  const auto cluster = parse_databricks_cluster(
      R"({"cluster_id": "c", "state": "RUNNING", "spark_version": "15.4.x-scala2.12"})");
  ASSERT_TRUE(cluster);
  EXPECT_EQ(cluster->state, "RUNNING");
  EXPECT_EQ(cluster->runtime, "15.4.x-scala2.12");
  EXPECT_FALSE(parse_databricks_cluster(R"({"error_code": "X"})"));

  const std::string versions = R"json({"versions": [
    {"key": "14.3.x-scala2.12", "name": "14.3 LTS (includes Apache Spark 3.5.0, Scala 2.12)"},
    {"key": "15.4.x-scala2.12", "name": "15.4 LTS (includes Apache Spark 3.5.0, Scala 2.12)"},
    {"key": "17.3.x-scala2.13", "name": "17.3 LTS (includes Apache Spark 4.0.0, Scala 2.13)"},
    {"key": "bad", "name": "includes Apache Spark \u001b[2J"}]})json";
  EXPECT_EQ(spark_version_of_runtime(versions, "17.3.x-scala2.13"), "4.0.0");
  EXPECT_FALSE(spark_version_of_runtime(versions, "16.4.x-scala2.12"));
  EXPECT_FALSE(spark_version_of_runtime(versions, "bad"));
  EXPECT_EQ(databricks_error_message(R"({"error_code": "E", "message": "Invalid token"})"),
            "Invalid token");
}

TEST(MasterProbeParsing, AddressesAndStatus) {
  const auto masters = parse_master_addresses("spark://a:7078,b,[::1]:7079/");
  ASSERT_TRUE(masters);
  ASSERT_EQ(masters->size(), 3u);
  EXPECT_EQ((*masters)[0].host, "a");
  EXPECT_EQ((*masters)[0].port, 7078);
  EXPECT_EQ((*masters)[1].port, 7077);
  EXPECT_EQ((*masters)[2].host, "[::1]");
  EXPECT_EQ((*masters)[2].port, 7079);
  EXPECT_FALSE(parse_master_addresses("spark://a:0"));
  EXPECT_FALSE(parse_master_addresses("spark://a:99999"));

  const auto status = parse_master_status(
      R"({"url": "spark://m:7077", "aliveworkers": 2, "cores": 16, "status": "ALIVE"})");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->status, "ALIVE");
  EXPECT_EQ(status->alive_workers, 2);
  EXPECT_EQ(status->cores, 16);
  EXPECT_FALSE(parse_master_status("<html>"));
  EXPECT_FALSE(parse_master_status(R"({"status": 3})"));
}

TEST(ComputeTarget, MasterUrlsAndHosts) {
  for (const char* ok :
       {"spark://m:7077", "spark://a:1,b:2", "sc://h", "sc://h:1/;use_ssl=true", "local",
        "local[4]", "local[*]", "local[4,2]", "local-cluster[2,1,1024]"}) {
    EXPECT_FALSE(master_url_problem(ok)) << ok;
  }
  for (const char* bad : {"localhost:7077", "local[x]", "locality", "spark://", "sc://h/x", "yarn",
                          "http://m:8080", ""}) {
    EXPECT_TRUE(master_url_problem(bad)) << bad;
  }
  for (const char* ok :
       {"adb-1.7.azuredatabricks.net", "https://x.cloud.databricks.com", "http://127.0.0.1:8000"}) {
    EXPECT_FALSE(host_problem(ok)) << ok;
  }
  for (const char* bad : {"", "a b", "-x", "h:port", "h\x1b"}) {
    EXPECT_TRUE(host_problem(bad)) << bad;
  }
}

}  // namespace
}  // namespace plo
