// Files where plo expects a regular file: FIFOs, devices and folders are refused without waiting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "environment/java_detect.h"
#include "environment/pyspark_detect.h"
#include "process/file_lock.h"
#include "registry/compute_registry.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Status = FileContents::Status;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("plo-files-" + std::to_string(::getpid()) +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path file(const std::string& relative, const std::string& contents) {
    const auto path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }
  // A FIFO nobody writes to: an ordinary open of it would wait forever.
  fs::path fifo(const std::string& relative) {
    const auto path = root_ / relative;
    fs::create_directories(path.parent_path());
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path;
  }
  fs::path root_;
};

TEST_F(Files, OnlyRegularFilesAreRead) {
  const fs::path folder = root_ / "folder";
  fs::create_directories(folder);
  struct Case {
    fs::path path;
    Status status;
    std::string text;
  } cases[] = {
      {file("plain", "a\nb"), Status::Ok, "a\nb"},
      {file("exact", "1234"), Status::Ok, "1234"},
      {file("over", "12345"), Status::TooLarge, ""},
      {fifo("fifo"), Status::NotRegular, ""},
      {folder, Status::NotRegular, ""},
      {"/dev/zero", Status::NotRegular, ""},
      {root_ / "missing", Status::Unreadable, ""},
  };
  for (const auto& c : cases) {
    const FileContents read = read_regular_file(c.path, 4);
    EXPECT_EQ(read.status, c.status) << c.path;
    EXPECT_EQ(read.text, c.text) << c.path;
  }
  EXPECT_EQ(read_file_prefix(root_ / "fifo"), std::nullopt);
  EXPECT_EQ(read_file_prefix("/dev/zero"), std::nullopt);
  EXPECT_EQ(read_file_prefix(root_ / "over", 3), "123");
}

TEST_F(Files, PySparkFilesThatAreFifosAreSkipped) {
  file("site/pyspark/__init__.py", "");
  fifo("site/pyspark/version.py");
  file("site/pyspark-3.4.2.dist-info/METADATA", "Name: pyspark\nVersion: 3.4.2\n");
  EXPECT_EQ(find_pyspark_version({(root_ / "site").string()}), "3.4.2");
  file("other/pyspark/__init__.py", "");
  fifo("other/pyspark-3.5.1.dist-info/METADATA");
  EXPECT_EQ(find_pyspark_version({(root_ / "other").string()}), std::nullopt);
}

// Plays `java -version`.
class JavaVersionRunner : public ProcessRunner {
 public:
  std::vector<ProcessSpec> runs;
  ProcessResult run(const ProcessSpec& spec) override {
    runs.push_back(spec);
    return {0, "",
            "openjdk version \"17.0.15\" 2025-04-15\nOpenJDK Runtime Environment (build 17)\n",
            false};
  }
};

TEST_F(Files, JavaReleaseFifoFallsBackToJavaVersion) {
  const fs::path java = file("jdk/bin/java", "#!/bin/sh\n");
  fs::permissions(java, fs::perms::owner_all);
  fifo("jdk/release");
  ::setenv("JAVA_HOME", (root_ / "jdk").c_str(), 1);
  JavaVersionRunner runner;
  const auto found = detect_current_java(runner, std::nullopt);
  ::unsetenv("JAVA_HOME");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->version, 17);
  EXPECT_EQ(found->vendor, "OpenJDK Runtime Environment");
  ASSERT_EQ(runner.runs.size(), 1u);
  ASSERT_TRUE(runner.runs[0].time_limit);
  EXPECT_LE(*runner.runs[0].time_limit, std::chrono::seconds(5));
}

TEST_F(Files, JavaVendorIsEscapedAndBounded) {
  const fs::path java = file("jdk/bin/java", "#!/bin/sh\n");
  fs::permissions(java, fs::perms::owner_all);
  ::setenv("JAVA_HOME", (root_ / "jdk").c_str(), 1);
  JavaVersionRunner runner;
  file("jdk/release", "JAVA_VERSION=\"21\"\nIMPLEMENTOR=\"Evil\x1b]0;pwned\x07\x1b[2J\"\n");
  const auto evil = detect_current_java(runner, std::nullopt);
  file("jdk/release", "JAVA_VERSION=\"21\"\nIMPLEMENTOR=\"" + std::string(5000, 'v') + "\"\n");
  const auto long_name = detect_current_java(runner, std::nullopt);
  ::unsetenv("JAVA_HOME");
  ASSERT_TRUE(evil && long_name);
  EXPECT_EQ(evil->vendor, "Evil\\x1b]0;pwned\\x07\\x1b[2J");
  EXPECT_EQ(long_name->vendor, std::string(200, 'v') + "... (cut)");
}

TEST_F(Files, ComputesFileMustBeARegularFileOfBoundedSize) {
  const fs::path folder = root_ / "computes-folder.yml";
  fs::create_directories(folder);
  const fs::path big = file("big.yml", "computes: {}\n" + std::string(4 << 20, '#'));
  struct Case {
    fs::path path;
    std::string message;
  } cases[] = {
      {fifo("computes.yml"), ": not a regular file"},
      {folder, ": not a regular file"},
      {big, ": larger than 4 MiB"},
      {root_ / "missing.yml", ": cannot be read (missing or not readable)"},
  };
  for (const auto& c : cases) {
    try {
      YamlComputeRegistry registry(c.path.string());
      ADD_FAILURE() << c.path << " was accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.path.string() + c.message));
    }
  }
  EXPECT_THROW(YamlComputeRegistry::from_text(std::string((4 << 20) + 1, ' '), "x.yml"),
               std::runtime_error);
}

// Every way of naming one file keys one lock.
TEST_F(Files, LocksAreKeyedOnTheResolvedFile) {
  const fs::path real = file("dotfiles/computes.yml", "computes:\n");
  fs::create_directories(root_ / "home");
  fs::create_symlink(real, root_ / "home/computes.yml");
  fs::create_symlink("../home/computes.yml", root_ / "dotfiles/chain.yml");
  fs::create_directory_symlink(root_ / "dotfiles", root_ / "linked");
  const fs::path expected = fs::canonical(real);
  for (const fs::path& name :
       {real, root_ / "home/computes.yml", root_ / "dotfiles/chain.yml",
        root_ / "linked/computes.yml", root_ / "linked/../home/computes.yml"}) {
    EXPECT_EQ(resolved_file_path(name.string()), expected) << name;
  }
  EXPECT_EQ(resolved_file_path((root_ / "linked/new.yml").string()),
            fs::canonical(root_ / "dotfiles") / "new.yml");
}

}  // namespace
}  // namespace plo
