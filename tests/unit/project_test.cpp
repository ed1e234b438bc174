#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "catalogue/runtimes.h"
#include "catalogue_meaning.h"
#include "fakes.h"
#include "project/pin_editor.h"
#include "project/project_file.h"
#include "project/project_sync.h"
#include "project/project_target.h"

namespace plo {
namespace {

using testing::FakeCompat;
using testing::FakeConsole;
using testing::FakeJavaEnvironment;
using ::testing::HasSubstr;
using testing::newest;

TEST(ProjectFile, ReadsTheTableAndNamesUnknownKeys) {
  const auto spec = parse_project(
      "[project]\nname = \"x\"\n\n[tool.plo]\npyspark = \"3.5\"\njava = 17\ncompute = "
      "\"prod\"\ninstaller = \"uv\"\ncolour = 1\n",
      "pyproject.toml");
  ASSERT_TRUE(spec);
  EXPECT_EQ(spec->pyspark, "3.5");
  EXPECT_EQ(spec->java, 17);
  EXPECT_EQ(spec->compute, "prod");
  EXPECT_EQ(spec->installer, "uv");
  EXPECT_EQ(spec->unknown_keys, std::vector<std::string>{"colour"});
  EXPECT_FALSE(parse_project("[project]\nname = \"x\"\n[tool.black]\n", "pyproject.toml"));
}

TEST(ProjectFile, ErrorsNameFileLineAndColumn) {
  const struct {
    const char* text;
    const char* where;
  } cases[] = {
      {"[tool.plo]\npyspark = \"3.5\n", "p.toml:2:"},           // unterminated string
      {"[tool.plo]\n\njava = \"seventeen\"\n", "p.toml:3:8:"},  // not a major
      {"[tool.plo]\npyspark = 3.5\n", "p.toml:2:11:"},          // a float, not a string
      {"[tool.plo]\npyspark = \"3.5; rm\"\n", "p.toml:2:11:"},  // not a version
      {"[tool]\nplo = 3\n", "p.toml:2:7:"},
      {"[tool.plo]\ninstaller = \"conda\"\n", "p.toml:2:13:"},
  };
  for (const auto& c : cases) {
    try {
      parse_project(c.text, "p.toml");
      ADD_FAILURE() << c.text;
    } catch (const ProjectFileError& e) {
      EXPECT_THAT(e.what(), ::testing::StartsWith(c.where)) << c.text;
    }
  }
}

TEST(ProjectFile, FindsTheNearestFileWithTheTableBelowTheRepositoryRoot) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("plo-project-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "repo" / ".git");
  fs::create_directories(root / "repo" / "pkg" / "src");
  std::ofstream(root / "pyproject.toml") << "[tool.plo]\npyspark = \"3.4\"\n";
  std::ofstream(root / "repo" / "pkg" / "pyproject.toml") << "[project]\nname = \"pkg\"\n";
  const fs::path start = root / "repo" / "pkg" / "src";
  // Outside the repository's root nothing counts; without the table the nearest file does.
  EXPECT_EQ(find_project_file(start, true), std::nullopt);
  EXPECT_EQ(find_project_file(start, false), root / "repo" / "pkg" / "pyproject.toml");
  std::ofstream(root / "repo" / "pyproject.toml") << "[tool.plo]\npyspark = \"3.5\"\n";
  EXPECT_EQ(find_project_file(start, true), root / "repo" / "pyproject.toml");
  fs::remove_all(root);
}

ProjectSpec spec_of(std::optional<std::string> pyspark, std::optional<int> java,
                    std::optional<std::string> compute) {
  return {.file = "pyproject.toml", .pyspark = pyspark, .java = java, .compute = compute};
}

TEST(ProjectTarget, ResolvesLinesVersionsAndComputes) {
  const struct {
    ProjectSpec spec;
    std::optional<std::string> cluster;
    std::string version;
    bool exact;
    int java;
  } cases[] = {
      {spec_of("3.5", std::nullopt, std::nullopt), {}, newest("3.5"), false, 17},
      {spec_of("3.5.3", 11, std::nullopt), {}, "3.5.3", true, 11},
      {spec_of(std::nullopt, std::nullopt, "prod"), "4.1.1", "4.1.1", false, 17},
      {spec_of(std::nullopt, 21, "prod"), "4.2", newest("4.2"), false, 21},
      {spec_of("4.1", std::nullopt, "prod"), "4.1.1", newest("4.1"), false, 17},
  };
  for (const auto& c : cases) {
    const auto target = resolve_target(c.spec, PYSPARK_VERSIONS, PYSPARK_JAVA_COMPATIBILITY,
                                       [&](const std::string&) { return c.cluster; });
    EXPECT_EQ(target.version, c.version);
    EXPECT_EQ(target.exact, c.exact);
    EXPECT_EQ(target.java, c.java);
  }
}

TEST(ProjectTarget, RefusesWhatCannotBeResolved) {
  const struct {
    ProjectSpec spec;
    std::optional<std::string> cluster;
    const char* message;
  } cases[] = {
      {spec_of("3.5", std::nullopt, "prod"), "4.1.1", "disagrees with compute 'prod'"},
      {spec_of(std::nullopt, std::nullopt, "prod"), std::nullopt, "cannot tell the Spark version"},
      {spec_of("9.9", std::nullopt, std::nullopt), {}, "plo knows no PySpark 9.9"},
      {spec_of("9.9.1", std::nullopt, std::nullopt), {}, "add java = N"},
      {spec_of(std::nullopt, 17, std::nullopt), {}, "names no pyspark, no compute and no runtime"},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(
        {
          try {
            resolve_target(c.spec, PYSPARK_VERSIONS, PYSPARK_JAVA_COMPATIBILITY,
                           [&](const std::string&) { return c.cluster; });
          } catch (const ProjectFileError& e) {
            EXPECT_THAT(e.what(), HasSubstr(c.message));
            throw;
          }
        },
        ProjectFileError);
  }
}

// A runtime names the exact PySpark and its Java; explicit keys beside it win and are named as
// contradictions. The file refuses a runtime plo's table lacks, and `plo pin` writes the key.
TEST(ProjectTarget, RuntimeLeadsUnlessKeysSayOtherwise) {
  const ManagedRuntime& glue = *find_runtime("glue-5.0");
  ProjectSpec spec = spec_of(std::nullopt, std::nullopt, std::nullopt);
  spec.runtime = glue.name;
  const auto none = [](const std::string&) { return std::optional<std::string>(); };
  const ProjectTarget target =
      resolve_target(spec, PYSPARK_VERSIONS, PYSPARK_JAVA_COMPATIBILITY, none);
  EXPECT_EQ(target.version, glue.spark);
  EXPECT_TRUE(target.exact);
  EXPECT_EQ(target.java, glue.java);
  EXPECT_TRUE(target.contradictions.empty());

  spec.pyspark = PYSPARK_VERSIONS.front().version;
  spec.java = *glue.java + 4;
  const ProjectTarget keys =
      resolve_target(spec, PYSPARK_VERSIONS, PYSPARK_JAVA_COMPATIBILITY, none);
  EXPECT_EQ(keys.version, *spec.pyspark);
  EXPECT_EQ(keys.java, *spec.java);
  EXPECT_EQ(keys.contradictions.size(), 2u);

  const auto parsed = parse_project("[tool.plo]\nruntime = \"GLUE-5.0\"\n", "pyproject.toml");
  EXPECT_EQ(parsed->runtime, glue.name);
  EXPECT_THROW(parse_project("[tool.plo]\nruntime = \"glue-9.9\"\n", "pyproject.toml"),
               ProjectFileError);
  const std::string pinned =
      pin_text("[tool.plo]\njava = 17\n", {.runtime = glue.name}, "pyproject.toml");
  EXPECT_EQ(pinned, "[tool.plo]\njava = 17\nruntime = \"" + glue.name + "\"\n");
}

TEST(PinEditor, KeepsEveryOtherLineAndComment) {
  const std::string text =
      "# my project\n[project]\nname = \"x\"\n\n[tool.plo]\npyspark = \"3.4\"  # the team's "
      "line\n# keep me\n\n[tool.ruff]\nline-length = 100\n";
  EXPECT_EQ(pin_text(text, {.pyspark = "3.5", .java = 17}, "p.toml"),
            "# my project\n[project]\nname = \"x\"\n\n[tool.plo]\npyspark = \"3.5\"  # the "
            "team's line\njava = 17\n# keep me\n\n[tool.ruff]\nline-length = 100\n");
  // A file without the table gets it at the end; an empty one is created with it.
  EXPECT_EQ(pin_text("[project]\nname = \"x\"", {.java = 21}, "p.toml"),
            "[project]\nname = \"x\"\n\n[tool.plo]\njava = 21\n");
  EXPECT_EQ(pin_text("", {.pyspark = "4.1", .compute = "a \"b\""}, "p.toml"),
            "[tool.plo]\npyspark = \"4.1\"\ncompute = \"a \\\"b\\\"\"\n");
  EXPECT_EQ(pin_text("[tool.plo]\r\njava = 11\r\n", {.java = 17}, "p.toml"),
            "[tool.plo]\r\njava = 17\r\n");
}

// Edits land where TOML reads the table and its keys, byte for byte elsewhere.
TEST(PinEditor, EditsTheRealTableOnly) {
  const std::string readme = "[project]\nreadme = \"\"\"\n[tool.plo]\njava = 11\n\"\"\"\n";
  const std::string bom = "\xEF\xBB\xBF";
  struct Case {
    std::string text;
    std::string pinned;
  } cases[] = {
      {readme + "\n[tool.plo]\njava = 11\n", readme + "\n[tool.plo]\njava = 17\n"},
      {readme, readme + "\n[tool.plo]\njava = 17\n"},
      {bom + "[tool.plo]\njava = 11\n", bom + "[tool.plo]\njava = 17\n"},
      {bom + "[project]\n", bom + "[project]\n\n[tool.plo]\njava = 17\n"},
      {"[ tool.plo ]  # ours\r\nlist = [1,\r\n2]\r\n",
       "[ tool.plo ]  # ours\r\nlist = [1,\r\n2]\r\njava = 17\r\n"},
      {"[tool.plo]\n[tool.plo.extra]\nx = 1\n", "[tool.plo]\njava = 17\n[tool.plo.extra]\nx = 1\n"},
      {"[tool.plo.extra]\nx = 1\n", "[tool.plo.extra]\nx = 1\n\n[tool.plo]\njava = 17\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pin_text(c.text, {.java = 17}, "p.toml"), c.pinned) << c.text;
  // A value's end is told in code points: "é€" is 5 bytes, 2 columns.
  EXPECT_EQ(pin_text("[tool.plo]\ncompute = \"é€x\"  # é\n", {.compute = "b"}, "p.toml"),
            "[tool.plo]\ncompute = \"b\"  # é\n");
}

TEST(PinEditor, RefusesWhatItCannotEditSafely) {
  for (const char* text :
       {"[tool]\nplo = { java = 11 }\n", "[tool]\nplo.java = 11\n", "[tool.plo\njava = 11\n"}) {
    EXPECT_THROW(pin_text(text, {.java = 17}, "p.toml"), ProjectFileError) << text;
  }
}

struct SyncFixture {
  FakeConsole console;
  FakeCompat compat;
  FakeJavaEnvironment java;
  std::vector<std::string> installs;
  std::vector<int> jdk_installs;
  SyncServices services() {
    return {.console = console,
            .compat = compat,
            .java = java,
            .cluster_version = [](const std::string&) { return std::optional<std::string>(); },
            .install_pyspark =
                [this](const std::string& version, const std::string& home) {
                  installs.push_back(version + "@" + home);
                  compat.install(version);
                  return true;
                },
            .install_jdk =
                [this](int major) {
                  jdk_installs.push_back(major);
                  java.jdks.push_back({.home = "/plo/jdk-" + std::to_string(major),
                                       .version = major,
                                       .full_version = std::to_string(major) + ".0.1",
                                       .vendor = "Eclipse Adoptium",
                                       .found_in = "plo"});
                  return true;
                }};
  }
};

std::filesystem::path project_folder(const std::string& table) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("plo-sync-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / ".git");
  std::ofstream(folder / "pyproject.toml") << table;
  return folder;
}

TEST(ProjectSync, AMissingJdkStopsBeforeAnythingChangesUnlessYes) {
  SyncFixture f;
  const auto folder = project_folder("[tool.plo]\npyspark = \"4.2\"\n");
  EXPECT_FALSE(sync_project(f.services(), {}, folder).ok);
  EXPECT_TRUE(f.installs.empty());
  EXPECT_THAT(f.console.lines, ::testing::Contains(HasSubstr("run 'plo java install 21'")));

  EXPECT_TRUE(sync_project(f.services(), {.dry_run = true}, folder).ok);
  EXPECT_TRUE(f.installs.empty());
  EXPECT_TRUE(f.jdk_installs.empty());
  EXPECT_FALSE(f.java.pinned);

  EXPECT_TRUE(sync_project(f.services(), {.yes = true}, folder).ok);
  EXPECT_EQ(f.jdk_installs, std::vector<int>{21});
  EXPECT_EQ(f.java.pinned, "/plo/jdk-21");
  std::filesystem::remove_all(folder);
}

TEST(ProjectSync, PinsBeforeReplacingAPySparkAndPutsThePinBackOnFailure) {
  for (const bool install_works : {true, false}) {
    SyncFixture f;
    f.compat.install(newest("3.5"));
    f.compat.java = JavaInfo{11, "Azul", "/jvm/11", "pin"};
    f.java.pinned = "/jvm/11";
    f.java.jdks.push_back({.home = "/jvm/17",
                           .version = 17,
                           .full_version = "17.0.9",
                           .vendor = "Debian",
                           .found_in = "/usr/lib/jvm"});
    const auto folder = project_folder("[tool.plo]\npyspark = \"4.1\"\n");
    SyncServices services = f.services();
    std::optional<std::string> pinned_during_install;
    services.install_pyspark = [&](const std::string&, const std::string&) {
      pinned_during_install = f.java.pinned;
      return install_works;
    };
    EXPECT_EQ(sync_project(services, {.yes = true}, folder).ok, install_works);
    EXPECT_EQ(pinned_during_install, "/jvm/17");
    EXPECT_EQ(f.java.pinned, install_works ? "/jvm/17" : "/jvm/11");
    std::filesystem::remove_all(folder);
  }
}

// The document names the installer where the PySpark step installs, or would; nowhere else.
TEST(ProjectSync, JsonNamesThePySparkStepsInstaller) {
  SyncFixture f;
  const auto folder = project_folder("[tool.plo]\npyspark = \"4.1\"\n");
  SyncServices services = f.services();
  int asked = 0;
  services.pyspark_installer = [&] {
    ++asked;
    return std::optional<std::string>("uv");
  };
  const auto planned = sync_json(sync_project(services, {.dry_run = true}, folder));
  EXPECT_EQ(planned["installer"], "uv");
  EXPECT_EQ(sync_json(sync_project(services, {.yes = true}, folder))["installer"], "uv");
  const auto unchanged = sync_json(sync_project(services, {.yes = true}, folder));
  EXPECT_EQ(unchanged["installer"], nullptr);
  EXPECT_EQ(asked, 2);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace plo
