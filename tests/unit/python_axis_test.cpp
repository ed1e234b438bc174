#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include "blocks.h"
#include "catalogue_meaning.h"
#include "environment/pyspark_detect.h"
#include "fakes.h"
#include "spark/json_report.h"

namespace plo::testing {
namespace {

using nlohmann::ordered_json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

bool has_line(const FakeConsole& console, const std::string& line) {
  return std::find(console.lines.begin(), console.lines.end(), line) != console.lines.end();
}

TEST(ImportPathQuery, PythonVersionAfterItsMarker) {
  using namespace std::string_literals;
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"noise plo-python-version\0003.10.13\0plo-site-folders\0"s, "3.10.13"},
      {"plo-python-version\0003.13.0rc1\0"s, "3.13.0rc1"},
      {"plo-python-version\0003.10.13"s, std::nullopt},  // cut short
      {"plo-python-version\0\0"s, std::nullopt},
      {"plo-python-version\0\x1b[31m3\0"s, std::nullopt},
      {"plo-python-version\0"s + std::string(40, '3') + "\0"s, std::nullopt},
  };
  for (const auto& [output, version] : cases) EXPECT_EQ(parse_python_version(output), version);
}

TEST(Check, PythonOutsideTheLineIsRedAndFalseUnknownOrFittingAddsNothing) {
  const struct {
    std::optional<std::string> python;
    bool ok;
    ordered_json fits;
  } cases[] = {{"3.13.0", false, false}, {"3.10.13", true, true}, {std::nullopt, true, nullptr}};
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.install(newest("3.3"));
    f.compat.java = JavaInfo{17, "Debian", "/jdk17"};
    f.compat.python = c.python;
    EXPECT_EQ(f.task().check(), c.ok);
    EXPECT_EQ(f.console.lines.size(), c.ok ? 16u : 20u) << f.console.text();
    const auto document = check_json(f.task().check_report());
    EXPECT_EQ(document["python_fits"], c.fits);
    EXPECT_EQ(document["python_supported"], ordered_json::parse(R"({"min":"3.7","max":"3.10"})"));
  }
}

TEST(VersionsJson, PythonPerEntryAndOnce) {
  TaskFixture f;
  f.compat.versions = {{newest("4.3"), "4.3", "latest"}, {"9.9.0", "9.9", ""}};
  f.compat.python = "3.10.13";
  const auto document = versions_json(f.task().versions_report());
  EXPECT_EQ(document["python_version"], "3.10.13");
  EXPECT_EQ(document["versions"][0]["python_fits"], false);
  EXPECT_TRUE(document["versions"][1]["python_fits"].is_null());
}

TEST(SetVersion, PythonMarkLegendAndWarningEachWay) {
  TaskFixture f;
  f.compat.python = "3.10.13";
  f.compat.versions = {{newest("4.3"), "4.3", "latest"}, {newest("4.1"), "4.1", ""}};
  f.console.answers = {std::string("1"), std::string("n")};
  EXPECT_FALSE(f.task().set_version());
  EXPECT_TRUE(has_block(
      f.console.lines,
      {"  [1] PySpark " + newest("4.3") + "<green> (latest)</green><yellow> [!py]</yellow>",
       "      Requires Java: 17, 21, 25", "", "  [2] PySpark " + newest("4.1")}))
      << f.console.text();
  EXPECT_TRUE(has_block(f.console.lines,
                        {"  [!py] = requires different Python (yours: 3.10.13)", "", "",
                         "<yellow>Warning: PySpark 4.3 requires Python 3.11 or newer</yellow>",
                         "   Your Python: 3.10.13"}))
      << f.console.text();
  EXPECT_EQ(f.console.questions.back(), "Install anyway?");
  EXPECT_TRUE(f.runner.runs.empty());

  TaskFixture too_new;
  too_new.compat.python = "3.13.0";
  too_new.console.answers = {std::string("y")};
  EXPECT_TRUE(too_new.task().set_version(newest("3.3")));
  EXPECT_TRUE(has_line(too_new.console,
                       "<yellow>Warning: PySpark 3.3 supports Python up to 3.10</yellow>"));

  TaskFixture fits;  // no mark: no legend
  fits.compat.python = "3.10.13";
  fits.compat.versions = {{newest("4.1"), "4.1", ""}};
  fits.console.answers = {FakeConsole::Cancel{}};
  fits.task().set_version();
  for (const auto& line : fits.console.lines) EXPECT_THAT(line, ::testing::Not(HasSubstr("!py")));
}

TEST(SmokeImportFailure, OnlyATracebackEndingAtTheImportLine) {
  const std::string head = "Traceback (most recent call last):\n";
  const std::string at_import = "  File \"<string>\", line 4, in <module>\n";
  const std::string at_start = "  File \"<string>\", line 5, in <module>\n";
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {head + at_import + "  File \"/v/pyspark/__init__.py\", line 5, in <module>\n" +
           "    import distutils\nModuleNotFoundError: No module named 'distutils'\n",
       "ModuleNotFoundError: No module named 'distutils'"},
      {head + at_import + "  File \"/v/pyspark/sql/types.py\", line 3\n    def f(:\n" +
           "          ^\nSyntaxError: invalid syntax\n",
       "SyntaxError: invalid syntax"},
      {head + at_start + "KeyError: 'x'\n\nDuring handling of the above exception, another " +
           "exception occurred:\n\n" + head + at_import + "ImportError: cannot import 'Row'\n",
       "ImportError: cannot import 'Row'"},  // the last traceback counts
      {head + "  File \x1b[35m\"<string>\"\x1b[0m, line \x1b[35m4\x1b[0m, in <module>\n" +
           "\x1b[1;35mModuleNotFoundError\x1b[0m: \x1b[35mNo module named 'x'\x1b[0m\n",
       "ModuleNotFoundError: No module named 'x'"},  // coloured by FORCE_COLOR
      {head + at_start + "RuntimeError: Java gateway process exited\n", std::nullopt},
      {"ImportError: no module\n", std::nullopt},
      {head + at_import, std::nullopt},
  };
  for (const auto& [err, line] : cases) EXPECT_EQ(smoke_import_failure(err), line) << err;
}

TEST(InstallPhase, ImportFailureOffersTheRollback) {
  const FakeRunner::Outcome import_fails{
      1, "",
      "Traceback (most recent call last):\n  File \"<string>\", line 4, in <module>\n"
      "  File \"/venv/site/pyspark/__init__.py\", line 3, in <module>\n"
      "    from py4j.java_gateway import JavaObject\n"
      "ModuleNotFoundError: No module named 'distutils'\n",
      false, false};
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.python = "3.13.0";
  f.runner.smoke_outcome = import_fails;
  f.console.answers = {std::string("y"), std::string("")};
  EXPECT_FALSE(f.task().set_version(newest("3.3")));
  EXPECT_THAT(f.runner.steps(), ElementsAre("uninstall", "install:" + newest("3.3"), "smoke",
                                            "uninstall", "install:" + newest("3.5")));
  EXPECT_EQ(f.console.questions.back(), "Rollback to PySpark " + newest("3.5") + "?");
  EXPECT_TRUE(has_block(f.console.lines,
                        {"<red>PySpark " + newest("3.3") +
                             " cannot be imported: ModuleNotFoundError: No module named "
                             "'distutils'</red>",
                         "", "   PySpark 3.3 runs on Python 3.7 to 3.10; yours is 3.13.0.", ""}))
      << f.console.text();
  EXPECT_EQ(f.compat.pyspark->version, newest("3.5"));

  TaskFixture fresh;  // nothing to go back to: the new version stays, still false
  fresh.runner.smoke_outcome = import_fails;
  EXPECT_FALSE(fresh.task().set_version(newest("3.3")));
  EXPECT_TRUE(fresh.console.questions.empty());
  EXPECT_TRUE(has_line(fresh.console,
                       "   Run 'plo spark set-version' to choose a version that works here"));
}

}  // namespace
}  // namespace plo::testing
