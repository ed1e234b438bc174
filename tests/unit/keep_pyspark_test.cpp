// Installing only where the installer can, checking what it did, and keeping the old PySpark.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "catalogue/pep440.h"
#include "catalogue_meaning.h"
#include "fakes.h"
#include "spark/pyspark_stash.h"
#include "util/text.h"

namespace plo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

bool has_line(const FakeConsole& console, const std::string& line) {
  return std::find(console.lines.begin(), console.lines.end(), line) != console.lines.end();
}

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "plo-unit-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

std::string read(const fs::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Pep440, NormalisesPlainVersionsAndRefusesTheRest) {
  struct Case {
    std::string text;
    std::optional<std::string> key;
  } cases[] = {
      {"3.5.9", "3.5.9"},
      {"3.5.09", "3.5.9"},
      {"3.5.0", "3.5"},
      {"4", "4"},
      {"4.0.0RC1", "4rc1"},
      {"4.0.0-rc.1", "4rc1"},
      {"4.0.0preview2", "4rc2"},
      {"3.4.1.dev2", "3.4.1.dev2"},
      {"3.4.1-1", "3.4.1.post1"},
      {"3.4.1.post", "3.4.1.post0"},
      {"1!2.0", "1!2"},
      {"3.5.1+Local.7", "3.5.1+local.7"},
      {"v3.5.1", "3.5.1"},
      {"3.5.1+abc.05", "3.5.1+abc.5"},
      {"3.5.1+abc-007_x", "3.5.1+abc.7.x"},
      {"vv3.5", std::nullopt},
      {"", std::nullopt},
      {"3.5.9; python_version < \"3\"", std::nullopt},
      {"3.5.*", std::nullopt},
      {">=3.5", std::nullopt},
      {"3.5 .9", std::nullopt},
      {"3.5.", std::nullopt},
      {"3.5.9+", std::nullopt},
      {"--version", std::nullopt},
      {std::string("3.5\0.9", 6), std::nullopt},
      {std::string(200, '1'), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(pep440_key(c.text), c.key) << c.text;
}

TEST(Pep440, SameVersionAsPipComparesThem) {
  struct Case {
    std::string a, b;
    bool same;
  } cases[] = {
      {"3.5.1", "3.5.1.0", true},
      {"3.5.1", "03.05.01", true},
      {"3.5.1", "v3.5.1", true},
      {"4.0.0rc1", "4.0.0c1", true},
      {"3.5.1", "3.5.10", false},
      {"3.5.1", "3.5.1rc1", false},
      {"3.5.1+a.05", "3.5.1+a.5", true},
      {"3.5.1", "3.5.1+a", false},
      {"x", "x", true},
      {"x", "X", false},
  };
  for (const auto& c : cases) EXPECT_EQ(same_version(c.a, c.b), c.same) << c.a << " " << c.b;
}

TEST(ShellQuoted, QuotesOnlyWhatAShellWouldSplitOrExpand) {
  EXPECT_EQ(shell_quoted("/venv/bin/python"), "/venv/bin/python");
  EXPECT_EQ(shell_quoted("/my venv/bin/python"), "'/my venv/bin/python'");
  EXPECT_EQ(shell_quoted("/it's/$HOME"), "'/it'\\''s/$HOME'");
  EXPECT_EQ(shell_quoted(""), "''");
}

TEST(EnvironmentProbeOutput, ReadsFieldsAfterTheMarker) {
  using namespace std::string_literals;
  const std::string out =
      "site noise\nplo-env-probe\0pip\0001\0venv\0\0package\0/s/pyspark\0origin\0pythonpath\0"
      "dist_version\0003.5.9\0file\0/s/a\0file\0/s/b\0"s;
  const auto probe = parse_environment_probe(out);
  ASSERT_TRUE(probe);
  EXPECT_TRUE(probe->has_pip);
  EXPECT_FALSE(probe->in_virtual_env);
  EXPECT_EQ(probe->package, "/s/pyspark");
  EXPECT_EQ(probe->origin, EnvironmentProbe::Origin::PythonPath);
  EXPECT_EQ(probe->dist_version, "3.5.9");
  EXPECT_THAT(probe->files, ElementsAre("/s/a", "/s/b"));
  EXPECT_FALSE(parse_environment_probe("no marker"));
  EXPECT_FALSE(parse_environment_probe("plo-env-probe\0pip"s));  // cut short
}

TEST(Stash, KeepsFilesThroughAnUninstallAndPutsThemBack) {
  TempDir tmp;
  const fs::path site = tmp.path / "site-packages";
  write(site / "pyspark" / "__init__.py", "old");
  write(site / "pyspark-3.5.9.dist-info" / "RECORD", "pyspark/__init__.py,,\n");
  write(site / "py4j" / "java_gateway.py", "old py4j");
  write(site / "py4j-0.10.9.7.dist-info" / "RECORD", "py4j/java_gateway.py,,\n");
  write(tmp.path / "bin" / "spark-submit", "script");
  ::chmod((tmp.path / "bin" / "spark-submit").c_str(), 0755);
  // Files no RECORD names (the user's conf and jars) are there before the copy is made.
  write(site / "pyspark" / "conf" / "spark-env.sh", "export A=1\n");
  write(site / "pyspark" / "jars" / "hadoop-aws.jar", "user's");
  const PySparkStash stash(site / PySparkStash::kFolderName);
  stash.create("3.5.9",
               {(site / "pyspark" / "__init__.py").string(),
                (site / "pyspark-3.5.9.dist-info" / "RECORD").string(),
                (site / "py4j" / "java_gateway.py").string(),
                (site / "py4j-0.10.9.7.dist-info" / "RECORD").string(),
                (tmp.path / "bin" / "spark-submit").string(), (tmp.path / "missing").string()});
  EXPECT_EQ(stash.version(), "3.5.9");
  EXPECT_TRUE(PySparkStash::complete_pyspark_in(site));

  // pip's uninstall removes the names; a cut install leaves half of another version (with jars
  // no RECORD names yet, and a newer py4j). The user's files survive both.
  write(site / "pyspark" / "jars" / "spark-core-4.1.3.jar", "new");
  fs::remove_all(site / "py4j-0.10.9.7.dist-info");
  fs::remove(site / "py4j" / "java_gateway.py");  // pip writes a new file, never into the link
  write(site / "py4j" / "java_gateway.py", "new py4j");
  write(site / "py4j" / "new_module.py", "new py4j");
  write(site / "py4j-0.10.9.9.dist-info" / "RECORD",
        "py4j/java_gateway.py,,\npy4j/new_module.py,,\n");
  fs::remove(site / "pyspark" / "__init__.py");
  fs::remove_all(site / "pyspark-3.5.9.dist-info");
  fs::remove(tmp.path / "bin" / "spark-submit");
  write(site / "pyspark" / "half.py", "new");
  write(site / "pyspark" / "sql" / "new.py", "new");
  write(site / "PySpark-4.1.3.dist-info" / "RECORD",
        "pyspark/half.py,sha256=x,3\n\"pyspark/sql/new.py\",,\n../../../../etc/passwd,,\n");
  EXPECT_FALSE(PySparkStash::complete_pyspark_in(site));
  EXPECT_TRUE(PySparkStash::half_removed_pyspark_in(site));

  stash.restore(site);
  EXPECT_EQ(read(site / "pyspark" / "__init__.py"), "old");
  EXPECT_FALSE(fs::exists(site / "pyspark" / "half.py"));
  EXPECT_FALSE(fs::exists(site / "pyspark" / "sql"));  // emptied by the removal
  EXPECT_FALSE(fs::exists(site / "PySpark-4.1.3.dist-info"));
  EXPECT_FALSE(fs::exists(site / "pyspark" / "jars" / "spark-core-4.1.3.jar"));
  EXPECT_EQ(read(site / "py4j" / "java_gateway.py"), "old py4j");
  EXPECT_FALSE(fs::exists(site / "py4j" / "new_module.py"));
  EXPECT_FALSE(fs::exists(site / "py4j-0.10.9.9.dist-info"));
  EXPECT_TRUE(fs::exists(site / "py4j-0.10.9.7.dist-info" / "RECORD"));
  EXPECT_EQ(read(site / "pyspark" / "conf" / "spark-env.sh"), "export A=1\n");
  EXPECT_EQ(read(site / "pyspark" / "jars" / "hadoop-aws.jar"), "user's");
  EXPECT_FALSE(PySparkStash::half_removed_pyspark_in(site));
  EXPECT_TRUE(PySparkStash::complete_pyspark_in(site));
  EXPECT_EQ(fs::status(tmp.path / "bin" / "spark-submit").permissions() & fs::perms::owner_exec,
            fs::perms::owner_exec);
  stash.remove();
  EXPECT_FALSE(fs::exists(stash.folder()));
}

TEST(Stash, OneCutShortDoesNotCount) {
  TempDir tmp;
  const PySparkStash stash(tmp.path / PySparkStash::kFolderName);
  EXPECT_FALSE(stash.version());
  using namespace std::string_literals;
  write(stash.folder() / "MANIFEST", "plo-pyspark-stash 1\n3.5.9\0/a"s);
  EXPECT_FALSE(stash.version());
  EXPECT_THROW(stash.restore(tmp.path), fs::filesystem_error);
}

// The checks made before anything changes: each refusal prints its reason and runs nothing.
TEST(InstallPreflight, RefusesWhatTheInstallerCannotChange) {
  TempDir no_uv;
  const ScopedEnv path("PATH", no_uv.path.string());
  const ScopedEnv breaks("PIP_BREAK_SYSTEM_PACKAGES", std::nullopt);
  struct Case {
    std::string name;
    std::function<void(FakeRunner&)> arrange;
    std::string first_line;
  } cases[] = {
      {"no pip", [](FakeRunner& r) { r.environment.has_pip = false; },
       "<red>  pip is not available for /venv/bin/python</red>"},
      {"externally managed",
       [](FakeRunner& r) {
         r.environment.in_virtual_env = false;
         r.environment.externally_managed = true;
       },
       "<red>  /venv/bin/python is externally managed (PEP 668): its packages belong to the "
       "system's package manager, so pip will not change them</red>"},
      {"PYTHONPATH",
       [](FakeRunner& r) { r.environment.origin = EnvironmentProbe::Origin::PythonPath; },
       "<red>  PySpark " + newest("3.5") +
           " comes from /venv/site-packages, which PYTHONPATH names: pip cannot "
           "replace it</red>"},
      {"current folder",
       [](FakeRunner& r) { r.environment.origin = EnvironmentProbe::Origin::CurrentFolder; },
       "<red>  PySpark " + newest("3.5") +
           " comes from the current folder (/venv/site-packages): pip cannot "
           "replace it</red>"},
      {"no dist-info", [](FakeRunner& r) { r.without_dist_info = true; },
       "<red>  PySpark " + newest("3.5") +
           " in /venv/site-packages/pyspark was not installed by pip (it has no "
           "dist-info): pip cannot replace it</red>"},
      {"editable",
       [](FakeRunner& r) {
         r.without_dist_info = true;
         r.environment.editable = "file:///src/spark/python";
       },
       "<red>  PySpark " + newest("3.5") +
           " in /venv/site-packages is an editable install (pip install -e): plo "
           "does not replace a source folder</red>"},
      {"shadowed",
       [](FakeRunner& r) {
         r.environment.install_to = "/venv/site-packages";
         r.environment.shadowing_folders = {"/home/u/.local/site"};
       },
       "<red>  PySpark in /home/u/.local/site comes before /venv/site-packages on the import path: "
       "what pip installs there would not be imported</red>"},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.install(newest("3.5"));
    c.arrange(f.runner);
    f.console.answers = {menu_entry("4.1")};
    EXPECT_FALSE(f.task().set_version()) << c.name;
    EXPECT_TRUE(f.runner.runs.empty()) << c.name;
    const auto heading = std::find(f.console.lines.begin(), f.console.lines.end(),
                                   "<cyan!>Installing PySpark...</cyan!>");
    ASSERT_LT(heading + 2, f.console.lines.end()) << c.name;
    EXPECT_EQ(*(heading + 2), c.first_line) << c.name << "\n" << f.console.text();
    EXPECT_EQ(f.compat.pyspark->version, newest("3.5"));
  }
}

TEST(InstallPreflight, WaysOutAreShownAndTheSystemCanBeOverridden) {
  TempDir no_uv;
  const ScopedEnv path("PATH", no_uv.path.string());
  {
    TaskFixture f;
    f.runner.environment.has_pip = false;
    f.console.answers = {menu_entry("4.1")};
    EXPECT_FALSE(f.task().set_version());
    EXPECT_TRUE(has_line(f.console, "   Add pip to it:  /venv/bin/python -m ensurepip"));
    EXPECT_FALSE(has_line(f.console, "<red>Rollback failed!</red>"));
  }
  {
    const ScopedEnv breaks("PIP_BREAK_SYSTEM_PACKAGES", "1");
    TaskFixture f;
    f.runner.environment.in_virtual_env = false;
    f.runner.environment.externally_managed = true;
    f.system = true;
    f.console.answers = {menu_entry("4.1")};
    EXPECT_TRUE(f.task().set_version());
  }
  {
    // Outside any environment nothing changes without --system, whatever the answers.
    TaskFixture f;
    f.compat.install(newest("3.5"));
    f.runner.environment.in_virtual_env = false;
    f.console.answers = {menu_entry("4.3"), std::string("y")};
    EXPECT_FALSE(f.task().set_version());
    EXPECT_TRUE(f.runner.runs.empty());
    EXPECT_EQ(f.compat.pyspark->version, newest("3.5"));
    EXPECT_TRUE(has_line(f.console,
                         "<red>  /venv/bin/python is not a virtual or conda environment: plo "
                         "changes it only with --system</red>"));
  }
}

TEST(InstallPreflight, UvStandsInForAMissingPip) {
  TempDir bin;
  write(bin.path / "uv", "#!/bin/sh\n");
  ::chmod((bin.path / "uv").c_str(), 0755);
  const ScopedEnv path("PATH", bin.path.string());
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.runner.environment.has_pip = false;
  f.console.answers = {menu_entry("4.1")};
  EXPECT_TRUE(f.task().set_version()) << f.console.text();
  const std::string uv = (bin.path / "uv").string();
  ASSERT_EQ(f.runner.uv_runs.size(), 2u);
  EXPECT_THAT(f.runner.uv_runs[0].argv,
              ElementsAre(uv, "pip", "uninstall", "--python", "/venv/bin/python", "pyspark"));
  EXPECT_THAT(f.runner.uv_runs[1].argv,
              ElementsAre(uv, "pip", "install", "--python", "/venv/bin/python",
                          "pyspark==" + newest("4.1")));
  EXPECT_TRUE(has_line(f.console, "  Uninstalling PySpark " + newest("3.5") + "..."));
  EXPECT_TRUE(has_line(f.console, "  Installing PySpark " + newest("4.1") + "..."));
}

// match-cluster --install reports the installer its switch ran, not a guess beside it.
TEST(InstallPreflight, AClusterInstallNamesTheInstallerItRan) {
  TempDir bin;
  write(bin.path / "uv", "#!/bin/sh\n");
  ::chmod((bin.path / "uv").c_str(), 0755);
  const ScopedEnv path("PATH", bin.path.string());
  // Only the case's own pip settings: none of the machine's files or variables.
  const ScopedEnv no_files("PIP_CONFIG_FILE", "/dev/null");
  const ScopedEnv no_extra_index("PIP_EXTRA_INDEX_URL", std::nullopt);
  const ScopedEnv no_find_links("PIP_FIND_LINKS", std::nullopt);
  const ScopedEnv no_no_index("PIP_NO_INDEX", std::nullopt);
  const ScopedEnv no_trusted_host("PIP_TRUSTED_HOST", std::nullopt);
  const ScopedEnv no_cert("PIP_CERT", std::nullopt);
  const ScopedEnv no_client_cert("PIP_CLIENT_CERT", std::nullopt);
  const struct {
    std::optional<std::string> asked;
    bool has_pip;
    std::optional<std::string> index;  // PIP_INDEX_URL
    InstallerKind ran;
  } cases[] = {
      {{}, true, {}, InstallerKind::Pip},
      {{}, false, {}, InstallerKind::Uv},
      {"uv", true, {}, InstallerKind::Uv},
      {"uv", true, "https://corp/simple", InstallerKind::Pip},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked.value_or("-") + (c.has_pip ? " pip" : " no pip") + c.index.value_or(""));
    const ScopedEnv index("PIP_INDEX_URL", c.index);
    TaskFixture f;
    f.installer = {c.asked, "PLO_INSTALLER"};
    f.runner.environment.has_pip = c.has_pip;
    f.compat.install(newest("3.5"));
    f.compat.cluster_version = "4.0.1";
    f.computes["prod"] = ComputeRecord{
        std::nullopt,
        std::map<std::string, std::string, std::less<>>{{"master", "spark://m:7077"}}};
    SparkTask task = f.task();
    const auto installed = task.install_for_cluster(task.match_report("prod"));
    EXPECT_TRUE(installed.ok) << f.console.text();
    EXPECT_EQ(installed.installer, c.ran);
    EXPECT_EQ(f.runner.uv_runs.empty(), c.ran == InstallerKind::Pip);
  }
}

TEST(InstallVerification, PipSuccessWithoutTheVersionIsAFailedInstall) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.runner.install_changes_nothing = true;
  f.console.answers = {menu_entry("4.1")};
  EXPECT_FALSE(f.task().set_version());
  EXPECT_TRUE(has_line(f.console, "<red>Failed to install PySpark " + newest("4.1") + "</red>"));
  EXPECT_EQ(f.runner.steps(), (std::vector<std::string>{"uninstall", "install:" + newest("4.1"),
                                                        "install:" + newest("3.5")}));
}

TEST(InstallVerification, VersionsCompareAsPep440Does) {
  TaskFixture f;
  f.runner.environment.dist_version = "3.5.9";
  f.console.answers = {custom_menu_entry(), std::string(" 3.5.09 ")};
  EXPECT_TRUE(f.task().set_version()) << f.console.text();
  EXPECT_EQ(f.runner.steps(), (std::vector<std::string>{"install:3.5.09", "smoke"}));
}

TEST(CustomVersion, TrimsBlanksAndAsksAgainForWhatIsNoVersion) {
  TaskFixture f;
  f.compat.install("3.5.3");
  f.console.answers = {custom_menu_entry(), std::string("3.5.9; python_version < \"3\""),
                       std::string("\x1b[31m"), std::string(" 3.5.3 ")};
  EXPECT_TRUE(f.task().set_version());
  EXPECT_TRUE(has_line(f.console, "Error: '3.5.9; python_version < \"3\"' is not a valid version"));
  EXPECT_TRUE(has_line(f.console, "Error: '\\x1b[31m' is not a valid version"));
  EXPECT_TRUE(has_line(f.console, "<green>PySpark 3.5.3 is already installed</green>"));
  EXPECT_TRUE(f.runner.runs.empty());
}

TEST(InterruptedPhase, EndOfInputAtTheRollbackQuestionReportsTheState) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.runner.smoke_outcome = {1, "", "java.lang.UnsupportedClassVersionError", false, false};
  f.console.answers = {menu_entry("4.1")};  // then end of input
  EXPECT_THROW(f.task().set_version(), Abort);
  EXPECT_TRUE(
      has_line(f.console, "<yellow>  PySpark " + newest("4.1") + " is installed now</yellow>"));
  EXPECT_TRUE(has_line(f.console, "<yellow>  To restore PySpark " + newest("3.5") +
                                      ", run: /venv/bin/python -m pip install pyspark==" +
                                      newest("3.5") + "</yellow>"));
}

}  // namespace
}  // namespace plo::testing
