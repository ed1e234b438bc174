// The compat pieces behind `plo java`: spark-env.sh text and file, JDK discovery, Spark's order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "environment/java_detect.h"
#include "environment/jdk_discovery.h"
#include "environment/platform.h"
#include "environment/pyspark_home.h"
#include "environment/spark_env.h"
#include "environment/spark_env_file.h"
#include "process/process_runner.h"
#include "util/text.h"

namespace plo::testing {
namespace {

namespace fs = std::filesystem;

TEST(SparkEnv, LastLiteralJavaHomeWins) {
  struct Case {
    std::string contents;
    std::optional<std::string> home;
  } cases[] = {
      {"", std::nullopt},
      {"JAVA_HOME=/a\n", "/a"},
      {"export JAVA_HOME=/a\n", "/a"},
      {"  export\tJAVA_HOME='/a b'  # comment\n", "/a b"},
      {"JAVA_HOME=\"/a\\$b\"\n", "/a$b"},
      {"JAVA_HOME=/a\r\nJAVA_HOME=/b\r\n", "/b\r"},  // bash keeps the CR: no such Java
      {"A=1; JAVA_HOME=/x\n", "/x"},
      {"A=1 JAVA_HOME=/x\n", "/x"},
      {"export JAVA_HOME=/x OTHER=y\n", "/x"},
      {"JAVA_HOME=/x; java -version # JAVA_HOME=/y\n", "/x"},
      {"JAVA_HOME=/x; JAVA_HOME=$(cmd)\n", std::nullopt},
      {"JAVA_HOME=/x | cat\n", std::nullopt},
      {"JAVA_HOME=/a\nJAVA_HOME=$(/usr/libexec/java_home)\n", "/a"},  // computed: skipped
      {"JAVA_HOME=/a\nJAVA_HOME=\"${X}\"\n", "/a"},
      {"JAVA_HOME=~/jdk\n", std::nullopt},
      {"JAVA_HOME=/a; export JAVA_HOME\n", "/a"},
      {"JAVA_HOME=/a java -version\n", std::nullopt},  // sets it for one command only
      {"# JAVA_HOME=/a\nMY_JAVA_HOME=/b\n", std::nullopt},
      {"JAVA_HOME='/it'\\''s'\n", "/it's"},
      {"JAVA_HOME='/unclosed\n", std::nullopt},
      {"JAVA_HOME=/a\nJAVA_HOME=\n", ""},  // assigned empty: hides the environment's
  };
  for (const auto& c : cases) {
    const auto found = spark_env_java_home(c.contents);
    ASSERT_EQ(found.has_value(), c.home.has_value()) << c.contents;
    if (found) {
      EXPECT_EQ(found->java_home, *c.home) << c.contents;
    }
  }
}

TEST(SparkEnv, DamagedPinBlocksAreRemovedWithoutTheUsersLines) {
  const std::string begin(kPinBegin), end(kPinEnd);
  const std::string block =
      "# Written by 'plo java set'; 'plo java unset' removes it.\n"
      "export JAVA_HOME=/opt/jdk\n";
  struct Case {
    std::string contents, rest;
  } cases[] = {
      {"A=1\n" + begin + "\n" + block + "B=2\n", "A=1\nB=2\n"},  // no end marker
      {begin + "  \r\n" + block + end + " \n", ""},              // blanks after the markers
      {begin + "\n" + block + end + "\n" + begin + "\n" + block + end + "\nC=3\n", "C=3\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pinned_java_home(c.contents), "/opt/jdk") << c.contents;
    EXPECT_EQ(without_java_pin(c.contents), c.rest) << c.contents;
    EXPECT_FALSE(spark_env_java_home(without_java_pin(c.contents))) << c.contents;
  }
}

TEST(SparkEnv, PinBlockIsAddedReplacedAndRemovedKeepingOtherLines) {
  const std::string user = "SPARK_WORKER_CORES=2\r\nJAVA_HOME=/usr/lib/jvm/old\r\n# keep me";
  const std::string pinned = with_java_pin(user, "/opt/jdk 25");
  EXPECT_TRUE(pinned.starts_with(user + "\n" + std::string(kPinBegin) + "\n"));
  EXPECT_EQ(pinned_java_home(pinned), "/opt/jdk 25");
  const auto assigned = spark_env_java_home(pinned);
  ASSERT_TRUE(assigned);
  EXPECT_EQ(assigned->java_home, "/opt/jdk 25");
  EXPECT_TRUE(assigned->from_pin);

  // A second pin replaces the first; the user's lines after the block stay.
  const std::string again = with_java_pin(pinned + "SPARK_LOCAL_IP=127.0.0.1\n", "/jdk17");
  EXPECT_EQ(pinned_java_home(again), "/jdk17");
  EXPECT_EQ(without_java_pin(again), user + "\nSPARK_LOCAL_IP=127.0.0.1\n");
  EXPECT_EQ(without_java_pin(pinned), user + "\n");
  EXPECT_EQ(pinned_java_home(user), std::nullopt);
  EXPECT_FALSE(spark_env_java_home(user)->from_pin);

  // A begin marker without its end marker removes only itself.
  const std::string broken = "A=1\n" + std::string(kPinBegin) + "\nB=2\n";
  EXPECT_EQ(without_java_pin(broken), "A=1\nB=2\n");
}

TEST(SparkEnv, QuotedPathsReadBackAsWritten) {
  for (const std::string home : {"/plain", "/with space", "/it's", "/$HOME/`x`", "/a\"b\\c",
                                 "/semi;colon#hash", "/ünïcode"}) {
    EXPECT_EQ(pinned_java_home(with_java_pin("", home)), home);
  }
  EXPECT_EQ(shell_quote("a'b"), "'a'\\''b'");
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/plo-java-test-XXXXXX";
    root_ = ::mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string path(const std::string& relative) const { return (root_ / relative).string(); }
  void write(const std::string& relative, const std::string& contents) const {
    fs::create_directories(fs::path(path(relative)).parent_path());
    std::ofstream(path(relative)) << contents;
  }
  // A Java home: bin/java (a script that fails) and, unless null, a release file.
  void java_home(const std::string& relative, const char* version, const char* vendor = nullptr) {
    write(relative + "/bin/java", "#!/bin/sh\nexit 1\n");
    fs::permissions(path(relative + "/bin/java"), fs::perms::owner_all);
    if (version) {
      std::string release = std::string("JAVA_VERSION=\"") + version + "\"\n";
      if (vendor) release += std::string("IMPLEMENTOR=\"") + vendor + "\"\n";
      write(relative + "/release", release);
    }
  }
  fs::path root_;
};

using SparkEnvFile = TempDir;

TEST_F(SparkEnvFile, WritesThroughARenameWithMode0644AndKeepsALink) {
  EXPECT_EQ(read_spark_env(path("conf/spark-env.sh")), std::nullopt);
  const mode_t old_mask = ::umask(077);
  write_spark_env(path("conf/spark-env.sh"), "A=1\n");  // creates conf/
  ::umask(old_mask);
  EXPECT_EQ(read_spark_env(path("conf/spark-env.sh")), "A=1\n");
  EXPECT_EQ(fs::status(path("conf/spark-env.sh")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);

  fs::create_symlink(path("conf/spark-env.sh"), path("link.sh"));
  write_spark_env(path("link.sh"), "B=2\n");
  EXPECT_TRUE(fs::is_symlink(path("link.sh")));
  EXPECT_EQ(read_spark_env(path("conf/spark-env.sh")), "B=2\n");
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(path("conf")), fs::directory_iterator()), 1);
}

TEST_F(SparkEnvFile, KeepsModeAndOwnerAndRefusesLinksIntoOthersFolders) {
  write("conf/spark-env.sh", "SECRET=1\n");
  ::chmod(path("conf/spark-env.sh").c_str(), 0600);
  // A planted link at a name a temporary file might take is never written through.
  fs::create_symlink(path("elsewhere"), path("conf/.spark-env.sh.plo-tmp"));
  write_spark_env(path("conf/spark-env.sh"), "SECRET=2\n");
  EXPECT_EQ(fs::status(path("conf/spark-env.sh")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(fs::exists(path("elsewhere")));
  if (::geteuid() == 0) {
    // root can hand the file to another user: the owner stays.
    ASSERT_EQ(::chown(path("conf/spark-env.sh").c_str(), 65534, 65534), 0);
    write_spark_env(path("conf/spark-env.sh"), "SECRET=3\n");
    struct stat info {};
    ASSERT_EQ(::stat(path("conf/spark-env.sh").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    // A link into a folder of another user is refused, naming both ends.
    fs::create_directories(path("theirs"));
    ASSERT_EQ(::chown(path("theirs").c_str(), 65534, 65534), 0);
    fs::create_symlink(path("theirs/spark-env.sh"), path("conf/linked.sh"));
    EXPECT_THAT([&] { write_spark_env(path("conf/linked.sh"), "A=1\n"); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    ::testing::HasSubstr("in a folder of another user")));
    EXPECT_FALSE(fs::exists(path("theirs/spark-env.sh")));
  }
}

TEST_F(SparkEnvFile, ErrorsNameTheFile) {
  write("not-a-folder", "x");
  const std::string inside = path("not-a-folder/conf/spark-env.sh");
  EXPECT_THAT([&] { write_spark_env(inside, "A=1\n"); },
              ::testing::ThrowsMessage<std::runtime_error>(
                  ::testing::HasSubstr(path("not-a-folder/conf"))));
  ASSERT_EQ(::mkfifo(path("fifo.sh").c_str(), 0644), 0);
  EXPECT_THAT([&] { read_spark_env(path("fifo.sh")); },
              ::testing::ThrowsMessage<std::runtime_error>(
                  ::testing::HasSubstr(path("fifo.sh") + ": not a regular file")));
  write("big.sh", std::string((1 << 20) + 1, '#'));
  EXPECT_THROW(read_spark_env(path("big.sh")), std::runtime_error);
}

// Sets environment variables for one test and restores them after.
class ScopedEnv {
 public:
  void set(const char* name, const std::optional<std::string>& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      it->second ? ::setenv(it->first.c_str(), it->second->c_str(), 1)
                 : ::unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Answers `java -version` for homes without a release file.
class JavaVersionRunner : public ProcessRunner {
 public:
  std::vector<std::string> asked;
  ProcessResult run(const ProcessSpec& spec) override {
    asked.push_back(spec.argv.at(0));
    return {1, "", "openjdk version \"1.8.0_392\"\nOpenJDK Runtime Environment (build 1.8.0)\n",
            false};
  }
};

using JdkDiscovery = TempDir;

TEST_F(JdkDiscovery, FindsEachHomeOnceInTheUsualPlacesNewestFirst) {
  ScopedEnv env;
  env.set("HOME", path("home"));
  env.set("JENV_ROOT", path("elsewhere/jenv"));
  for (const char* name : {"SDKMAN_CANDIDATES_DIR", "ASDF_DATA_DIR", "MISE_DATA_DIR",
                           "CONDA_PREFIX", "HOMEBREW_PREFIX"}) {
    env.set(name, std::nullopt);
  }
  java_home("home/.sdkman/candidates/java/21.0.5-tem", "21.0.5", "Eclipse Adoptium");
  fs::create_directory_symlink(path("home/.sdkman/candidates/java/21.0.5-tem"),
                               path("home/.sdkman/candidates/java/current"));
  java_home("home/.sdkman/candidates/java/21.0.10-tem", "21.0.10", "Eclipse Adoptium");
  java_home("elsewhere/jenv/versions/17", "17.0.9", "Azul Systems, Inc.");
  java_home("home/.jdks/corretto-11/Contents/Home", "11.0.25", "Amazon.com Inc.");
  java_home("home/.asdf/installs/java/zulu-8", nullptr);  // no release file: asks java
  write("home/.gradle/jdks/broken/bin/java", "");         // not executable: not a Java home
  java_home("home/.jenv/versions/ignored", "22");         // JENV_ROOT points elsewhere

  std::vector<JdkCandidate> candidates;
  for (const auto& candidate : jdk_location_candidates()) {
    if (candidate.home.starts_with(root_.string())) candidates.push_back(candidate);
  }
  JavaVersionRunner runner;
  const auto jdks = collect_jdks(runner, candidates);
  std::vector<std::string> listed;
  for (const Jdk& jdk : jdks) {
    listed.push_back(std::to_string(jdk.version) + " " + jdk.full_version + " " + jdk.vendor + " " +
                     jdk.found_in);
  }
  EXPECT_THAT(listed, ::testing::ElementsAre("21 21.0.10 Eclipse Adoptium sdkman",
                                             "21 21.0.5 Eclipse Adoptium sdkman",
                                             "17 17.0.9 Azul Systems, Inc. jenv",
                                             "11 11.0.25 Amazon.com Inc. intellij",
                                             "8 1.8.0_392 OpenJDK Runtime Environment asdf"));
  EXPECT_EQ(jdks[1].home, fs::canonical(path("home/.sdkman/candidates/java/21.0.5-tem")).string());
  EXPECT_EQ(runner.asked.size(), 1u);  // only the home without a release file
}

TEST(JdkDiscoveryOrder, VersionsCompareAsNumbers) {
  EXPECT_LT(compare_java_versions("17.0.9", "17.0.15"), 0);
  EXPECT_EQ(compare_java_versions("21", "21.0.0"), 0);
  EXPECT_GT(compare_java_versions("17.0.20.1", "17.0.20"), 0);
  EXPECT_LT(compare_java_versions("1.8.0_392", "1.8.0_402"), 0);
}

using CurrentJava = TempDir;

TEST_F(CurrentJava, FollowsSparksOrder) {
  java_home("pinned", "25");
  java_home("env", "17");
  java_home("onpath", "21");
  fs::create_directories(path("bin"));
  fs::create_symlink(path("onpath/bin/java"), path("bin/java"));
  ScopedEnv env;
  env.set("JAVA_HOME", path("env"));
  env.set("PATH", path("bin"));

  EXPECT_EQ(choose_current_java(path("pinned"))->home, path("pinned"));
  EXPECT_EQ(choose_current_java(path("pinned"))->source, "spark-env.sh");
  EXPECT_EQ(choose_current_java(std::nullopt)->home, path("env"));
  EXPECT_EQ(choose_current_java(std::string())->home,  // an empty assignment hides JAVA_HOME
            fs::canonical(path("onpath")).string());
  EXPECT_EQ(choose_current_java(path("missing")), std::nullopt);  // Spark would fail too
  env.set("JAVA_HOME", std::nullopt);
  EXPECT_EQ(choose_current_java(std::nullopt)->source, "PATH");
}

TEST_F(CurrentJava, SparkEnvPathComesFromConfDirHomeOrPackage) {
  ScopedEnv env;
  env.set("SPARK_CONF_DIR", std::nullopt);
  env.set("SPARK_HOME", "");
  write("site/pyspark/__init__.py", "");
  const auto package = find_pyspark_package({path("nothing"), path("site")});
  EXPECT_EQ(package, path("site/pyspark"));
  EXPECT_FALSE(spark_conf_dir_from_environment());
  EXPECT_EQ(spark_env_path(package), path("site/pyspark/conf/spark-env.sh"));
  EXPECT_EQ(spark_env_path(std::nullopt), std::nullopt);
  env.set("SPARK_HOME", "/opt/spark");
  EXPECT_EQ(spark_env_path(package), "/opt/spark/conf/spark-env.sh");
  env.set("SPARK_CONF_DIR", "/etc/spark");
  EXPECT_EQ(spark_env_path(package), "/etc/spark/spark-env.sh");
}

TEST(Platform, OsReleaseFields) {
  const Platform p = parse_os_release(
      "PRETTY_NAME=\"Ubuntu 24.04 LTS\"\nNAME=Ubuntu\nID=ubuntu\nID_LIKE=debian\n");
  EXPECT_EQ(p.id, "ubuntu");
  EXPECT_EQ(p.id_like, "debian");
  EXPECT_EQ(p.pretty_name, "Ubuntu 24.04 LTS");
  EXPECT_EQ(parse_os_release("ID='Fedora'\r\n").id, "fedora");
}

}  // namespace
}  // namespace plo::testing
