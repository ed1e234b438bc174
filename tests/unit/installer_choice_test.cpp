#include "spark/installer_choice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace plo {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST(PipConfig, SettingsThatChooseWherePackagesComeFromAsPipLoadsThem) {
  struct Case {
    std::map<std::string, std::string> env;
    std::map<std::string, std::string> files;
    std::vector<std::pair<std::string, std::string>> expected;  // where, name
  } cases[] = {
      {{{"HOME", "/h"}}, {}, {}},
      {{{"PIP_INDEX_URL", "https://corp/simple"}, {"PIP_TIMEOUT", "5"}, {"PIP_CERT", ""}},
       {},
       {{"PIP_INDEX_URL", "index-url"}}},
      {{{"HOME", "/h"}},
       {{"/h/.config/pip/pip.conf",
         "[global]\ntimeout = 5\nIndex_URL = https://corp/simple\n[install]\ntrusted-host: corp\n"
         "[download]\nfind-links = /w\n[freeze]\ncert = /c\n"}},
       {{"/h/.config/pip/pip.conf", "index-url"}, {"/h/.config/pip/pip.conf", "trusted-host"}}},
      // Every level: PIP_CONFIG_FILE, XDG_CONFIG_DIRS, /etc, the user's (XDG_CONFIG_HOME, legacy),
      // the environment's own.
      {{{"HOME", "/h"},
        {"PIP_CONFIG_FILE", "/p.conf"},
        {"XDG_CONFIG_DIRS", "/a:/b"},
        {"XDG_CONFIG_HOME", "/x"}},
       {{"/p.conf", "[global]\nno-index = true\n"},
        {"/b/pip/pip.conf", "[global]\nextra-index-url =\n    https://one\n    https://two\n"},
        {"/etc/pip.conf", "[global]\nclient-cert = /k\n"},
        {"/x/pip/pip.conf", "[global]\nfind-links = /w\n"},
        {"/h/.config/pip/pip.conf", "[global]\nindex-url = https://ignored\n"},
        {"/h/.pip/pip.conf", "[install]\ncert = /c\n"},
        {"/venv/pip.conf", "# [global]\n; index-url = x\n[global]\nindex-url = https://site\n"}},
       {{"/p.conf", "no-index"},
        {"/b/pip/pip.conf", "extra-index-url"},
        {"/etc/pip.conf", "client-cert"},
        {"/x/pip/pip.conf", "find-links"},
        {"/h/.pip/pip.conf", "cert"},
        {"/venv/pip.conf", "index-url"}}},
      // os.devnull: pip loads no file at all.
      {{{"HOME", "/h"}, {"PIP_CONFIG_FILE", "/dev/null"}},
       {{"/h/.config/pip/pip.conf", "[global]\nindex-url = https://corp\n"}},
       {}},
  };
  for (const auto& c : cases) {
    const auto found = pip_settings_uv_ignores(
        {.env = [&](const char* name) -> std::optional<std::string> {
           auto it = c.env.find(name);
           return it == c.env.end() ? std::nullopt : std::optional<std::string>(it->second);
         },
         .sys_prefix = "/venv",
         .read_file = [&](const std::string& path) -> std::optional<std::string> {
           auto it = c.files.find(path);
           return it == c.files.end() ? std::nullopt : std::optional<std::string>(it->second);
         }});
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& s : found) got.emplace_back(s.where, s.name);
    EXPECT_THAT(got, ElementsAreArray(c.expected));
  }
}

TEST(InstallerChoice, PipUnlessUvIsAskedForAndNothingOfPipsWouldBeLost) {
  const std::vector<PipSetting> index = {{"PIP_INDEX_URL", "index-url"}};
  struct Case {
    InstallerFacts facts;
    std::optional<InstallerKind> kind;
    std::string note;  // a part of the note, or "" for none
  } cases[] = {
      {{std::nullopt, "", true, "/bin/uv", {}}, InstallerKind::Pip, ""},
      {{"uv", "--installer", true, "/bin/uv", {}}, InstallerKind::Uv, ""},
      {{"uv", "PLO_INSTALLER", true, "/bin/uv", index},
       InstallerKind::Pip,
       "using pip, not uv (asked by PLO_INSTALLER): uv would ignore pip's settings index-url "
       "(PIP_INDEX_URL)"},
      {{"uv", "--installer", true, std::nullopt, {}}, InstallerKind::Pip, "uv is not on PATH"},
      // Without pip uv is the only way, as before; pip's settings cannot be honoured either way.
      {{std::nullopt, "", false, "/bin/uv", index}, InstallerKind::Uv, ""},
      {{"uv", "--installer", false, "/bin/uv", index}, InstallerKind::Uv, ""},
      {{"pip", "--installer", true, "/bin/uv", {}}, InstallerKind::Pip, ""},
      {{"pip", "--installer", false, "/bin/uv", {}}, std::nullopt, ""},
      {{std::nullopt, "", false, std::nullopt, {}}, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const InstallerChoice choice = choose_installer(c.facts);
    EXPECT_EQ(choice.kind, c.kind) << c.facts.asked.value_or("-") << c.facts.has_pip;
    if (c.note.empty()) {
      EXPECT_EQ(choice.note, "");
    } else {
      EXPECT_THAT(choice.note, HasSubstr(c.note));
    }
    EXPECT_EQ(choice.refusal.empty(), c.kind.has_value());
    if (choice.kind == InstallerKind::Uv) {
      EXPECT_EQ(choice.uv, "/bin/uv");
    }
  }
}

}  // namespace
}  // namespace plo
