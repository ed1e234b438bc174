#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "environment/interpreter_cache.h"
#include "environment/pyspark_detect.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// Sets (or, with nullptr, unsets) a variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A venv-like tree: bin/python (a binary by its first bytes), pyvenv.cfg, a stdlib folder and a
// site folder with a .pth file and sitecustomize. Every file is dated well in the past, so an
// answer is kept at once; a change dates its file later, so coarse clocks cannot hide it.
class CacheTest : public ::testing::Test {
 public:
  void SetUp() override {
    asked_ = 0;
    root_ = fs::temp_directory_path() /
            ("plo-cache-test-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "venv/bin");
    fs::create_directories(root_ / "stdlib");
    fs::create_directories(root_ / "venv/site");
    write("base-python",
          "\x7f"
          "ELF binary");
    fs::create_symlink(root_ / "base-python", root_ / "venv/bin/python");
    write("venv/pyvenv.cfg", "home = /usr/bin\n");
    write("venv/site/extra.pth", "/nowhere\n# a comment\n../../pth-named\r\nimport os\n");
    write("venv/site/sitecustomize.py", "pass\n");
    for (const char* path : {"base-python", "venv/pyvenv.cfg", "venv/site/extra.pth",
                             "venv/site/sitecustomize.py", "stdlib", "venv/site", "venv"}) {
      age(path, 1000);
    }
    answer_ = {{"", path("stdlib"), path("venv/site")}, {path("venv/site"), path("user-site")}};
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string path(const std::string& relative) const { return (root_ / relative).string(); }
  void write(const std::string& relative, const std::string& text) {
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  // Dates a file `seconds` in the past.
  void age(const std::string& relative, int seconds) {
    fs::last_write_time(root_ / relative,
                        fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
  }

  std::vector<std::string> lookup() {
    return cached_import_path(
        root_ / "cache", path("venv/bin/python"),
        [this] {
          ++asked_;
          return answer_;
        },
        std::chrono::nanoseconds(0));
  }

  // The first lookup asks and keeps the answer, the second uses it.
  void prime() {
    lookup();
    ASSERT_EQ(asked_, 1);
    ASSERT_EQ(lookup(), answer_.import_path);
    ASSERT_EQ(asked_, 1) << "the kept answer was not used";
    asked_ = 0;
  }

  fs::path cache_file() const { return fs::directory_iterator(root_ / "cache")->path(); }

  fs::path root_;
  ImportPathAnswer answer_;
  int asked_ = 0;
};

TEST_F(CacheTest, EachInputThatDecidesTheAnswerIsWatched) {
  struct Case {
    const char* what;
    std::function<void(CacheTest&)> change;
  } cases[] = {
      {"a .pth file appears",
       [](CacheTest& t) {
         t.write("venv/site/new.pth", "/x\n");
         t.age("venv/site", 10);
       }},
      {"a .pth file is rewritten in place",
       [](CacheTest& t) {
         t.write("venv/site/extra.pth", "/else\n");
         t.age("venv/site/extra.pth", 10);
       }},
      {"sitecustomize changes",
       [](CacheTest& t) {
         t.write("venv/site/sitecustomize.py", "import sys\n");
         t.age("venv/site/sitecustomize.py", 10);
       }},
      {"a folder a .pth names appears",
       [](CacheTest& t) { fs::create_directory(t.root_ / "pth-named"); }},
      {"a listed site folder appears",
       [](CacheTest& t) { fs::create_directory(t.root_ / "user-site"); }},
      {"a folder of the path changes", [](CacheTest& t) { t.age("stdlib", 10); }},
      {"pyvenv.cfg changes",
       [](CacheTest& t) {
         t.write("venv/pyvenv.cfg", "home = /opt/bin\n");
         t.age("venv/pyvenv.cfg", 10);
       }},
      {"pyvenv.cfg appears beside the executable",
       [](CacheTest& t) { t.write("venv/bin/pyvenv.cfg", ""); }},
      {"the executable is rebuilt",
       [](CacheTest& t) {
         t.write("base-python",
                 "\x7f"
                 "ELF other build");
         t.age("base-python", 10);
       }},
      {"the executable's link points elsewhere",
       [](CacheTest& t) {
         fs::copy_file(t.root_ / "base-python", t.root_ / "other-python");
         t.age("other-python", 1000);
         fs::remove(t.root_ / "venv/bin/python");
         fs::create_symlink(t.root_ / "other-python", t.root_ / "venv/bin/python");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    prime();
    c.change(*this);
    lookup();
    EXPECT_EQ(asked_, 1);
  }
}

// The version comes back with the path; a record that lacks it (an older plo's) is a miss.
TEST_F(CacheTest, KeepsThePythonVersion) {
  answer_.python_version = "3.10.13";
  prime();
  const auto cached = [this] {
    return cached_interpreter_answer(
        root_ / "cache", path("venv/bin/python"),
        [this] {
          ++asked_;
          return answer_;
        },
        std::chrono::nanoseconds(0));
  };
  EXPECT_EQ(cached().python_version, "3.10.13");
  EXPECT_EQ(asked_, 0);
  std::ifstream in(cache_file(), std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  const std::string field("python\0003.10.13\0", 15);
  ASSERT_NE(text.find(field), std::string::npos);
  text.erase(text.find(field), field.size());
  std::ofstream(cache_file(), std::ios::binary | std::ios::trunc) << text;
  EXPECT_EQ(cached().python_version, "3.10.13");
  EXPECT_EQ(asked_, 1);
}

TEST_F(CacheTest, VariablesThatShapeThePathAreWatched) {
  for (const char* name : {"PYTHONPATH", "PYTHONHOME", "PYTHONSAFEPATH", "PYTHONNOUSERSITE",
                           "PYTHONUSERBASE", "PYTHONPLATLIBDIR", "HOME"}) {
    SCOPED_TRACE(name);
    ScopedEnv unset(name, nullptr);
    prime();
    {
      ScopedEnv set(name, "/opt/x");
      lookup();
      EXPECT_EQ(asked_, 1);
      lookup();  // kept for this value, too
      EXPECT_EQ(asked_, 1);
    }
    {
      ScopedEnv empty(name, "");  // set but empty is not unset
      lookup();
      EXPECT_EQ(asked_, 2);
    }
    asked_ = 0;
  }
}

TEST_F(CacheTest, CurrentFolderCountsOnlyWhereThePathHoldsIt) {
  const fs::path before = fs::current_path();
  fs::create_directories(root_ / "elsewhere");
  fs::current_path(root_);
  prime();
  fs::current_path(root_ / "elsewhere");
  lookup();
  EXPECT_EQ(asked_, 0) << "the empty entry is read afresh: the folder does not decide the answer";

  answer_.import_path.push_back((root_ / "elsewhere").string());  // a hook adds the folder
  fs::remove_all(root_ / "cache");
  lookup();
  lookup();
  EXPECT_EQ(asked_, 1);
  fs::current_path(root_);
  lookup();
  EXPECT_EQ(asked_, 2);

  answer_.import_path.pop_back();
  ScopedEnv relative("PYTHONPATH", "lib");  // relative to the current folder
  lookup();
  lookup();
  EXPECT_EQ(asked_, 3);
  fs::current_path(root_ / "elsewhere");
  lookup();
  EXPECT_EQ(asked_, 4);
  fs::current_path(before);
}

TEST_F(CacheTest, UnfitCacheFilesAreIgnoredAndReplaced) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> spoil;
  } cases[] = {
      {"emptied", [](const fs::path& file) { fs::resize_file(file, 0); }},
      {"cut short", [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) / 2); }},
      {"last byte lost",
       [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) - 1); }},
      {"garbage", [](const fs::path& file) { std::ofstream(file) << "\x01\x02 not a cache"; }},
      {"another plo version",
       [](const fs::path& file) {
         std::ifstream in(file, std::ios::binary);
         std::string text((std::istreambuf_iterator<char>(in)), {});
         const size_t start = text.find('\0') + 1;
         text.replace(start, text.find('\0', start) - start, "0.0.0-old");
         std::ofstream(file, std::ios::binary) << text;
       }},
      {"a folder in its place",
       [](const fs::path& file) {
         fs::remove(file);
         fs::create_directory(file);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    prime();
    answer_.import_path = {path("venv/site")};
    c.spoil(cache_file());
    EXPECT_EQ(lookup(), answer_.import_path);
    EXPECT_EQ(asked_, 1);
    if (fs::is_regular_file(cache_file())) {
      EXPECT_EQ(lookup(), answer_.import_path);  // replaced with the new answer
      EXPECT_EQ(asked_, 1);
    }
  }
}

TEST_F(CacheTest, AnotherUsersFileIsNotTrusted) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
  prime();
  ASSERT_EQ(::chown(cache_file().c_str(), 65534, 65534), 0);
  lookup();
  EXPECT_EQ(asked_, 1);
}

TEST_F(CacheTest, NotKeptWhenItCannotBeKeyedOrSettled) {
  // A script names its interpreter inside: its own file does not decide the answer.
  fs::remove(root_ / "base-python");
  write("base-python", "#!/bin/sh\nexec python3 \"$@\"\n");
  age("base-python", 1000);
  lookup();
  lookup();
  EXPECT_EQ(asked_, 2);

  // Inputs changed just now may have changed while the interpreter looked.
  TearDown();
  SetUp();
  write("venv/site/fresh.pth", "");
  const auto lookup_settled = [this] {
    return cached_import_path(root_ / "cache", path("venv/bin/python"), [this] {
      ++asked_;
      return answer_;
    });
  };
  lookup_settled();
  lookup_settled();
  EXPECT_EQ(asked_, 2);
  EXPECT_TRUE(!fs::exists(root_ / "cache") || fs::is_empty(root_ / "cache"));
}

TEST(CacheFolder, FromTheEnvironment) {
  ScopedEnv no_cache("PLO_NO_CACHE", nullptr);
  ScopedEnv home("HOME", "/home/u");
  {
    ScopedEnv xdg("XDG_CACHE_HOME", "/var/cache/u");
    EXPECT_EQ(interpreter_cache_folder(), fs::path("/var/cache/u/plo"));
    ScopedEnv off("PLO_NO_CACHE", "1");
    EXPECT_EQ(interpreter_cache_folder(), std::nullopt);
  }
  {
    ScopedEnv relative("XDG_CACHE_HOME", "rel/cache");  // ignored, as the XDG rules say
    EXPECT_EQ(interpreter_cache_folder(), fs::path("/home/u/.cache/plo"));
    ScopedEnv on("PLO_NO_CACHE", "0");
    EXPECT_EQ(interpreter_cache_folder(), fs::path("/home/u/.cache/plo"));
  }
  ScopedEnv no_home("HOME", nullptr);
  ScopedEnv no_xdg("XDG_CACHE_HOME", nullptr);
  EXPECT_EQ(interpreter_cache_folder(), std::nullopt);
}

TEST(ImportPathQuery, SiteFoldersBeforeThePathProbe) {
  using namespace std::string_literals;
  EXPECT_EQ(parse_site_folders("hook output plo-site-folders\0/a\0/b c\0plo-path-probe\0\0/x"s),
            (std::vector<std::string>{"/a", "/b c"}));
  EXPECT_EQ(parse_site_folders("plo-site-folders\0plo-path-probe\0/x"s),
            std::vector<std::string>{});
  EXPECT_EQ(parse_site_folders("plo-site-folders\0/a\0/cut"s), std::vector<std::string>{"/a"});
  EXPECT_EQ(parse_site_folders("plo-path-probe\0/x"s), std::vector<std::string>{});
}

}  // namespace
}  // namespace plo
