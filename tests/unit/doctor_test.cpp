// The doctor's decisions per area, over fakes (and a temporary folder for what it looks at on
// disk), and its two renderings.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "catalogue_meaning.h"
#include "doctor/doctor_render.h"
#include "doctor/doctor_task.h"
#include "fakes.h"
#include "spark/installer_choice.h"

namespace plo {
namespace {

namespace fs = std::filesystem;
using testing::FakeCompat;
using testing::FakeConsole;
using testing::FakeJavaEnvironment;
using testing::newest;

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "plo-doctor-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path); }
  std::string file(const std::string& name, const std::string& text = "", bool executable = false) {
    const fs::path at = path / name;
    fs::create_directories(at.parent_path());
    std::ofstream(at) << text;
    if (executable) ::chmod(at.c_str(), 0755);
    return at.string();
  }
};

// FakeCompat with the answers only the doctor asks for.
class DoctorCompat : public FakeCompat {
 public:
  std::optional<std::string> python;
  std::vector<PySparkDistribution> distributions;
  std::optional<std::string> stash;
  std::optional<std::string> python_version() override { return python; }
  std::optional<std::string> leftover_stash() override { return stash; }
  bool no_interpreter = false;  // the import path cannot be asked
  std::vector<PySparkDistribution> pyspark_distributions() override {
    if (no_interpreter) throw std::runtime_error("no Python interpreter found");
    return distributions;
  }
};

// Another interpreter's answer to the minor query, by its path; counts the queries.
class MinorRunner : public ProcessRunner {
 public:
  std::map<std::string, std::string> minors;
  std::vector<std::string> asked;
  ProcessResult run(const ProcessSpec& spec) override {
    asked.push_back(spec.argv.at(0));
    const auto found = minors.find(spec.argv[0]);
    if (found == minors.end()) throw ProcessStartError("cannot run " + spec.argv[0]);
    return {0, found->second + "\n", "", false};
  }
};

struct Doctor {
  TempDir tmp;
  DoctorCompat compat;
  FakeJavaEnvironment java;
  MinorRunner runner;
  std::map<std::string, std::string> env;
  std::optional<std::string> stale;
  std::string interpreter;
  std::string computes;
  std::function<ComputeAnswer(const std::string&)> test_compute;
  std::function<SessionAnswer(std::optional<bool>)> start_session;
  std::function<SessionAnswer(std::optional<bool>)> start_session_with_pandas;
  std::optional<ProjectStatus> project;
  DoctorOptions options;
  // What a switch's installer is chosen from; the choice is the install phase's own.
  InstallerFacts installer{
      .asked = {}, .asked_by = {}, .has_pip = true, .uv = {}, .pip_settings = {}};
  bool bad_plo_installer = false;

  Doctor() {
    tmp.file("venv/pyvenv.cfg", "home = /usr/bin\n");
    interpreter = tmp.file("venv/bin/python", "", true);
    computes = (tmp.path / "plo/computes.yml").string();
    compat.python = "3.11.9";
  }

  void install(const std::string& name, const std::string& version) {
    compat.distributions.push_back(
        {name, version, "/venv/site/" + name + ".dist-info", "/venv/site"});
    if (name != "databricks-connect" && name != "pyspark-connect") compat.install(version);
  }

  DoctorReport report() {
    DoctorTask task({
                        .compat = compat,
                        .java = java,
                        .runner = runner,
                        .interpreter =
                            [this] {
                              if (interpreter.empty())
                                throw std::runtime_error("no Python interpreter found");
                              return interpreter;
                            },
                        .env = [this](const char* name) -> std::optional<std::string> {
                          const auto found = env.find(name);
                          if (found == env.end()) return std::nullopt;
                          return found->second;
                        },
                        .stale_virtual_env = [this] { return stale; },
                        .computes_path = [this] { return computes; },
                        .test_compute = test_compute,
                        .start_session = start_session,
                        .start_session_with_pandas = start_session_with_pandas,
                        .project = [this] { return project; },
                        .installer = [this] { return installer_outlook(); },
                    },
                    options);
    return task.report();
  }

  InstallerOutlook installer_outlook() {
    if (bad_plo_installer) throw std::invalid_argument("PLO_INSTALLER must be pip or uv, not 'x'");
    if (interpreter.empty()) throw std::runtime_error("no Python interpreter found");
    const InstallerChoice choice = choose_installer(installer);
    return {choice.kind ? std::optional<std::string>(installer_name(*choice.kind)) : std::nullopt,
            installer.asked, installer.asked_by, installer.uv.has_value(), installer.pip_settings};
  }

  DoctorCheck check(const std::string& area) {
    for (auto& found : report().checks) {
      if (found.area == area) return found;
    }
    ADD_FAILURE() << "no area " << area;
    return {};
  }
};

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& line : lines) all += line + "\n";
  return all;
}

// One decision: the area, what the machine holds, and what the check must say.
struct Case {
  const char* area;
  std::function<void(Doctor&)> given;
  CheckStatus status;
  std::string says;                     // in the summary or a detail
  std::optional<std::string> fix = {};  // when given, the fix exactly
};

void expect_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.area) + ": " + c.says);
    Doctor doctor;
    c.given(doctor);
    const DoctorCheck check = doctor.check(c.area);
    EXPECT_EQ(status_name(check.status), std::string(status_name(c.status)));
    EXPECT_NE((check.summary + "\n" + joined(check.details)).find(c.says), std::string::npos)
        << check.summary << "\n"
        << joined(check.details);
    if (c.fix) {
      EXPECT_EQ(check.fix.value_or("(none)"), *c.fix);
    }
  }
}

// What the end-to-end tests cannot set up with a real venv and real JDKs is decided here.
TEST(DoctorAreas, Decisions) {
  const auto pyspark = [](std::string version, std::function<void(Doctor&)> more = {}) {
    return [=](Doctor& d) {
      d.install("pyspark", version);
      if (more) more(d);
    };
  };
  expect_cases({
      {"interpreter", [](Doctor& d) { d.compat.python.reset(); }, CheckStatus::Ok,
       "Python (version unknown) at "},
      {"interpreter", [](Doctor& d) { d.stale = "/gone/venv"; }, CheckStatus::Warning,
       "VIRTUAL_ENV names /gone/venv", "deactivate"},
      {"interpreter", [](Doctor& d) { d.interpreter.clear(); }, CheckStatus::Error,
       "no Python interpreter found"},
      {"pyspark",
       pyspark(newest("3.5"),
               [](Doctor& d) {
                 d.compat.distributions.push_back({"pyspark", newest("3.3"),
                                                   "/u/pyspark-" + newest("3.3") + ".dist-info",
                                                   "/u"});
               }),
       CheckStatus::Error,
       "two pyspark distributions: " + newest("3.5") + " in /venv/site, " + newest("3.3") +
           " in /u"},
      {"pyspark", pyspark(newest("3.3"), [](Doctor& d) { d.compat.python = "3.13.1"; }),
       CheckStatus::Error, "Python 3.13 is not supported by PySpark 3.3 (Python 3.7 to 3.10)",
       "plo spark set-version"},
      {"pyspark", pyspark(newest("3.3"), [](Doctor& d) { d.compat.python.reset(); }),
       CheckStatus::Ok, newest("3.3") + " (pyspark), Python fit unknown"},
      {"pyspark", [](Doctor& d) { d.compat.install(newest("3.5")); }, CheckStatus::Warning,
       "pip does not manage this PySpark"},
      {"java", pyspark(newest("4.1")), CheckStatus::Error, "no JAVA_HOME, and no java on PATH",
       "plo java install 17 --set"},
      {"java",
       pyspark(newest("3.5"),
               [](Doctor& d) {
                 d.compat.java = JavaInfo{17, "Debian", "/jdk17", "PATH"};
                 d.java.pinned = "/removed/jdk";
               }),
       CheckStatus::Error, "plo's pin names /removed/jdk, which holds no bin/java"},
      {"spark_home",
       pyspark(newest("3.5"),
               [](Doctor& d) {
                 d.tmp.file("spark/bin/spark-submit", "", true);
                 d.tmp.file("spark/RELEASE", "Spark 3.5.1 built for Hadoop 3.3.4\n");
                 d.env["SPARK_HOME"] = (d.tmp.path / "spark").string();
               }),
       CheckStatus::Warning, "PySpark " + newest("3.5") + " launches this Spark 3.5.1"},
      {"pyspark_python",
       [](Doctor& d) {
         const std::string other = d.tmp.file("py310/bin/python", "", true);
         d.runner.minors[other] = "3.10";
         d.env["PYSPARK_DRIVER_PYTHON"] = other;
       },
       CheckStatus::Error, "PYSPARK_DRIVER_PYTHON is Python 3.10"},
      {"pyspark_python",
       [](Doctor& d) { d.env["PYSPARK_PYTHON"] = d.tmp.file("bin/true", "", true); },
       CheckStatus::Error, "does not answer like Python"},
      {"pyspark_python", [](Doctor& d) { d.env["PYSPARK_PYTHON"] = ""; }, CheckStatus::Error,
       "set, but empty"},
      {"pyspark_submit_args", [](Doctor& d) { d.env["PYSPARK_SUBMIT_ARGS"] = ""; },
       CheckStatus::Error, "does not end in pyspark-shell", "unset PYSPARK_SUBMIT_ARGS"},
  });
}

TEST(DoctorAreas, AnotherInterpreterIsAskedOnce) {
  Doctor d;
  const std::string other = d.tmp.file("py310/bin/python", "", true);
  d.runner.minors[other] = "3.10";
  d.env["PYSPARK_PYTHON"] = other;
  d.env["PYSPARK_DRIVER_PYTHON"] = other;
  const DoctorCheck check = d.check("pyspark_python");
  EXPECT_EQ(check.status, CheckStatus::Error);
  EXPECT_EQ(check.fix, "export PYSPARK_PYTHON=" + d.interpreter);
  EXPECT_EQ(d.runner.asked, std::vector<std::string>{other});
}

TEST(DoctorAreas, ClustersAndSession) {
  const auto session = [](SessionAnswer answer) {
    return [answer](Doctor& d) {
      d.install("pyspark", newest("3.5"));
      d.compat.java = JavaInfo{25, "Eclipse Adoptium", "/jdk25", "PATH"};
      d.options.deep = true;
      d.start_session = [answer](std::optional<bool> java_fits) {
        EXPECT_EQ(java_fits, false);
        return answer;
      };
    };
  };
  expect_cases({
      {"computes",
       [](Doctor& d) {
         d.install("pyspark", newest("3.5"));
         d.tmp.file("plo/computes.yml",
                    "computes:\n  prod:\n    config:\n      master: spark://prod:7077\n"
                    "  dev:\n    config:\n      master: local[*]\n");
         d.options.clusters = true;
         d.test_compute = [](const std::string& name) {
           if (name == "prod") return ComputeAnswer{false, std::nullopt, "connection refused"};
           return ComputeAnswer{true, newest("4.1"), std::nullopt};
         };
       },
       CheckStatus::Warning,
       "prod: not reachable (connection refused)\ndev: Spark " + newest("4.1") +
           ", the local PySpark is 3.5",
       "plo compute test prod"},
      {"session",
       session({false, "Java compatibility error", true,
                "java.lang.UnsupportedOperationException: getSubject is not supported"}),
       CheckStatus::Error, "Java is the cause: java.lang.UnsupportedOperationException",
       "plo java set 17"},
      {"session",
       session({false, "ModuleNotFoundError: No module named 'py4j'", false,
                "ModuleNotFoundError: No module named 'py4j'"}),
       CheckStatus::Error, "the first error: ModuleNotFoundError", "plo spark set-version"},
      {"session",
       [](Doctor& d) {
         d.install("pyspark-client", newest("4.1"));
         d.options.deep = true;
         d.start_session = [](std::optional<bool>) -> SessionAnswer {
           ADD_FAILURE() << "a Connect client cannot start a session";
           return {};
         };
       },
       CheckStatus::Ok, "not started: a Spark Connect client"},
  });
}

// uv is suggested only where pip installs although nothing asked for it, uv is on PATH, and pip's
// settings would not keep pip anyway; where uv is asked for and not used, the doctor says why.
TEST(DoctorAreas, InstallerSuggestsUvOnlyWhereItWouldBeUsed) {
  const PipSetting index{"PIP_INDEX_URL", "index-url"};
  const struct {
    std::optional<std::string> asked;
    bool has_pip;
    bool uv;
    std::vector<PipSetting> settings;
    CheckStatus status;
    const char* says;
    bool suggested;
  } cases[] = {
      {{}, true, true, {}, CheckStatus::Ok, "uv is on PATH: a PySpark switch's install took", true},
      {{}, true, false, {}, CheckStatus::Ok, "pip (plo's default)", false},
      {{},
       true,
       true,
       {index},
       CheckStatus::Ok,
       "uv is on PATH, but pip's settings index-url (PIP_INDEX_URL) say where",
       false},
      {"uv", true, true, {}, CheckStatus::Ok, "uv (asked by PLO_INSTALLER)", false},
      {"uv",
       true,
       true,
       {index},
       CheckStatus::Ok,
       "pip, not uv (asked by PLO_INSTALLER)\npip's settings index-url (PIP_INDEX_URL)",
       false},
      {"uv",
       true,
       false,
       {},
       CheckStatus::Ok,
       "pip, not uv (asked by PLO_INSTALLER)\nuv is not on",
       false},
      {"pip", true, true, {}, CheckStatus::Ok, "pip (asked by PLO_INSTALLER)", false},
      {{}, false, true, {index}, CheckStatus::Ok, "uv (this environment has no pip)", false},
      {{}, false, false, {}, CheckStatus::Warning, "none: this interpreter has no pip", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    Doctor d;
    d.installer = {.asked = c.asked,
                   .asked_by = "PLO_INSTALLER",
                   .has_pip = c.has_pip,
                   .uv = c.uv ? std::optional<std::string>("/bin/uv") : std::nullopt,
                   .pip_settings = c.settings};
    const DoctorReport report = d.report();
    const DoctorCheck& check = report.checks.back();
    ASSERT_EQ(check.area, "installer");
    EXPECT_EQ(check.status, c.status);
    EXPECT_NE((check.summary + "\n" + joined(check.details)).find(c.says), std::string::npos)
        << check.summary << "\n"
        << joined(check.details);
    EXPECT_EQ(check.suggestion.has_value(), c.suggested);
    // Advice never makes the doctor fail.
    EXPECT_TRUE(report.ok());
  }
  Doctor bad;
  bad.bad_plo_installer = true;
  const DoctorCheck check = bad.check("installer");
  EXPECT_EQ(check.status, CheckStatus::Warning);
  EXPECT_EQ(check.fix, "unset PLO_INSTALLER");
}

TEST(DoctorAreas, CompanionsJarsAndThePandasRoundTrip) {
  const auto beside = [](std::string pyspark, std::vector<DistributionMetadata> candidates) {
    return [=](Doctor& d) {
      d.install("pyspark", pyspark);
      d.compat.beside.pyspark = DistributionMetadata{"pyspark", pyspark};
      d.compat.beside.candidates = candidates;
    };
  };
  const auto pip = [](Doctor& d) { return d.interpreter + " -m pip install "; };
  const auto round_trip = [](std::optional<std::string> pandas_error) {
    return [=](Doctor& d) {
      d.install("pyspark", newest("3.3"));
      d.compat.beside.candidates = {{"pandas", "2.2.3"}};
      d.options.deep = true;
      d.start_session = [](std::optional<bool>) -> SessionAnswer {
        ADD_FAILURE() << "pandas is installed: the round trip's session is asked";
        return {};
      };
      d.start_session_with_pandas = [=](std::optional<bool>) {
        return SessionAnswer{true, "", false, "", pandas_error};
      };
    };
  };
  const std::string submit_args =
      "--packages io.delta:delta-spark_2.12:4.0.0,"
      "org.apache.hadoop:hadoop-aws:3.3.4 pyspark-shell";
  expect_cases({
      {"companions", [](Doctor&) {}, CheckStatus::Ok, "not looked at: PySpark is not installed"},
      {"companions", beside(newest("3.5"), {}), CheckStatus::Ok, "none"},
      {"companions", beside(newest("3.5"), {{"delta-spark", "3.3.0", {"pyspark<3.6.0,>=3.5.3"}}}),
       CheckStatus::Ok, "1 beside PySpark " + newest("3.5") + ": all fit"},
      {"companions", beside(newest("3.3"), {{"pandas", "2.2.3"}, {"numpy", "1.26.4"}}),
       CheckStatus::Error, "2 beside PySpark " + newest("3.3") + ": 1 does not fit"},
      {"jars", beside("4.0.1", {}), CheckStatus::Ok, "not set"},
      {"jars",
       [=](Doctor& d) {
         d.install("pyspark", "4.0.1");
         d.tmp.file("spark/jars/scala-library-2.13.14.jar");
         d.tmp.file("spark/jars/hadoop-client-api-3.4.1.jar");
         d.env["SPARK_HOME"] = (d.tmp.path / "spark").string();
         d.env["PYSPARK_SUBMIT_ARGS"] = submit_args;
       },
       CheckStatus::Error,
       "io.delta:delta-spark_2.12:4.0.0 is built for Scala 2.12, but PySpark 4.0.1 runs Scala "
       "2.13",
       "export PYSPARK_SUBMIT_ARGS=\"--packages io.delta:delta-spark_2.13:4.0.0,"
       "org.apache.hadoop:hadoop-aws:3.4.1 pyspark-shell\""},
      {"jars",
       [](Doctor& d) {
         d.install("pyspark", newest("3.5"));
         d.tmp.file("conf/spark-defaults.conf",
                    "spark.jars.packages io.delta:delta-spark_2.13:3.3.0\n");
         d.env["SPARK_CONF_DIR"] = (d.tmp.path / "conf").string();
       },
       CheckStatus::Error,
       "built for Scala 2.13, but PySpark " + newest("3.5") + " runs Scala 2.12"},
      {"pandas", round_trip("AttributeError: 'DataFrame' object has no attribute 'iteritems'"),
       CheckStatus::Error,
       "fails: AttributeError: 'DataFrame' object has no attribute 'iteritems'"},
      {"pandas", round_trip(""), CheckStatus::Ok, "toPandas() work"},
      {"pandas",
       [](Doctor& d) {
         d.install("pyspark", newest("3.5"));
         d.options.deep = true;
         d.start_session = [](std::optional<bool>) { return SessionAnswer{true, "", false, ""}; };
       },
       CheckStatus::Ok, "not run: pandas is not installed"},
  });

  // The fixes name the interpreter's pip.
  Doctor d;
  beside(newest("3.3"), {{"pandas", "2.2.3"}})(d);
  const DoctorCheck companions = d.check("companions");
  EXPECT_EQ(companions.fix, pip(d) + "'pandas<2'");
  ASSERT_TRUE(companions.companions);
  ASSERT_EQ(companions.companions->size(), 1u);
  EXPECT_EQ(companions.companions->front().status, CheckStatus::Error);
  EXPECT_EQ(companions.companions->front().requirement, "pandas<2");
  Doctor e;
  round_trip("AttributeError: 'DataFrame' object has no attribute 'iteritems'")(e);
  EXPECT_EQ(e.check("pandas").fix, pip(e) + "'pandas<2'");
  Doctor conf;
  conf.install("pyspark", newest("3.5"));
  conf.tmp.file("conf/spark-defaults.conf",
                "spark.jars.packages io.delta:delta-spark_2.13:3.3.0\n");
  conf.env["SPARK_CONF_DIR"] = (conf.tmp.path / "conf").string();
  EXPECT_EQ(conf.check("jars").fix, "set spark.jars.packages io.delta:delta-spark_2.12:3.3.0 in " +
                                        (conf.tmp.path / "conf/spark-defaults.conf").string());
}

TEST(DoctorReport, AreasInOrderAndAReasonToldOnce) {
  Doctor d;
  d.interpreter.clear();
  d.compat.no_interpreter = true;
  const DoctorReport report = d.report();
  std::vector<std::string> areas;
  for (const auto& check : report.checks) areas.push_back(check.area);
  EXPECT_EQ(areas, (std::vector<std::string>{"interpreter", "pyspark", "companions", "java",
                                             "spark_home", "pyspark_python", "pyspark_submit_args",
                                             "jars", "computes", "project", "installer"}));
  EXPECT_FALSE(report.ok());
  EXPECT_EQ(report.checks[0].details, std::vector<std::string>{"no Python interpreter found"});
  EXPECT_EQ(report.checks[1].status, CheckStatus::Error);
  EXPECT_EQ(report.checks[1].summary, "cannot be checked (see Interpreter)");
  EXPECT_TRUE(report.checks[1].details.empty());
  // The areas that need no interpreter are still looked at.
  EXPECT_EQ(report.checks[4].status, CheckStatus::Ok);
}

TEST(DoctorCheck, ProjectDriftIsAnErrorFixedBySync) {
  Doctor d;
  EXPECT_EQ(d.check("project").status, CheckStatus::Ok);
  d.install("pyspark", "3.5.1");
  d.project = ProjectStatus{{"/p/pyproject.toml", "3.5", 17, std::nullopt},
                            {"3.5", newest("3.5"), "3.5", false, 17, std::nullopt},
                            true};
  EXPECT_EQ(d.check("project").status, CheckStatus::Ok);
  d.project->matches = false;
  const DoctorCheck drift = d.check("project");
  EXPECT_EQ(drift.status, CheckStatus::Error);
  EXPECT_EQ(drift.summary, "/p/pyproject.toml: PySpark 3.5, Java 17");
  EXPECT_EQ(drift.fix, "plo sync");
}

TEST(DoctorReport, TextAndJson) {
  DoctorReport report;
  report.checks.push_back(
      {"interpreter", "Interpreter", CheckStatus::Ok, "Python 3.11.9", {}, {}, {}});
  report.checks.push_back({"java",
                           "Java",
                           CheckStatus::Warning,
                           "17 at /jdk\x1b[2J",
                           {"SPARK_ENV_LOADED is set"},
                           "unset SPARK_ENV_LOADED",
                           {}});
  report.checks.push_back({"pyspark_submit_args",
                           "PYSPARK_SUBMIT_ARGS",
                           CheckStatus::Error,
                           "\"--master x\"",
                           {"does not end in pyspark-shell"},
                           "export PYSPARK_SUBMIT_ARGS=\"--master x pyspark-shell\"",
                           {}});
  report.checks.push_back(
      {"installer", "Installer", CheckStatus::Ok, "pip", {}, {}, "export PLO_INSTALLER=uv"});
  FakeConsole ascii;
  print_doctor_report(ascii, report, false);
  EXPECT_EQ(ascii.text(),
            "\n<cyan!>plo doctor</cyan!>\n" + std::string(40, '-') +
                "\n"
                "  [<green>v</green>] Interpreter: Python 3.11.9\n"
                "  [<yellow>!</yellow>] Java: 17 at /jdk\\x1b[2J\n"
                "      SPARK_ENV_LOADED is set\n"
                "      Fix: <cyan>unset SPARK_ENV_LOADED</cyan>\n"
                "  [<red>x</red>] PYSPARK_SUBMIT_ARGS: \"--master x\"\n"
                "      does not end in pyspark-shell\n"
                "      Fix: <cyan>export PYSPARK_SUBMIT_ARGS=\"--master x pyspark-shell\"</cyan>\n"
                "  [<green>v</green>] Installer: pip\n"
                "      Try: <cyan>export PLO_INSTALLER=uv</cyan>\n"
                "\n"
                "  <red>1 error, 1 warning</red>\n\n");
  FakeConsole unicode;
  print_doctor_report(unicode, report, true);
  EXPECT_NE(unicode.text().find("[<green>✓</green>]"), std::string::npos);
  EXPECT_NE(unicode.text().find("[<red>✗</red>]"), std::string::npos);

  DoctorReport with_companions;
  with_companions.checks.push_back({"companions",
                                    "Companions",
                                    CheckStatus::Error,
                                    "2 beside PySpark " + newest("3.3") + ": 1 does not fit",
                                    {},
                                    "/venv/bin/python -m pip install 'pandas<2'"});
  with_companions.checks[0].companions = {
      {CheckStatus::Ok, "delta-spark 2.3.0 (pyspark<3.4.0,>=3.3.0)", "delta-spark", "2.3.0",
       "pyspark<3.4.0,>=3.3.0", "", ""},
      {CheckStatus::Error, "pandas 2.2.3 with PySpark " + newest("3.3") + ": why", "pandas",
       "2.2.3", "pandas<2", "pandas 2.2.3 with PySpark " + newest("3.3") + ": why",
       "/venv/bin/python -m pip install 'pandas<2'"}};
  FakeConsole rows;
  print_doctor_report(rows, with_companions, false);
  EXPECT_NE(
      rows.text().find("  [<red>x</red>] Companions: 2 beside PySpark " + newest("3.3") +
                       ": 1 does not fit\n"
                       "      [<green>v</green>] delta-spark 2.3.0 (pyspark<3.4.0,>=3.3.0)\n"
                       "      [<red>x</red>] pandas 2.2.3 with PySpark " +
                       newest("3.3") +
                       ": why\n"
                       "      Fix: <cyan>/venv/bin/python -m pip install 'pandas<2'</cyan>\n"),
      std::string::npos)
      << rows.text();
  const auto rows_json = doctor_json(with_companions)["checks"][0];
  EXPECT_EQ(rows_json["companions"][0],
            nlohmann::ordered_json::parse(R"({"name": "delta-spark", "version": "2.3.0",
      "requirement": "pyspark<3.4.0,>=3.3.0", "fits": true, "reason": null, "fix": null})"));
  EXPECT_EQ(rows_json["companions"][1]["fits"], false);

  const auto json = doctor_json(report);
  EXPECT_FALSE(json["checks"][0].contains("companions"));
  EXPECT_EQ(json.begin().key(), "schema");
  EXPECT_EQ(json["ok"], false);
  EXPECT_EQ(json["checks"][0]["fix"], nullptr);
  EXPECT_EQ(json["checks"][1]["status"], "warning");
  EXPECT_EQ(json["checks"][2]["details"][0], "does not end in pyspark-shell");
  EXPECT_EQ(json["checks"][2]["suggestion"], nullptr);
  EXPECT_EQ(json["checks"][3]["suggestion"], "export PLO_INSTALLER=uv");
}

}  // namespace
}  // namespace plo
