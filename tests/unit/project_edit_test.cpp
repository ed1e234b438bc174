// What a uv or Poetry project's own tool is asked to run so that it keeps a switched PySpark.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "catalogue_meaning.h"
#include "project/project_edit.h"
#include "project/project_pins.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

ProjectEditFacts facts_of(const std::string& pyproject, const std::string& lock_name,
                          const std::string& lock_text) {
  PinTexts texts{.pyproject = std::pair{"/p/pyproject.toml", pyproject}};
  if (lock_name == "uv.lock") texts.uv_lock = std::pair{"/p/uv.lock", lock_text};
  if (lock_name == "poetry.lock") texts.poetry_lock = std::pair{"/p/poetry.lock", lock_text};
  return {.pins = read_project_pins(texts),
          .markers = {{"python_version", "3.11"}},
          .folder = "/p",
          .lock = lock_name.empty() ? "" : "/p/" + lock_name,
          .locked_names = locked_package_names(lock_text),
          .owns_environment = true,
          .uv = "/bin/uv",
          .poetry = "/bin/poetry"};
}

std::string lock_of(const std::string& pyspark, const std::string& delta = "") {
  std::string text =
      "version = 1\n[[package]]\nname = \"pyspark\"\nversion = \"" + pyspark + "\"\n";
  if (!delta.empty()) text += "[[package]]\nname = \"delta-spark\"\nversion = \"" + delta + "\"\n";
  return text;
}

TEST(ProjectEdit, TheProjectsToolRunsInTheSectionTheRequirementIsIn) {
  const std::string old = newest("3.5");
  const std::string to = newest("4.0");
  struct Case {
    std::string name, pyproject, lock_name, lock_text;
    std::vector<std::string> shown;  // empty: nothing to run
  } cases[] = {
      {"main dependencies, extras and marker kept",
       "[project]\nname = \"p\"\ndependencies = [\"pyspark[sql]==" + old +
           "; python_version >= '3.9'\"]\n",
       "uv.lock",
       lock_of(old),
       {"uv add --no-sync --directory=/p 'pyspark[sql]==" + to +
        "; python_version >= '\\''3.9'\\'''"}},
      {"a dependency group",
       "[project]\nname = \"p\"\n[dependency-groups]\ndev = [\"pyspark==" + old + "\"]\n",
       "uv.lock",
       lock_of(old),
       {"uv add --no-sync --directory=/p pyspark==" + to + " --group=dev"}},
      {"an optional set",
       "[project]\nname = \"p\"\n[project.optional-dependencies]\nspark = [\"pyspark==" + old +
           "\"]\n",
       "uv.lock",
       lock_of(old),
       {"uv add --no-sync --directory=/p pyspark==" + to + " --optional=spark"}},
      {"a range that admits it: only the lock moves, with the companion it holds",
       "[project]\nname = \"p\"\ndependencies = [\"pyspark>=3.5\"]\n",
       "uv.lock",
       lock_of(old, "3.3.0"),
       {"uv lock --directory=/p --upgrade-package=pyspark==" + to +
        " --upgrade-package=delta-spark==4.0.0"}},
      {"pins and lock already hold it",
       "[project]\nname = \"p\"\ndependencies = [\"pyspark==" + to + "\"]\n",
       "uv.lock",
       lock_of(to),
       {}},
      {"a requirements-only project is not the tool's", "[project]\nname = \"p\"\n", "", "", {}},
      {"Poetry's group",
       "[tool.poetry]\nname = \"p\"\n[tool.poetry.group.spark.dependencies]\npyspark = \"^" + old +
           "\"\n",
       "poetry.lock",
       lock_of(old),
       {"poetry add --lock --directory=/p pyspark==" + to + " --group=spark"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProjectEditPlan plan = plan_project_edit(facts_of(c.pyproject, c.lock_name, c.lock_text),
                                                   to, {{"delta-spark", "4.0.0"}});
    EXPECT_FALSE(plan.refusal);
    if (c.shown.empty()) {
      EXPECT_FALSE(plan.edit);
      continue;
    }
    ASSERT_TRUE(plan.edit);
    EXPECT_EQ(plan.edit->shown, c.shown);
    if (plan.edit->commands.front()[1] == "lock") {
      EXPECT_THAT(plan.edit->files, ElementsAre("/p/uv.lock"));
    } else {
      EXPECT_THAT(plan.edit->files, ElementsAre("/p/pyproject.toml", "/p/" + c.lock_name));
    }
  }
}

TEST(ProjectEdit, AnotherEnvironmentIsLeftAloneAndAMissingToolRefuses) {
  const std::string pyproject =
      "[project]\nname = \"p\"\ndependencies = [\"pyspark==" + newest("3.5") + "\"]\n";
  ProjectEditFacts facts = facts_of(pyproject, "uv.lock", lock_of(newest("3.5")));
  facts.owns_environment = false;
  EXPECT_FALSE(plan_project_edit(facts, newest("4.0"), {}).edit);

  facts.owns_environment = true;
  facts.uv.reset();
  const ProjectEditPlan plan = plan_project_edit(facts, newest("4.0"), {});
  ASSERT_TRUE(plan.refusal);
  EXPECT_THAT(*plan.refusal, HasSubstr("uv is not on PATH"));
  EXPECT_THAT(plan.mend.back(), HasSubstr("--no-project"));
  ASSERT_TRUE(plan.edit);  // what --no-project leaves
  EXPECT_EQ(plan.edit->undone_by, "uv sync or uv run");
}

}  // namespace
}  // namespace plo::testing
