// `plo java install` and `uninstall` over fakes; the API's answer; the safe unpack and SHA-256 on
// real archives written by the test.
#include <archive.h>
#include <archive_entry.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "archive/safe_unpack.h"
#include "archive/sha256.h"
#include "catalogue_meaning.h"
#include "console/progress.h"
#include "download/adoptium.h"
#include "fakes.h"
#include "java/java_task.h"

namespace plo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string kSha(64, 'a');

JdkRelease release21() {
  return {21,
          "eclipse",
          "21.0.5+11",
          "jdk-21.0.5+11",
          "https://example.net/jdk.tar.gz",
          kSha,
          200 << 20,
          "OpenJDK21U-jdk_x64_linux_hotspot_21.0.5_11.tar.gz"};
}

struct InstallFixture {
  FakeConsole console;
  FakeCompat compat;
  FakeJavaEnvironment java;
  FakeJdkInstaller installer;

  InstallFixture() {
    installer.releases[21] = release21();
    const std::string home = "/data/plo/jdks/eclipse-21.0.5+11";
    java.homes[home] = Jdk{home, 21, "21.0.5", "Eclipse Adoptium", "plo", false};
  }
  JavaTask task() {
    return JavaTask({.console = console,
                     .compat = compat,
                     .java = java,
                     .platform = [] { return Platform{}; },
                     .installer = &installer});
  }
  std::string text() const { return console.text(); }
};

TEST(JavaInstall, ChoosesTheMajorPySparkRecommendsElseTheNewestLts) {
  InstallFixture f;
  f.compat.install(newest("4.2"));  // recommends 21
  EXPECT_TRUE(f.task().install({}));
  EXPECT_THAT(f.text(), HasSubstr("Java 21 (recommended by PySpark " + newest("4.2") + ")"));
  EXPECT_THAT(f.text(), HasSubstr("SHA-256 verified: " + kSha));
  EXPECT_THAT(f.text(), HasSubstr("Installed Java 21 in /data/plo/jdks/eclipse-21.0.5+11"));
  EXPECT_THAT(f.text(), HasSubstr("Run 'plo java set 21'"));
  EXPECT_THAT(f.text(), HasSubstr("100.0 MiB / 200.0 MiB"));  // the progress line

  InstallFixture g;
  EXPECT_FALSE(g.task().install({}));  // no PySpark: the newest LTS of the table, 25
  EXPECT_THAT(g.installer.calls, ::testing::ElementsAre("latest:25"));
  EXPECT_THAT(g.text(), HasSubstr("Error: no Eclipse Temurin JDK (404)"));
}

TEST(JavaInstall, AlreadyInstalledDownloadsNothing) {
  InstallFixture f;
  f.installer.homes["eclipse-21.0.5+11"] = "/data/plo/jdks/eclipse-21.0.5+11";
  EXPECT_TRUE(f.task().install({.version = 21}));
  EXPECT_THAT(f.installer.calls, ::testing::ElementsAre("latest:21"));
  EXPECT_THAT(f.text(), HasSubstr("Already installed in /data/plo/jdks/eclipse-21.0.5+11"));
}

TEST(JavaInstall, SetPinsAndAsksWhenPySparkDoesNotSupportIt) {
  InstallFixture f;
  f.compat.install(newest("4.1"));
  EXPECT_TRUE(f.task().install({.version = 21, .set = true}));
  EXPECT_EQ(f.java.pinned, "/data/plo/jdks/eclipse-21.0.5+11");

  InstallFixture g;
  g.compat.install(newest("3.5"));  // Java 8, 11, 17
  g.console.answers = {std::string("n")};
  EXPECT_FALSE(g.task().install({.version = 21, .set = true}));
  EXPECT_EQ(g.java.pinned, std::nullopt);
  EXPECT_THAT(g.console.questions, ::testing::ElementsAre("Use it anyway?"));

  InstallFixture h;  // under --json the question is --yes
  h.compat.install(newest("3.5"));
  EXPECT_FALSE(h.task().install({.version = 21, .set = true, .json = true}));
  EXPECT_THAT(h.text(), HasSubstr("add --yes to pin Java 21 anyway"));
  EXPECT_TRUE(h.console.questions.empty());
}

TEST(JavaInstall, JsonIsOneDocumentWithTheSchemaFirst) {
  InstallFixture f;
  f.compat.install(newest("4.1"));
  EXPECT_TRUE(f.task().install({.version = 21, .set = true, .json = true}));
  const auto doc = nlohmann::ordered_json::parse(f.text());
  EXPECT_EQ(doc.begin().key(), "schema");
  EXPECT_EQ(doc["schema"], 1);
  EXPECT_EQ(doc["home"], "/data/plo/jdks/eclipse-21.0.5+11");
  EXPECT_EQ(doc["sha256"], kSha);
  EXPECT_EQ(doc["pinned"], true);
  EXPECT_EQ(doc["spark_env"], "/venv/pyspark/conf/spark-env.sh");

  InstallFixture g;
  g.installer.install_error = "the download's SHA-256 is b..., not a...";
  EXPECT_FALSE(g.task().install({.version = 21, .json = true}));
  const auto failed = nlohmann::json::parse(g.text());
  EXPECT_EQ(failed["ok"], false);
  EXPECT_EQ(failed["error"], "the download's SHA-256 is b..., not a...");
}

TEST(JavaUninstall, ThePinnedJdkOnlyWithYesWhichRemovesThePin) {
  InstallFixture f;
  const std::string home = "/data/plo/jdks/eclipse-21.0.5+11";
  f.installer.homes["eclipse-21.0.5+11"] = home;
  f.java.pinned = home;
  EXPECT_FALSE(f.task().uninstall("21", false));
  EXPECT_THAT(f.text(), HasSubstr("is pinned for PySpark: add --yes"));
  EXPECT_EQ(f.installer.homes.size(), 1u);

  f.compat.java = JavaInfo{17, "Debian", "/usr/lib/jvm/java-17"};
  EXPECT_TRUE(f.task().uninstall("21", true));
  EXPECT_TRUE(f.installer.homes.empty());
  EXPECT_EQ(f.java.pinned, std::nullopt);
  EXPECT_THAT(f.text(), HasSubstr("PySpark will use Java 17 (Debian) at /usr/lib/jvm/java-17"));

  EXPECT_FALSE(f.task().uninstall("/usr/lib/jvm/java-17", false));  // not one of plo's
  EXPECT_THAT(f.text(), HasSubstr("/usr/lib/jvm/java-17 is not a JDK plo installed"));
}

TEST(Adoptium, ParsesTheApisAnswer) {
  const std::string link = "https://github.com/adoptium/temurin21-binaries/releases/x.tar.gz";
  const auto answer = [&](const std::string& package_extra, const std::string& os = "linux") {
    return R"([{"binary":{"architecture":"x64","os":")" + os +
           R"(","image_type":"jdk","package":{"checksum":")" + std::string(64, 'A') +
           R"(","link":")" + link +
           R"(","name":"OpenJDK21U-jdk_x64_linux_hotspot_21.0.5_11.tar.gz","size":206)" +
           package_extra +
           R"(}},"release_name":"jdk-21.0.5+11","vendor":"eclipse","version":{"build":11,
           "major":21,"minor":0,"security":5,"semver":"21.0.5+11.0.LTS"}}])";
  };
  const JdkRelease release = parse_adoptium_answer(answer(""), 21, "linux", "x64");
  EXPECT_EQ(release.folder_name(), "eclipse-21.0.5+11");
  EXPECT_EQ(release.checksum, std::string(64, 'a'));
  EXPECT_EQ(release.size, 206u);
  EXPECT_EQ(release.link, link);

  const std::vector<std::pair<std::string, std::string>> refused = {
      {R"({"errorMessage":"No releases match the request"})", "not a list"},
      {"[", "not JSON"},
      {"[]", "lists no build"},
      {answer("", "mac"), "no JDK 21 for linux x64"},
      {std::string(answer("")).replace(answer("").find("https://"), 8, "http://"), "https"},
      {std::string(answer("")).replace(answer("").find("\"eclipse\""), 9, "\"../x\""), "vendor"},
      {std::string(answer("")).replace(answer("").find("_11.tar.gz"), 10, ".zip"), ".tar.gz"},
      {std::string(answer("")).replace(answer("").find("\"size\":206"), 10, "\"size\":0"), "size"},
  };
  for (const auto& [body, why] : refused) {
    try {
      parse_adoptium_answer(body, 21, "linux", "x64");
      ADD_FAILURE() << "accepted: " << body;
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), HasSubstr(why)) << body;
    }
  }
}

TEST(Adoptium, DownloadsOnlyOverHttpsOrToLoopback) {
  EXPECT_TRUE(allowed_download_url("https://api.adoptium.net"));
  EXPECT_TRUE(allowed_download_url("http://127.0.0.1:8080/x"));
  EXPECT_TRUE(allowed_download_url("http://localhost/x"));
  EXPECT_TRUE(allowed_download_url("http://[::1]:80/x"));
  EXPECT_FALSE(allowed_download_url("http://example.com/x"));
  EXPECT_FALSE(allowed_download_url("http://127.0.0.1.example.com/x"));
  EXPECT_FALSE(allowed_download_url("file:///etc/passwd"));
  EXPECT_FALSE(allowed_download_url("ftp://example.com/x"));
  EXPECT_EQ(url_host("https://user@mirror.example:8443/v3"), "mirror.example");
}

TEST(Sha256, KnownDigest) {
  Sha256 sha;
  sha.update("a");
  sha.update("bc");
  EXPECT_EQ(sha.hex_digest(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_TRUE(looks_like_sha256(std::string(64, 'F')));
  EXPECT_FALSE(looks_like_sha256(std::string(63, 'f') + "g"));
}

// One entry of a test archive: a file (data), folder, link (target), hard link (target) or FIFO.
struct Entry {
  std::string name;
  mode_t type = AE_IFREG;
  std::string data = {};
};

class Unpack : public ::testing::Test {
 protected:
  fs::path root = fs::temp_directory_path() / ("plo-unpack-" + std::to_string(::getpid()));
  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(root / "into");
  }
  void TearDown() override { fs::remove_all(root); }

  std::string write(const std::vector<Entry>& entries) {
    const std::string path = (root / "a.tar.gz").string();
    struct archive* a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    archive_write_open_filename(a, path.c_str());
    for (const Entry& e : entries) {
      struct archive_entry* entry = archive_entry_new();
      archive_entry_set_pathname(entry, e.name.c_str());
      archive_entry_set_perm(entry, 0755);
      if (e.type == 0) {
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_hardlink(entry, e.data.c_str());
      } else {
        archive_entry_set_filetype(entry, e.type);
        if (e.type == AE_IFLNK) archive_entry_set_symlink(entry, e.data.c_str());
        if (e.type == AE_IFREG)
          archive_entry_set_size(entry, static_cast<la_int64_t>(e.data.size()));
      }
      archive_write_header(a, entry);
      if (e.type == AE_IFREG) archive_write_data(a, e.data.data(), e.data.size());
      archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return path;
  }
};

TEST_F(Unpack, KeepsATreeWithLinksInside) {
  unpack_archive(write({{"jdk/", AE_IFDIR},
                        {"jdk/bin/java", AE_IFREG, "#!/bin/sh\n"},
                        {"jdk/legal/a/LICENSE", AE_IFREG, "text"},
                        {"jdk/legal/b/LICENSE", AE_IFLNK, "../a/LICENSE"},
                        {"jdk/bin/javac", 0, "jdk/bin/java"}}),
                 (root / "into").string());
  EXPECT_TRUE(fs::is_symlink(root / "into/jdk/legal/b/LICENSE"));
  EXPECT_EQ(fs::hard_link_count(root / "into/jdk/bin/java"), 2u);
  EXPECT_EQ(fs::status(root / "into/jdk/bin/java").permissions() & fs::perms::owner_exec,
            fs::perms::owner_exec);
}

TEST_F(Unpack, RefusesWhatLeavesTheFolderOrIsNoFile) {
  const std::vector<std::pair<std::vector<Entry>, std::string>> cases = {
      {{{"jdk/../../x", AE_IFREG, "x"}}, "leads out of the folder"},
      {{{"/tmp/plo-x", AE_IFREG, "x"}}, "has an absolute path"},
      {{{"jdk/lib", AE_IFLNK, "../../x"}}, "is a link pointing outside the folder"},
      {{{"jdk/lib", AE_IFLNK, "/etc"}}, "is a link pointing outside the folder"},
      // A link that looks inside on paper but climbs through another link.
      {{{"jdk/a", AE_IFLNK, "."}, {"jdk/b", AE_IFLNK, "a/../.."}},
       "is a link pointing outside the folder"},
      {{{"jdk/passwd", 0, "/etc/passwd"}}, "has an absolute path"},
      {{{"jdk/x", 0, "jdk/missing"}}, "is a hard link to a file outside the archive"},
      {{{"jdk/pipe", AE_IFIFO}}, "is a FIFO"},
      {{{"jdk/sda", AE_IFBLK}}, "is a device file"},
  };
  for (const auto& [entries, why] : cases) {
    SetUp();
    try {
      unpack_archive(write(entries), (root / "into").string());
      ADD_FAILURE() << "accepted: " << entries.front().name;
    } catch (const UnsafeArchive& e) {
      EXPECT_THAT(e.what(), HasSubstr(why)) << entries.front().name;
    }
    EXPECT_FALSE(fs::exists(root / "x"));
  }
}

TEST_F(Unpack, RefusesMoreThanItsLimits) {
  const std::string archive =
      write({{"a", AE_IFREG, std::string(1000, 'x')}, {"b", AE_IFREG, "y"}});
  EXPECT_THROW(unpack_archive(archive, (root / "into").string(), {.max_bytes = 1000}),
               UnsafeArchive);
  SetUp();
  const std::string two = write({{"a", AE_IFREG, "x"}, {"b", AE_IFREG, "y"}});
  EXPECT_THROW(unpack_archive(two, (root / "into").string(), {.max_entries = 1}), UnsafeArchive);
}

TEST(Progress, ShowsBytesRateAndTimeLeft) {
  EXPECT_EQ(progress_text(50 << 20, 200 << 20, std::chrono::seconds(5)),
            "  [######                  ] 50.0 MiB / 200.0 MiB  10.0 MiB/s  15 s left");
  EXPECT_EQ(byte_size_text(512), "512 B");
}

}  // namespace
}  // namespace plo::testing
