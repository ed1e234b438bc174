#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "catalogue/runtimes.h"
#include "fakes.h"
#include "runtimes/runtime_fit.h"
#include "runtimes/runtimes_task.h"

namespace plo {
namespace {

using ::testing::Contains;
using testing::FakeCompat;
using testing::FakeConsole;
using testing::FakeJavaEnvironment;
using ::testing::HasSubstr;

const ManagedRuntime& runtime(const char* name) {
  const ManagedRuntime* found = find_runtime(name);
  if (!found) throw std::runtime_error(std::string("no runtime ") + name);
  return *found;
}

// Another patch of the same line as `version` ("3.5.4" -> "3.5.1" or "3.5.5").
std::string other_patch(const std::string& version) {
  const std::string line = version.substr(0, version.rfind('.') + 1);
  return line + (version.ends_with(".1") ? "2" : "1");
}

PySparkInfo pyspark_of(const std::string& version) {
  return {version, major_minor_of(version), {}, std::nullopt, "/venv/site/pyspark"};
}

std::vector<std::string> failing(const RuntimeFit& fit) {
  std::vector<std::string> components;
  for (const FitRow& row : fit.rows) {
    if (!row.ok) components.push_back(row.component + ": " + row.fix);
  }
  return components;
}

// The comparison row by row: exactly the components that differ fail, each with its fix.
TEST(RuntimeFit, EachDifferenceIsOneRowWithItsFix) {
  const ManagedRuntime& glue5 = runtime("glue-5.0");
  const ManagedRuntime& glue4 = runtime("glue-4.0");
  // This environment: the Glue 5.0 line at another patch, its Python and its Java.
  LocalEnvironment local;
  local.pyspark = pyspark_of(other_patch(glue5.spark));
  local.python = glue5.pythons.back() + ".7";
  local.java = JavaInfo{*glue5.java, "Eclipse Adoptium", "/jdk", "pin"};
  local.jdk_majors = {*glue5.java};

  EXPECT_THAT(failing(fit_runtime(glue5, local)),
              ::testing::ElementsAre("PySpark: plo spark set-version " + glue5.spark));
  const auto older = failing(fit_runtime(glue4, local));
  EXPECT_THAT(older,
              ::testing::ElementsAre("PySpark: plo spark set-version " + glue4.spark,
                                     "Python: uv venv --python " + glue4.pythons.back(),
                                     "Java: plo java install " + std::to_string(*glue4.java)));

  local.pyspark = pyspark_of(glue5.spark);
  EXPECT_TRUE(fit_runtime(glue5, local).ok());
  // A found JDK of the runtime's Java is pinned rather than installed.
  local.jdk_majors.push_back(*glue4.java);
  EXPECT_THAT(failing(fit_runtime(glue4, local)),
              Contains("Java: plo java set " + std::to_string(*glue4.java)));
  // Delta only where delta-spark is installed: then its version counts.
  local.delta = other_patch(glue5.delta);
  EXPECT_THAT(failing(fit_runtime(glue5, local)),
              ::testing::ElementsAre("Delta: pip install delta-spark==" + glue5.delta));
}

// A runtime that names only a line, or no Python of PySpark's own range: the line fits any patch,
// and the difference from PySpark's declared Python is noted, not failed.
TEST(RuntimeFit, LinesAndPythonNotes) {
  EXPECT_TRUE(version_fits("3.2.4", "3.2"));
  EXPECT_FALSE(version_fits("3.3.0", "3.2"));
  EXPECT_FALSE(version_fits("3.5.1", "3.5.4"));
  const ManagedRuntime& dataproc = runtime("dataproc-serverless-2.2");
  LocalEnvironment local;
  local.python = dataproc.pythons.back();
  const RuntimeFit fit = fit_runtime(dataproc, local);
  ASSERT_TRUE(fit.python_note.has_value());
  EXPECT_THAT(*fit.python_note, HasSubstr(dataproc.title + " runs " + dataproc.pythons.back()));
  EXPECT_FALSE(fit_runtime(runtime("glue-5.0"), local).python_note.has_value());
}

Jdk jdk(const std::string& home, int major) {
  return {home, major, std::to_string(major), "Eclipse Adoptium", "/jdks", false};
}

struct UseFixture {
  FakeConsole console;
  FakeCompat compat;
  FakeJavaEnvironment java;
  std::vector<std::string> installs;
  bool install_works = true;

  RuntimesTask task() {
    return RuntimesTask({.console = console,
                         .compat = compat,
                         .java = java,
                         .install_pyspark =
                             [this](const std::string& version, const std::string& home) {
                               installs.push_back(version + "@" + home);
                               if (install_works) compat.install(version);
                               return install_works;
                             },
                         .unicode_marks = false});
  }
};

// use installs the runtime's exact patch through the install door and pins a JDK of its Java, the
// pin first where a PySpark holds it; without such a JDK it names `plo java install`.
TEST(RuntimesUse, InstallsThePatchAndPinsTheJava) {
  const ManagedRuntime& glue5 = runtime("glue-5.0");
  UseFixture f;
  f.compat.install(other_patch(glue5.spark));
  f.java.jdks = {jdk("/jdks/" + std::to_string(*glue5.java), *glue5.java)};
  EXPECT_TRUE(f.task().use("glue-5.0"));
  EXPECT_THAT(f.installs,
              ::testing::ElementsAre(glue5.spark + "@/jdks/" + std::to_string(*glue5.java)));
  EXPECT_EQ(f.java.pinned, "/jdks/" + std::to_string(*glue5.java));

  UseFixture none;
  EXPECT_FALSE(none.task().use("glue-5.0"));
  EXPECT_THAT(none.installs, ::testing::ElementsAre(glue5.spark + "@"));
  EXPECT_THAT(none.console.lines,
              Contains(HasSubstr("run 'plo java install " + std::to_string(*glue5.java) + "'")));
}

// A failed install leaves the pin as it was and says so; an unknown name installs nothing and
// lists the closest names.
TEST(RuntimesUse, FailuresChangeNothing) {
  const ManagedRuntime& glue5 = runtime("glue-5.0");
  UseFixture f;
  f.install_works = false;
  f.compat.install(other_patch(glue5.spark));
  f.java.pinned = "/jdks/old";
  f.java.jdks = {jdk("/jdks/new", *glue5.java)};
  EXPECT_FALSE(f.task().use("glue-5.0"));
  EXPECT_EQ(f.java.pinned, "/jdks/old");

  UseFixture typo;
  EXPECT_FALSE(typo.task().use("glue-5.9"));
  EXPECT_TRUE(typo.installs.empty());
  EXPECT_THAT(typo.console.lines, Contains(HasSubstr("glue-5.0")));
  EXPECT_EQ(closest_runtime_names("glue-5.9").front().substr(0, 5), "glue-");
}

}  // namespace
}  // namespace plo
