// The packages beside PySpark: PEP 440/508 as pip reads them (the expectations were checked
// against pip's own packaging), the verdicts, how they are found on disk, and the jars of
// spark.jars.packages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "catalogue/companions.h"
#include "catalogue/pep440.h"
#include "catalogue/requirements.h"
#include "environment/companions.h"
#include "environment/spark_jars.h"

namespace plo {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

TEST(Pep440, OrdersAsPipDoes) {
  struct Case {
    const char* a;
    const char* b;
    int order;  // of a against b
  } cases[] = {
      {"1.0.dev0", "1.0a1", -1},
      {"1.0a1", "1.0a2", -1},
      {"1.0a2", "1.0b1", -1},
      {"1.0b1", "1.0rc1", -1},
      {"1.0rc1", "1.0", -1},
      {"1.0", "1.0.0", 0},
      {"1.0", "1.0.post1", -1},
      {"1.0.post1.dev1", "1.0.post1", -1},
      {"1.0.post1", "1.0.1", -1},
      {"1.0+abc", "1.0", 1},
      {"1.0+5", "1.0+abc", 1},
      {"1.0+abc.1", "1.0+abc", 1},
      {"1!0.1", "2.0", 1},
      {"3.5.10", "3.5.9", 1},
      {"1.0a1.dev1", "1.0a1", -1},
      {"1.0.dev1", "1.0.dev2", -1},
      {"123456789012345678901234567890.1", "99.1", 1},
      {"4.0.0preview2", "4.0.0rc2", 0},
      {"3.5.1+local.7", "3.5.1+local.07", 0},
      {"1.0.post1", "1.0.post1+x", -1},
      {"1.0a1", "1.0.dev5", 1},
  };
  for (const auto& c : cases) {
    const auto a = parse_pep440(c.a);
    const auto b = parse_pep440(c.b);
    ASSERT_TRUE(a && b) << c.a << " " << c.b;
    const int order = compare_pep440(*a, *b);
    EXPECT_EQ((order > 0) - (order < 0), c.order) << c.a << " " << c.b;
  }
}

TEST(Specifiers, AdmitAsPipDoes) {
  struct Case {
    const char* specifiers;
    const char* version;
    std::optional<bool> prereleases;
    bool admitted;
  } cases[] = {
      {"<3.6.0,>=3.5.3", "3.5.3", {}, true},
      {"<3.6.0,>=3.5.3", "3.5.2", {}, false},
      {"<3.6.0,>=3.5.3", "4.0.1", {}, false},
      {"<3.6.0,>=3.5.3", "3.6.0", {}, false},
      {"<3.6", "3.6.0rc1", true, false},  // no pre-release of the excluded version itself
      {"<3.6", "3.5.9rc1", true, true},
      {"<3.6", "3.5.9rc1", {}, false},  // pre-releases only where the set names one
      {">=3.5", "4.0.0rc1", {}, false},
      {">=3.5", "4.0.0rc1", true, true},
      {">=4.0.0rc1", "4.0.0rc1", {}, true},
      {">=4.0.0.dev0", "4.1.0.dev3", {}, true},
      {"==3.5.*", "3.5.9", {}, true},
      {"==3.5.*", "3.50", {}, false},
      {"==3.5.*", "3.5", {}, true},
      {"==3.5.0.*", "3.5", {}, true},
      {"==3.5.*", "3.5.1rc1", true, true},
      {"!=3.5.*", "3.6.0", {}, true},
      {"!=3.5.*", "3.5.1", {}, false},
      {"==3.5", "3.5.0", {}, true},
      {"==3.5.0", "3.5.0+local", {}, true},
      {"==3.5.0+local", "3.5.0", {}, false},
      {"==3.5.0+local", "3.5.0+local", {}, true},
      {"~=3.5", "3.9", {}, true},
      {"~=3.5", "4.0", {}, false},
      {"~=3.5.1", "3.5.9", {}, true},
      {"~=3.5.1", "3.6.0", {}, false},
      {"~=3.5.1", "3.5.0", {}, false},
      {"~=2.2.post3", "2.3", {}, true},
      {">3.5", "3.5.post1", {}, false},
      {">3.5", "3.5.1", {}, true},
      {">3.5", "3.5+local", {}, false},
      {">3.5.post0", "3.5.post1", {}, true},
      {"<=3.5", "3.5+local", {}, true},
      {"<3.5", "3.5.0rc1", true, false},
      {"<3.5rc2", "3.5rc1", true, true},
      {"===3.5.1", "3.5.1", {}, true},
      {"===3.5.1", "3.5.1.0", {}, false},
      {"", "1.0", {}, true},
      {"", "1.0rc1", {}, false},
      {"", "1.0rc1", true, true},
      {">=1.0,", "1.0", {}, true},
      {"!=3.5.0", "3.5", {}, false},
      {">=1!1.0", "2.0", {}, false},
      {"< 3.6 , >= 3.5", "3.5.5", {}, true},
      {"<3.6", "nonsense", {}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(specifier_admits(c.specifiers, c.version, c.prereleases), c.admitted)
        << c.specifiers << " " << c.version;
  }
  for (const char* bad : {"=>1.0", "==3.5.*.1", "~=3", "<3.5.*", ">=3.5+local", "==3.5+local.*",
                          "foo", "== ", "3.5"}) {
    EXPECT_EQ(specifier_admits(bad, "3.5"), std::nullopt) << bad;
  }
}

TEST(Requirements, ReadAsRequiresDistWritesThem) {
  struct Case {
    const char* text;
    const char* name;
    std::vector<std::string> extras;
    const char* specifiers;
    const char* url;
    const char* marker;
  } cases[] = {
      {"pyspark<3.6.0,>=3.5.3", "pyspark", {}, "<3.6.0,>=3.5.3", "", ""},
      {"pandas>=1.0.5; extra == \"sql\"", "pandas", {}, ">=1.0.5", "", "extra == \"sql\""},
      {"numpy (>=1.15, <2)", "numpy", {}, ">=1.15,<2", "", ""},
      {"Delta_Spark[extra1, Extra-2] >=3.0 ; python_version>=\"3.8\"",
       "delta-spark",
       {"extra1", "extra-2"},
       ">=3.0",
       "",
       "python_version>=\"3.8\""},
      {"pyspark @ https://example.com/pyspark.tar.gz",
       "pyspark",
       {},
       "",
       "https://example.com/pyspark.tar.gz",
       ""},
      {"py4j==0.10.9.7", "py4j", {}, "==0.10.9.7", "", ""},
  };
  for (const auto& c : cases) {
    const auto requirement = parse_requirement(c.text);
    ASSERT_TRUE(requirement) << c.text;
    EXPECT_EQ(requirement->name, c.name);
    EXPECT_EQ(requirement->extras, c.extras);
    EXPECT_EQ(requirement->specifiers, c.specifiers);
    EXPECT_EQ(requirement->url, c.url);
    EXPECT_EQ(requirement->marker, c.marker);
  }
  for (const char* bad :
       {"", "-pyspark", "pyspark <>3", "pyspark[sql", "pyspark;", "pyspark (>=3"}) {
    EXPECT_EQ(parse_requirement(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(parse_requirement(std::string(5000, 'a')), std::nullopt);
}

TEST(Markers, EvaluateAsPipDoes) {
  const MarkerEnvironment linux = {{"python_version", "3.11"},
                                   {"python_full_version", "3.11.7"},
                                   {"sys_platform", "linux"},
                                   {"platform_system", "Linux"},
                                   {"platform_machine", "x86_64"},
                                   {"os_name", "posix"},
                                   {"platform_release", "6.1.0-18-amd64"},
                                   {"platform_version", "#1 SMP"},
                                   {"implementation_name", "cpython"},
                                   {"platform_python_implementation", "CPython"},
                                   {"extra", ""}};
  struct Case {
    const char* marker;
    std::optional<bool> holds;
  } cases[] = {
      {"python_version >= \"3.8\"", true},
      {"python_version < \"3.10\"", false},  // a version comparison, not a text one
      {"python_full_version >= \"3.11.7\"", true},
      {"sys_platform == 'linux' and platform_machine == 'x86_64'", true},
      {"sys_platform == \"darwin\" or os_name == \"posix\"", true},
      {"(python_version < \"3.9\" or python_version >= \"3.11\") and "
       "implementation_name == \"cpython\"",
       true},
      {"\"linux\" in sys_platform", true},
      {"\"win\" not in sys_platform", true},
      {"extra == \"sql\"", false},
      {"python_version > \"3.9\"", true},
      {"\"3.8\" <= python_version", true},
      {"python_version == \"3.11.*\"", true},
      {"python_version ~= \"3.10\"", true},
      {"python_version === \"3.11\"", true},
      {"platform_version == \"#1 SMP\"", true},
      {"platform_system != \"Windows\"", true},
      {"platform_release >= \"5\"", true},  // no version: compared as texts
      {"os.name == 'posix'", true},         // PEP 345's spelling
      {"", true},
      {"python_version >= ", std::nullopt},
      {"python_version >= \"3.8", std::nullopt},
      {"unknown_variable == \"x\"", std::nullopt},
      {"python_version >= \"3.8\" and", std::nullopt},
      {"(python_version >= \"3.8\"", std::nullopt},
      {"sys_platform ~= \"linux\"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(evaluate_marker(c.marker, linux), c.holds) << c.marker;

  MarkerEnvironment sql = linux;
  sql["extra"] = "SQL";
  EXPECT_EQ(evaluate_marker("extra == \"sql\"", sql), true);
  sql["extra"] = "pandas-on-spark";
  EXPECT_EQ(evaluate_marker("extra == 'pandas_on_spark'", sql), true);
  EXPECT_EQ(
      evaluate_marker(std::string(40, '(') + "os_name == 'posix'" + std::string(40, ')'), linux),
      std::nullopt);  // deeper than anyone writes
}

// PySpark's extras as its metadata states them, per line.
std::vector<std::string> pyspark_requires(bool numpy_below_2) {
  const std::string numpy = numpy_below_2 ? "numpy<2,>=1.15" : "numpy>=1.15";
  return {"py4j==0.10.9.7",
          numpy + "; extra == \"ml\"",
          "pandas>=1.0.5; extra == \"sql\"",
          "pyarrow>=4.0.0; extra == \"sql\"",
          numpy + "; extra == \"sql\"",
          "grpcio>=1.56.0; extra == \"connect\""};
}

const MarkerEnvironment kMarkers = {{"python_version", "3.11"},
                                    {"python_full_version", "3.11.7"},
                                    {"sys_platform", "linux"},
                                    {"os_name", "posix"}};

PySparkTarget installed(const std::string& version, bool numpy_below_2 = false) {
  return {version, pyspark_requires(numpy_below_2), {"ml", "sql", "connect"}, "0.10.9.7"};
}

TEST(CompanionVerdict, EachWayOfFittingOrNot) {
  const DistributionMetadata delta{
      "delta-spark", "3.3.0", {"pyspark<3.6.0,>=3.5.3", "importlib-metadata>=1.0.0"}};
  struct Case {
    DistributionMetadata companion;
    PySparkTarget target;
    CompanionFit fit;
    std::string requirement;
    std::string reason;  // its start
    std::vector<std::string> fix;
  } cases[] = {
      {delta, installed("3.5.9"), CompanionFit::Fits, "pyspark<3.6.0,>=3.5.3", "", {}},
      {delta,
       {"4.0.1"},
       CompanionFit::DoesNotFit,
       "pyspark<3.6.0,>=3.5.3",
       "delta-spark 3.3.0 requires pyspark<3.6.0,>=3.5.3, but PySpark is 4.0.1",
       {"delta-spark==4.0.*", "pyspark==4.0.1"}},
      {delta,
       installed("3.5.1"),
       CompanionFit::DoesNotFit,
       "pyspark<3.6.0,>=3.5.3",
       "delta-spark 3.3.0 requires pyspark<3.6.0,>=3.5.3, but PySpark is 3.5.1",
       {"delta-spark>=3.0,<3.4", "pyspark==3.5.1"}},
      // A line Delta's table does not have: delta-spark's own metadata decides.
      {delta,
       {"4.1.0"},
       CompanionFit::DoesNotFit,
       "pyspark<3.6.0,>=3.5.3",
       "delta-spark 3.3.0 requires",
       {"delta-spark", "pyspark==4.1.0"}},
      {{"mylib", "1.0", {"pyspark<3.6; python_version < \"3.8\""}},
       {"4.0.1"},
       CompanionFit::Fits,
       "",
       "",
       {}},
      {{"mylib", "1.0", {"pyspark>=3; extra == \"spark\""}},
       {"2.4.8"},
       CompanionFit::Fits,
       "",
       "",
       {}},
      {{"sparkmeasure", "0.24", {"py4j>=0.10.9.8"}},
       installed("3.5.9"),
       CompanionFit::DoesNotFit,
       "py4j>=0.10.9.8",
       "sparkmeasure 0.24 requires py4j>=0.10.9.8, but py4j is 0.10.9.7",
       {"sparkmeasure", "pyspark==3.5.9"}},
      {{"sparkmeasure", "0.24", {"py4j>=0.10.9.8"}}, {"4.0.1"}, CompanionFit::Fits, "", "", {}},
      {{"connect-tool", "1.0", {"pyspark-connect==4.0.1"}},
       {"4.0.1"},
       CompanionFit::Fits,
       "pyspark-connect==4.0.1",
       "",
       {}},
      {{"numpy", "2.0.0"},
       installed("3.5.2", true),
       CompanionFit::DoesNotFit,
       "numpy<2,>=1.15",
       "numpy 2.0.0 is outside numpy<2,>=1.15, which pyspark 3.5.2 (its ml extra) requires",
       {"numpy<2,>=1.15"}},
      {{"numpy", "2.0.0"},
       installed("3.5.1"),
       CompanionFit::KnownLimit,
       "numpy<2",
       "numpy 2.0.0 with PySpark 3.5.1: PySpark before 4.0 references code",
       {"numpy<2"}},
      {{"numpy", "2.0.0"}, {"4.0.1"}, CompanionFit::Fits, "", "", {}},
      {{"numpy", "2.0.0"}, {"4.0.0rc1"}, CompanionFit::Fits, "", "", {}},
      {{"pandas", "2.2.3"},
       installed("3.3.4"),
       CompanionFit::KnownLimit,
       "pandas<2",
       "pandas 2.2.3 with PySpark 3.3.4: pandas 2 removed DataFrame.iteritems",
       {"pandas<2"}},
      {{"pandas", "1.5.3"}, installed("3.3.4"), CompanionFit::Fits, "pandas>=1.0.5", "", {}},
      {{"pandas", "2.2.3"}, installed("3.4.4"), CompanionFit::Fits, "pandas>=1.0.5", "", {}},
      {{"grpcio", "1.48.2"},
       installed("3.5.9"),
       CompanionFit::DoesNotFit,
       "grpcio>=1.56.0",
       "grpcio 1.48.2 is outside grpcio>=1.56.0, which pyspark 3.5.9 (its connect extra) requires",
       {"grpcio>=1.56.0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.companion.name + " " + c.companion.version + " / " + c.target.version);
    const CompanionVerdict verdict = companion_verdict(c.companion, c.target, kMarkers);
    EXPECT_EQ(verdict.fit, c.fit);
    EXPECT_EQ(verdict.requirement, c.requirement);
    EXPECT_TRUE(verdict.reason.starts_with(c.reason)) << verdict.reason;
    EXPECT_EQ(verdict.reason.empty(), c.reason.empty()) << verdict.reason;
    EXPECT_EQ(verdict.fix, c.fix);
    EXPECT_EQ(verdict.source.empty(), c.fit != CompanionFit::KnownLimit);
  }
}

TEST(CompanionVerdicts, ListsWhatDependsOnPySparkAndWhatItsExtrasName) {
  InstalledBeside beside;
  beside.markers = kMarkers;
  beside.py4j = "0.10.9.7";
  beside.pyspark = DistributionMetadata{"pyspark", "3.3.4", pyspark_requires(false), {"ml", "sql"}};
  beside.candidates = {
      {"delta-spark", "2.3.0", {"pyspark<3.4.0,>=3.3.0", "importlib-metadata>=1.0.0"}},
      {"grpcio", "1.48.2"},  // only the connect extra names it, which this PySpark lacks
      {"mylib", "1.0", {"pyspark<3; python_version < \"3.8\""}},
      {"numpy", "1.26.4"},
      {"pandas", "2.2.3"},
      {"pyarrow", "17.0.0"},
  };
  beside.pyspark->provides_extra = {"ml", "sql"};
  beside.pyspark->requires_dist.pop_back();  // no connect extra
  const auto verdicts = companion_verdicts(beside, installed_target(beside, std::nullopt));
  std::vector<std::string> names;
  for (const auto& verdict : verdicts) names.push_back(verdict.name);
  EXPECT_THAT(names, ElementsAre("delta-spark", "numpy", "pandas", "pyarrow"));
  EXPECT_TRUE(verdicts[0].fits());
  EXPECT_EQ(verdicts[2].fit, CompanionFit::KnownLimit);
  EXPECT_EQ(combined_fix(verdicts), std::vector<std::string>{"pandas<2"});

  // The same environment against a planned 3.5.9, whose metadata is not at hand: delta-spark no
  // longer fits, pandas 2 does, and pyarrow is not held against anything.
  const auto planned = companion_verdicts(beside, PySparkTarget{"3.5.9"});
  names.clear();
  for (const auto& verdict : planned) names.push_back(verdict.name);
  EXPECT_THAT(names, ElementsAre("delta-spark", "numpy", "pandas"));
  EXPECT_EQ(planned[0].fix, (std::vector<std::string>{"delta-spark>=3.0,<3.4", "pyspark==3.5.9"}));
  EXPECT_TRUE(planned[2].fits());

  EXPECT_EQ(companion_fix_command("/my venv/bin/python", planned[0].fix),
            "'/my venv/bin/python' -m pip install 'delta-spark>=3.0,<3.4' pyspark==3.5.9");
  EXPECT_EQ(companion_fix_command("/venv/bin/python", {}), "");
}

TEST(CompanionTables, EveryRowReadsAndNamesItsSource) {
  for (const KnownLimit& limit : COMPANION_LIMITS) {
    EXPECT_TRUE(specifier_admits(limit.companion, "0"));
    EXPECT_TRUE(specifier_admits(limit.pyspark, "0"));
    EXPECT_TRUE(parse_requirement(limit.requirement)) << limit.requirement;
    EXPECT_TRUE(limit.source.starts_with("https://")) << limit.source;
  }
  for (const DeltaLine& line : DELTA_SPARK_LINES) {
    EXPECT_TRUE(parse_requirement("delta-spark" + line.delta)) << line.delta;
  }
  EXPECT_EQ(delta_versions_for("3.5"), ">=3.0,<3.4");
  EXPECT_EQ(delta_versions_for("2.4"), std::nullopt);
}

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST(FindCompanions, ReadsEveryDistributionsMetadataOnce) {
  const fs::path root = fs::path(::testing::TempDir()) / "plo-companions";
  fs::remove_all(root);
  const fs::path site = root / "site";
  const fs::path later = root / "later";
  write(site / "pyspark-3.5.1.dist-info/METADATA",
        "Name: pyspark\nVersion: 3.5.1\nRequires-Dist: py4j==0.10.9.7\nProvides-Extra: "
        "pandas_on_spark\nRequires-Dist: pandas>=1.0.5; extra == \"pandas_on_spark\"\n\n"
        "Requires-Dist: not-a-header\n");
  write(site / "py4j-0.10.9.7.dist-info/METADATA", "Name: py4j\nVersion: 0.10.9.7\n");
  write(site / "delta_spark-3.3.0.dist-info/METADATA",
        "Name: delta-spark\r\nVersion: 3.3.0\r\nRequires-Dist: pyspark<3.6.0,>=3.5.3\r\n");
  write(site / "pandas-2.2.3.dist-info/METADATA", "Name: pandas\nVersion: 2.2.3\n");
  write(site / "requests-2.31.0.dist-info/METADATA",
        "Name: requests\nVersion: 2.31.0\nRequires-Dist: urllib3<3,>=1.21.1\n");
  write(site / "evil-1.dist-info/METADATA",
        "Name: evil\x1b[2J\nVersion: 1\nRequires-Dist: pyspark\n");
  write(later / "delta_spark-4.0.0.dist-info/METADATA",
        "Name: delta-spark\nVersion: 4.0.0\nRequires-Dist: pyspark<4.1.0,>=4.0.0\n");

  const InstalledBeside found =
      find_companions({site.string(), later.string()}, marker_environment("3.11.7"));
  ASSERT_TRUE(found.pyspark);
  EXPECT_EQ(found.pyspark->version, "3.5.1");
  EXPECT_THAT(found.pyspark->requires_dist,
              ElementsAre("py4j==0.10.9.7", "pandas>=1.0.5; extra == \"pandas_on_spark\""));
  EXPECT_THAT(found.pyspark->provides_extra, ElementsAre("pandas-on-spark"));
  EXPECT_EQ(found.py4j, "0.10.9.7");
  std::vector<std::string> names;
  for (const auto& candidate : found.candidates)
    names.push_back(candidate.name + " " + candidate.version);
  EXPECT_THAT(names, ElementsAre("delta-spark 3.3.0", "pandas 2.2.3"));
  EXPECT_EQ(found.markers.at("python_version"), "3.11");
  EXPECT_EQ(found.markers.at("python_full_version"), "3.11.7");
  EXPECT_EQ(found.markers.count("sys_platform"), 1u);
  EXPECT_EQ(marker_environment(std::nullopt).count("python_version"), 0u);

  const auto verdicts = companion_verdicts(found, installed_target(found, "3.5.1"));
  ASSERT_EQ(verdicts.size(), 2u);
  EXPECT_EQ(verdicts[0].reason,
            "delta-spark 3.3.0 requires pyspark<3.6.0,>=3.5.3, but PySpark is 3.5.1");
  EXPECT_EQ(verdicts[1].requirement, "pandas>=1.0.5");  // under the pandas_on_spark extra
  fs::remove_all(root);
}

TEST(SparkJars, WhatTheJarsAndTheSettingsSay) {
  const fs::path root = fs::path(::testing::TempDir()) / "plo-jars";
  fs::remove_all(root);
  write(root / "four/scala-library-2.13.14.jar", "");
  write(root / "four/spark-core_2.13-4.0.1.jar", "");
  write(root / "four/hadoop-client-api-3.4.1.jar", "");
  write(root / "three/spark-core_2.12-3.5.1.jar", "");
  const SparkJars four = inspect_spark_jars((root / "four").string());
  EXPECT_EQ(four.scala, "2.13");
  EXPECT_EQ(four.hadoop, "3.4.1");
  const SparkJars three = inspect_spark_jars((root / "three").string());
  EXPECT_EQ(three.scala, "2.12");
  EXPECT_EQ(three.hadoop, std::nullopt);
  EXPECT_EQ(inspect_spark_jars((root / "none").string()).scala, std::nullopt);
  fs::remove_all(root);

  const auto packages = parse_jar_packages(
      " io.delta:delta-spark_2.12:3.3.0,org.apache.hadoop:hadoop-aws:3.3.4, junk ,a::b,x:y:z:w");
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(packages[0].artifact, "delta-spark_2.12");
  EXPECT_EQ(packages[1].text, "org.apache.hadoop:hadoop-aws:3.3.4");
  EXPECT_EQ(scala_suffix("delta-spark_2.13"), "2.13");
  EXPECT_EQ(scala_suffix("hadoop-aws"), std::nullopt);
  EXPECT_EQ(scala_suffix("spark_sql_kafka"), std::nullopt);

  EXPECT_EQ(spark_defaults_value("# comment\nspark.jars.packages  a:b:1\nspark.jars.packagesx y\n"
                                 "spark.jars.packages=c:d:2\n",
                                 "spark.jars.packages"),
            "c:d:2");
  EXPECT_EQ(spark_defaults_value("spark.jars.packages : e:f:3", "spark.jars.packages"), "e:f:3");
  EXPECT_EQ(spark_defaults_value("spark.jars a.jar\n", "spark.jars.packages"), std::nullopt);

  struct Args {
    const char* args;
    std::optional<std::string> packages;
  } args[] = {
      {"--packages io.delta:delta-spark_2.13:4.0.0 pyspark-shell",
       "io.delta:delta-spark_2.13:4.0.0"},
      {"--conf \"spark.jars.packages=a:b:1,c:d:2\" pyspark-shell", "a:b:1,c:d:2"},
      {"--conf 'spark.jars.packages=a:b:1' --packages=e:f:3 pyspark-shell", "e:f:3"},
      {"--master local[2] pyspark-shell", std::nullopt},
      {"--conf spark.jars.packages\\=a:b:1 pyspark-shell", "a:b:1"},
  };
  for (const auto& a : args) EXPECT_EQ(submit_args_packages(a.args), a.packages) << a.args;
}

}  // namespace
}  // namespace plo
