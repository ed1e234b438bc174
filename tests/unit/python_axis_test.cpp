#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "blocks.h"
#include "environment/interpreter_cache.h"
#include "fakes.h"
#include "spark/json_report.h"

namespace plo::testing {
namespace {

using nlohmann::ordered_json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

bool has_line(const FakeConsole& console, const std::string& line) {
  return std::find(console.lines.begin(), console.lines.end(), line) != console.lines.end();
}

TEST(PythonSupport, BelowAndMajorMinor) {
  const PythonRange range{"3.9", "3.13"};
  EXPECT_TRUE(python_below("3.8.18", range));
  EXPECT_FALSE(python_below("3.14.0a1", range));
  EXPECT_FALSE(python_below("3.10.13", range));
  EXPECT_EQ(python_major_minor("3.13.0rc1"), "3.13");
  EXPECT_EQ(python_major_minor("3.10"), "3.10");
  EXPECT_EQ(python_fit(std::nullopt, range), std::nullopt);
  EXPECT_EQ(python_fit("3.12.1", std::nullopt), std::nullopt);
  EXPECT_EQ(python_fit("3.14.0", range), false);
}

TEST(ImportPathQuery, PythonVersionAfterItsMarker) {
  using namespace std::string_literals;
  const struct {
    std::string output;
    std::optional<std::string> version;
  } cases[] = {
      {"noise plo-python-version\0003.10.13\0plo-site-folders\0"s, "3.10.13"},
      {"plo-python-version\0003.13.0rc1\0"s, "3.13.0rc1"},
      {"plo-python-version\0003.10.13"s, std::nullopt},  // cut short
      {"plo-python-version\0\0"s, std::nullopt},
      {"plo-python-version\0\x1b[31m3\0"s, std::nullopt},
      {"plo-python-version\0"s + std::string(40, '3') + "\0"s, std::nullopt},
      {"plo-site-folders\0/a\0"s, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_python_version(c.output), c.version) << c.output;
  EXPECT_THAT(import_path_query_script(), HasSubstr("plo-python-version"));
}

// The version is kept with the import path: a warm cache answers both without asking; a record
// of a plo that did not keep it is a miss.
TEST(InterpreterCache, KeepsThePythonVersion) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(::testing::TempDir()) / "plo-python-cache";
  fs::remove_all(root);
  fs::create_directories(root / "venv/bin");
  std::ofstream(root / "venv/bin/python", std::ios::binary) << "\x7f"
                                                            << "ELF";
  const auto past = fs::file_time_type::clock::now() - std::chrono::seconds(1000);
  for (const char* path : {"venv/bin/python", "venv/bin", "venv"}) {
    fs::last_write_time(root / path, past);
  }
  int asked = 0;
  const auto lookup = [&] {
    return cached_interpreter_answer(
        root / "cache", (root / "venv/bin/python").string(),
        [&] {
          ++asked;
          return ImportPathAnswer{{(root / "venv").string()}, {}, "3.10.13"};
        },
        std::chrono::nanoseconds(0));
  };
  EXPECT_EQ(lookup().python_version, "3.10.13");
  const CachedAnswer warm = lookup();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(warm.python_version, "3.10.13");
  EXPECT_EQ(warm.import_path, std::vector<std::string>{(root / "venv").string()});

  const fs::path file = fs::directory_iterator(root / "cache")->path();
  std::string text;
  {
    std::ifstream in(file, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string field = std::string("python\0003.10.13\0", 15);
  ASSERT_NE(text.find(field), std::string::npos);
  text.erase(text.find(field), field.size());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  EXPECT_EQ(lookup().python_version, "3.10.13");
  EXPECT_EQ(asked, 2);
  fs::remove_all(root);
}

TEST(Check, PythonOutsideTheLineIsRedAndFalse) {
  TaskFixture f;
  f.compat.install("3.3.4");
  f.compat.java = JavaInfo{17, "Debian", "/jdk17"};
  f.compat.python = "3.13.0";
  EXPECT_FALSE(f.task().check());
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"<green>  Java 17 is compatible with PySpark 3.3</green>", "",
       "<red>  Python 3.13 is not supported by PySpark 3.3 (Python 3.7 to 3.10)</red>", "",
       "  Run 'plo spark set-version' to select a version that supports Python 3.13", ""}))
      << f.console.text();
  const auto document = check_json(f.task().check_report());
  EXPECT_EQ(document["python_version"], "3.13.0");
  EXPECT_EQ(document["python_supported"], ordered_json::parse(R"({"min": "3.7", "max": "3.10"})"));
  EXPECT_EQ(document["python_fits"], false);
}

TEST(Check, PythonThatFitsOrIsUnknownAddsNothing) {
  for (const std::optional<std::string>& python :
       {std::optional<std::string>("3.10.13"), std::optional<std::string>(std::nullopt)}) {
    TaskFixture f;
    f.compat.install("3.3.4");
    f.compat.java = JavaInfo{17, "Debian", "/jdk17"};
    f.compat.python = python;
    EXPECT_TRUE(f.task().check());
    EXPECT_EQ(f.console.lines.size(), 16u) << f.console.text();
    EXPECT_EQ(check_json(f.task().check_report())["python_fits"],
              python ? ordered_json(true) : ordered_json(nullptr));
  }
}

TEST(VersionsJson, PythonPerEntryAndOnce) {
  TaskFixture f;
  f.compat.versions = {{"4.3.0", "4.3", "latest"}, {"9.9.0", "9.9", ""}};
  f.compat.python = "3.10.13";
  const auto document = versions_json(f.task().versions_report());
  EXPECT_EQ(document["python_version"], "3.10.13");
  EXPECT_EQ(document["versions"][0]["python_supported"],
            ordered_json::parse(R"({"min": "3.11", "max": "3.14"})"));
  EXPECT_EQ(document["versions"][0]["python_fits"], false);
  EXPECT_TRUE(document["versions"][1]["python_supported"].is_null());
  EXPECT_TRUE(document["versions"][1]["python_fits"].is_null());
}

TEST(SetVersionMenu, PythonMarkAfterTheJavaMarkWithItsLegend) {
  TaskFixture f;
  f.compat.java = JavaInfo{17, "Debian", "/jdk"};
  f.compat.python = "3.10.13";
  f.compat.versions = {{"4.3.0", "4.3", "latest"}, {"4.1.3", "4.1", ""}, {"3.3.4", "3.3", ""}};
  f.console.answers = {FakeConsole::Cancel{}};
  EXPECT_FALSE(f.task().set_version());
  EXPECT_TRUE(has_line(f.console,
                       "  [1] PySpark 4.3.0<green> (latest)</green><green> [OK]</green><red> "
                       "[!py]</red>"))
      << f.console.text();
  EXPECT_TRUE(has_line(f.console, "  [2] PySpark 4.1.3<green> [OK]</green>"));
  EXPECT_TRUE(
      has_block(f.console.lines,
                {"  Your Java: 17 (Debian)", "  [OK] = compatible, [!] = requires different Java",
                 "  [!py] = requires different Python (yours: 3.10.13)", ""}))
      << f.console.text();

  // No version excludes the Python: no legend line.
  TaskFixture fits;
  fits.compat.python = "3.10.13";
  fits.compat.versions = {{"4.1.3", "4.1", ""}};
  fits.console.answers = {FakeConsole::Cancel{}};
  fits.task().set_version();
  for (const auto& line : fits.console.lines) EXPECT_THAT(line, Not(HasSubstr("!py")));
}

TEST(SetVersionChoice, PythonWarningEachWayAndItsQuestion) {
  struct Case {
    std::string python;
    std::string requested;
    std::string warning;
  } cases[] = {
      {"3.10.13", "4.3", "<yellow>Warning: PySpark 4.3 requires Python 3.11 or newer</yellow>"},
      {"3.13.0", "3.3.4", "<yellow>Warning: PySpark 3.3 supports Python up to 3.10</yellow>"},
  };
  for (const auto& c : cases) {
    TaskFixture declined;
    declined.compat.python = c.python;
    declined.console.answers = {std::string("n")};
    EXPECT_FALSE(declined.task().set_version(c.requested));
    EXPECT_TRUE(has_block(declined.console.lines, {c.warning, "   Your Python: " + c.python}))
        << declined.console.text();
    EXPECT_EQ(declined.console.questions.back(), "Install anyway?");
    EXPECT_TRUE(declined.runner.runs.empty());

    TaskFixture accepted;
    accepted.compat.python = c.python;
    accepted.console.answers = {std::string("y")};
    accepted.task().set_version(c.requested);
    EXPECT_EQ(accepted.runner.steps().front(),
              "install:" + requested_version(c.requested, PYSPARK_VERSIONS).value());
  }
}

TEST(SmokeImportFailure, OnlyATracebackEndingAtTheImportLine) {
  const std::string import_line = "  File \"<string>\", line 4, in <module>\n";
  const std::string start_line = "  File \"<string>\", line 5, in <module>\n";
  const std::string head = "Traceback (most recent call last):\n";
  const struct {
    std::string what;
    std::string err;
    std::optional<std::string> line;
  } cases[] = {
      {"missing module",
       head + import_line +
           "  File \"/v/pyspark/__init__.py\", line 5, in <module>\n"
           "    import distutils\nModuleNotFoundError: No module named "
           "'distutils'\n",
       "ModuleNotFoundError: No module named 'distutils'"},
      {"syntax error in a module",
       head + import_line +
           "  File \"/v/pyspark/sql/types.py\", line 3\n"
           "    def f(:\n          ^\nSyntaxError: invalid syntax\n",
       "SyntaxError: invalid syntax"},
      {"chained: the last traceback counts",
       head + start_line +
           "KeyError: 'x'\n\nDuring handling of the above exception, another "
           "exception occurred:\n\n" +
           head + import_line + "ImportError: cannot import name 'Row'\n",
       "ImportError: cannot import name 'Row'"},
      {"JVM failed after the import",
       head + start_line +
           "  File \"/v/pyspark/java_gateway.py\", line 9\n"
           "RuntimeError: Java gateway process exited\n",
       std::nullopt},
      {"coloured (FORCE_COLOR)",
       head +
           "  File \x1b[35m\"<string>\"\x1b[0m, line \x1b[35m4\x1b[0m, in "
           "\x1b[35m<module>\x1b[0m\n" +
           "\x1b[1;35mModuleNotFoundError\x1b[0m: \x1b[35mNo module named 'x'\x1b[0m\n",
       "ModuleNotFoundError: No module named 'x'"},
      {"no traceback", "ImportError: no module\n", std::nullopt},
      {"cut before the exception", head + import_line, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(smoke_import_failure(c.err), c.line) << c.what;
}

const FakeRunner::Outcome kImportFails{
    1, "",
    "Traceback (most recent call last):\n  File \"<string>\", line 4, in <module>\n"
    "  File \"/venv/site/pyspark/__init__.py\", line 3, in <module>\n"
    "    from py4j.java_gateway import JavaObject\n"
    "ModuleNotFoundError: No module named 'distutils'\n",
    false, false};

TEST(InstallPhase, ImportFailureOffersTheRollback) {
  TaskFixture f;
  f.compat.install("3.5.9");
  f.compat.python = "3.13.0";
  f.runner.smoke_outcome = kImportFails;
  f.console.answers = {std::string("y"), std::string("")};
  EXPECT_FALSE(f.task().set_version("3.3.4"));
  EXPECT_THAT(f.runner.steps(),
              ElementsAre("uninstall", "install:3.3.4", "smoke", "uninstall", "install:3.5.9"));
  EXPECT_EQ(f.console.questions.back(), "Rollback to PySpark 3.5.9?");
  EXPECT_TRUE(
      has_block(f.console.lines,
                {"<red>PySpark 3.3.4 cannot be imported: ModuleNotFoundError: No module named "
                 "'distutils'</red>",
                 "", "   PySpark 3.3 runs on Python 3.7 to 3.10; yours is 3.13.0.", ""}))
      << f.console.text();
  EXPECT_TRUE(has_line(f.console, "<green>Restored PySpark 3.5.9</green>"));
  EXPECT_FALSE(has_line(f.console, "<green>PySpark 3.3.4 installed successfully</green>"));
  EXPECT_EQ(f.compat.pyspark->version, "3.5.9");

  // Nothing to go back to: the new version stays, and the result is still false.
  TaskFixture fresh;
  fresh.runner.smoke_outcome = kImportFails;
  EXPECT_FALSE(fresh.task().set_version("3.3.4"));
  EXPECT_TRUE(fresh.console.questions.empty());
  EXPECT_TRUE(has_line(fresh.console,
                       "   Run 'plo spark set-version' to choose a version that works here"));
}

}  // namespace
}  // namespace plo::testing
