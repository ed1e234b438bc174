#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue_meaning.h"
#include "project/pin_conflicts.h"
#include "project/project_pins.h"

namespace plo {
namespace {

// A pin as the tests compare it: where it is, what it allows, and what keeps it.
std::string shown(const ProjectPin& pin) {
  return pin.file + ":" + std::to_string(pin.line) + " " + pin.where + " [" + pin.specifiers +
         "] ;" + pin.marker + " " + pin.tool + (pin.locked ? " locked" : "");
}

std::vector<std::string> shown(const std::vector<ProjectPin>& pins) {
  std::vector<std::string> out;
  for (const ProjectPin& pin : pins) out.push_back(shown(pin));
  return out;
}

TEST(ProjectPins, ReadsEachPyprojectShape) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> pins;
  };
  const std::vector<Case> cases = {
      {"PEP 621 dependencies, extras and markers",
       "[project]\nname = \"x\"\ndependencies = [\n  \"numpy\",\n"
       "  \"PySpark[sql] >=3.5, <3.6 ; python_version >= '3.9'\",\n]\n",
       {"p:5 [project].dependencies [>=3.5,<3.6] ;python_version >= '3.9' "}},
      {"optional sets and dependency groups",
       "[project]\nname = \"x\"\n[project.optional-dependencies]\nspark = [\"pyspark==3.5.1\"]\n"
       "[dependency-groups]\ndev = [{include-group = \"spark\"}, \"pyspark~=3.5.0\"]\n",
       {"p:4 [project.optional-dependencies] spark [==3.5.1] ; ",
        "p:6 [dependency-groups] dev [~=3.5.0] ; "}},
      {"Poetry 1: caret, tilde, tables and groups",
       "[tool.poetry.dependencies]\npython = \"^3.10\"\npyspark = \"^3.5.1\"\n"
       "[tool.poetry.group.test.dependencies]\nPySpark = { version = \"~3.5\", markers = "
       "\"sys_platform == 'linux'\" }\n",
       {"p:3 [tool.poetry.dependencies] [>=3.5.1,<4] ; poetry",
        "p:5 [tool.poetry.group.test.dependencies] [>=3.5,<3.6] ;sys_platform == 'linux' poetry"}},
      {"Poetry 2 keeps [project] and [tool.poetry]",
       "[project]\ndependencies = [\"pyspark (>=3.5.0,<4.0.0)\"]\n[tool.poetry]\npackage-mode = "
       "false\n",
       {"p:2 [project].dependencies [>=3.5.0,<4.0.0] ; poetry"}},
      {"no pyspark anywhere", "[project]\ndependencies = [\"pysparkling==1\"]\n", {}},
      {"not TOML", "[project\ndependencies = [\"pyspark==3.5.1\"]\n", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shown(read_project_pins({.pyproject = std::make_pair("p", c.text)})), c.pins)
        << c.name;
  }
}

TEST(ProjectPins, RequirementsLinesAsPipReadsThem) {
  const std::string text =
      "# pinned for the cluster\n"
      "-r base.txt\n"
      "--index-url https://example.invalid/simple\n"
      "pyspark==3.5.1 \\\n"
      "    --hash=sha256:aaaa \\\n"
      "    --hash=sha256:bbbb\n"
      "pyspark[connect]>=3.5; python_version<'3.8'  # old Pythons\n"
      "pyspark-stubs==3.0\n"
      "pandas#not a comment without a blank\n"
      "pyspark @ https://example.invalid/pyspark-3.5.1.tar.gz\n";
  EXPECT_EQ(shown(requirements_pins("r.txt", text)),
            (std::vector<std::string>{"r.txt:4  [==3.5.1] ; pip",
                                      "r.txt:7  [>=3.5] ;python_version<'3.8' pip",
                                      "r.txt:10  [] ; pip"}));
}

TEST(ProjectPins, AWorkspaceLockHoldsItsMembersOnly) {
  const std::string member = "[project]\nname = \"Jobs_A\"\n";
  const auto lock = [](const std::string& name, const std::string& source) {
    return "version = 1\n[[package]]\nname = \"" + name +
           "\"\nversion = \"0.1.0\"\nsource = " + source + "\n";
  };
  EXPECT_TRUE(lock_holds_project(lock("jobs-a", "{ editable = \"packages/a\" }"), member));
  EXPECT_TRUE(lock_holds_project(lock("jobs-a", "{ virtual = \"packages/a\" }"), member));
  // A package of that name from an index is not the member.
  EXPECT_FALSE(
      lock_holds_project(lock("jobs-a", "{ registry = \"https://pypi.org/simple\" }"), member));
  EXPECT_FALSE(lock_holds_project(lock("jobs-b", "{ editable = \"packages/b\" }"), member));
  EXPECT_FALSE(lock_holds_project("not toml [", member));
}

TEST(PoetrySpecifiers, CaretTildeAndPlainForms) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"^3.5.1", ">=3.5.1,<4"},       {"^0.2.3", ">=0.2.3,<0.3"}, {"^0.0.3", ">=0.0.3,<0.0.4"},
      {"~3.5.1", ">=3.5.1,<3.6"},     {"~3", ">=3,<4"},           {"3.5.1", "==3.5.1"},
      {"3.5.*", "==3.5.*"},           {">=3.5, <4", ">=3.5,<4"},  {"*", ""},
      {"^3.5 || ^4.0", std::nullopt}, {"^x.y", std::nullopt},
  };
  for (const auto& [constraint, expected] : cases) {
    EXPECT_EQ(poetry_specifiers(constraint), expected) << constraint;
  }
}

ProjectPin pin(std::string specifiers, std::string tool = "uv", bool locked = false,
               std::string marker = "") {
  return {.file = "pyproject.toml",
          .line = 3,
          .text = "pyspark" + specifiers,
          .specifiers = std::move(specifiers),
          .marker = std::move(marker),
          .locked = locked,
          .tool = std::move(tool)};
}

TEST(PinConflicts, AgainstToolPloAndTheInstalledVersion) {
  const std::string old35 = "3.5.1";  // an older 3.5 patch than the catalogue's
  const std::string new35 = testing::newest("3.5");
  const std::string new40 = testing::newest("4.0");
  const PloWanted line40{.as_written = "4.0", .version = new40};
  const PloWanted line35{.as_written = "3.5", .version = new35};
  const MarkerEnvironment markers = {{"python_version", "3.11"}};
  struct Case {
    const char* name;
    ProjectPin pin;
    std::optional<PloWanted> plo;
    std::optional<std::string> installed;
    std::vector<std::string> fixes;  // one per conflict
  };
  const std::vector<Case> cases = {
      {"a line against another line's pin",
       pin("==" + old35),
       line40,
       std::nullopt,
       {"uv add \"pyspark==" + new40 + "\", or plo pin --pyspark " + old35}},
      {"a line admits an exact pin of that line", pin("==" + old35), line35, old35, {}},
      {"a range that admits the line's version", pin(">=3.5,<4"), line35, std::nullopt, {}},
      {"a marker that does not hold here",
       pin("==" + old35, "uv", false, "python_version<'3.8'"),
       line40,
       std::nullopt,
       {}},
      {"a lock against the installed version",
       pin("==" + old35, "uv", true),
       std::nullopt,
       new35,
       {"plo spark set-version " + old35 + ", or uv add \"pyspark==" + new35 + "\""}},
      {"a requirements file excluding the installed",
       pin("<3.5", "pip"),
       std::nullopt,
       new35,
       {"edit pyproject.toml line 3: pyspark==" + new35 + " (plo does not rewrite it)"}},
      {"told once when against both",
       pin("==" + old35, "poetry"),
       line40,
       new35,
       {"poetry add pyspark==" + new40 + ", or plo pin --pyspark " + old35}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> fixes;
    for (const PinConflict& conflict : pin_conflicts({c.pin}, c.plo, c.installed, markers)) {
      fixes.push_back(conflict.fix);
    }
    EXPECT_EQ(fixes, c.fixes) << c.name;
  }
}

TEST(SolePinnedVersion, OneExactVersionThatEveryPinAdmits) {
  const std::string v = testing::newest("3.5");
  const MarkerEnvironment markers = {{"python_version", "3.11"}};
  EXPECT_EQ(sole_pinned_version({pin("==" + v), pin("==" + v, "uv", true)}, markers), v);
  EXPECT_EQ(sole_pinned_version({pin("==" + v), pin(">=3.5,<3.6")}, markers), v);
  EXPECT_EQ(sole_pinned_version({pin("==" + v), pin("==3.5.1", "pip")}, markers), std::nullopt);
  EXPECT_EQ(sole_pinned_version({pin("==" + v), pin("<3.5", "pip")}, markers), std::nullopt);
  EXPECT_EQ(sole_pinned_version({pin(">=3.5")}, markers), std::nullopt);
  EXPECT_EQ(sole_pinned_version(
                {pin("==" + v), pin("==3.5.1", "pip", false, "python_version<'3.8'")}, markers),
            v);
}

}  // namespace
}  // namespace plo
