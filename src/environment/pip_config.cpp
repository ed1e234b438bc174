#include "environment/pip_config.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "util/text.h"
#include "util/text_file.h"

namespace plo {
namespace {

constexpr size_t kMaxConfigBytes = 1 << 20;

// pip's long option names; a variable is PIP_ and the name in upper case with underscores.
constexpr std::string_view kSourceSettings[] = {"index-url",  "extra-index-url", "find-links",
                                                "no-index",   "trusted-host",    "cert",
                                                "client-cert"};

std::string variable_of(std::string_view setting) {
  std::string name = "PIP_";
  for (const char c : setting)
    name += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// pip reads option names in any case, with '_' for '-'.
std::string normalized(std::string_view key) {
  std::string name;
  for (const char c : key)
    name += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

// Calls `visit(section, key, value)` for each setting of an INI text, section and key normalised
// as pip normalises them; comments, blank lines and lines without a separator are skipped.
template <typename Visit>
void for_each_setting(std::string_view text, Visit visit) {
  std::string section;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    const std::string_view line = trim_blanks(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      section = normalized(trim_blanks(line.substr(1, line.find(']') - 1)));
      continue;
    }
    // A continuation line of a value ("    https://...") names no setting plo reads.
    const size_t separator = line.find_first_of("=:");
    if (separator == std::string_view::npos) continue;
    visit(section, normalized(trim_blanks(line.substr(0, separator))),
          trim_blanks(line.substr(separator + 1)));
  }
}

// The source settings of an INI text, in the sections an install reads ([global], [install]).
void scan_config(std::string_view text, const std::string& where, std::vector<PipSetting>& found) {
  for_each_setting(text, [&](const std::string& section, const std::string& key, std::string_view) {
    if (section != "global" && section != "install") return;
    for (const std::string_view setting : kSourceSettings) {
      if (key == setting) found.push_back({where, key});
    }
  });
}

// One value pip reads: its text and where it was set.
struct Setting {
  std::string value;
  std::string where;
};

// index-url and no-index of one section kind, the later setting over the earlier.
struct IndexSettings {
  std::optional<Setting> index_url;
  std::optional<Setting> no_index;

  void set(const std::string& key, std::string_view value, const std::string& where) {
    if (key == "index-url") index_url = Setting{std::string(value), where};
    if (key == "no-index") no_index = Setting{std::string(value), where};
  }
};

// Reads index-url and no-index of a configuration file's [global] and [install] sections.
void scan_index(std::string_view text, const std::string& where, IndexSettings& global,
                IndexSettings& install) {
  for_each_setting(text,
                   [&](const std::string& section, const std::string& key, std::string_view value) {
                     if (section == "global") global.set(key, value, where);
                     if (section == "install") install.set(key, value, where);
                   });
}

// pip's strtobool: nothing for a text that is neither.
std::optional<bool> pip_bool(std::string_view text) {
  std::string lower;
  for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* yes : {"y", "yes", "t", "true", "on", "1"}) {
    if (lower == yes) return true;
  }
  for (const char* no : {"n", "no", "f", "false", "off", "0"}) {
    if (lower == no) return false;
  }
  return std::nullopt;
}

std::optional<std::string> real_env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

// pip's site-wide configuration files, in the order pip loads them: each of XDG_CONFIG_DIRS'
// pip/pip.conf, then /etc/pip.conf.
std::vector<std::string> site_config_files(const PipConfigInputs& in) {
  std::vector<std::string> files;
  const std::string dirs = in.env("XDG_CONFIG_DIRS").value_or("/etc/xdg");
  for (std::string_view rest = dirs; !rest.empty();) {
    const size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (!dir.empty()) files.push_back(std::string(dir) + "/pip/pip.conf");
  }
  files.push_back("/etc/pip.conf");
  return files;
}

}  // namespace

std::vector<PipSetting> pip_settings_uv_ignores(const PipConfigInputs& in) {
  std::vector<PipSetting> found;
  for (const std::string_view setting : kSourceSettings) {
    const std::string variable = variable_of(setting);
    if (auto value = in.env(variable.c_str()); value && !value->empty()) {
      found.push_back({variable, std::string(setting)});
    }
  }
  const std::optional<std::string> config_file = in.env("PIP_CONFIG_FILE");
  if (config_file == "/dev/null") return found;  // pip then loads no file at all
  std::vector<std::string> files;
  if (config_file && !config_file->empty()) files.push_back(*config_file);
  const std::vector<std::string> site = site_config_files(in);
  files.insert(files.end(), site.begin(), site.end());
  const std::optional<std::string> home = in.env("HOME");
  if (auto config_home = in.env("XDG_CONFIG_HOME"); config_home && !config_home->empty()) {
    files.push_back(*config_home + "/pip/pip.conf");
  } else if (home) {
    files.push_back(*home + "/.config/pip/pip.conf");
  }
  if (home) files.push_back(*home + "/.pip/pip.conf");
  if (!in.sys_prefix.empty()) files.push_back(in.sys_prefix + "/pip.conf");
  for (const std::string& file : files) {
    if (auto text = in.read_file(file)) scan_config(*text, file, found);
  }
  return found;
}

std::vector<PipSetting> pip_settings_uv_ignores(const std::string& sys_prefix) {
  return pip_settings_uv_ignores(
      {.env = real_env, .sys_prefix = sys_prefix, .read_file = [](const std::string& path) {
         return read_file_prefix(path, kMaxConfigBytes);
       }});
}

PipIndex pip_index(const PipConfigInputs& in) {
  IndexSettings global;
  IndexSettings install;
  const std::optional<std::string> config_file = in.env("PIP_CONFIG_FILE");
  if (config_file != "/dev/null") {
    // pip's kinds in the order they override one another; within a kind the later file wins.
    std::vector<std::string> files = site_config_files(in);
    const std::optional<std::string> env_file_text =
        config_file && !config_file->empty() ? in.read_file(*config_file) : std::nullopt;
    // The user's files are not read when PIP_CONFIG_FILE names a file that is there.
    if (!env_file_text) {
      const std::optional<std::string> home = in.env("HOME");
      if (home) files.push_back(*home + "/.pip/pip.conf");
      if (auto config_home = in.env("XDG_CONFIG_HOME"); config_home && !config_home->empty()) {
        files.push_back(*config_home + "/pip/pip.conf");
      } else if (home) {
        files.push_back(*home + "/.config/pip/pip.conf");
      }
    }
    if (!in.sys_prefix.empty()) files.push_back(in.sys_prefix + "/pip.conf");
    for (const std::string& file : files) {
      if (auto text = in.read_file(file)) scan_index(*text, file, global, install);
    }
    if (env_file_text) scan_index(*env_file_text, *config_file, global, install);
  }
  IndexSettings chosen = global;
  if (install.index_url) chosen.index_url = install.index_url;
  if (install.no_index) chosen.no_index = install.no_index;
  for (const char* variable : {"PIP_INDEX_URL", "PIP_NO_INDEX"}) {
    if (auto value = in.env(variable); value && !value->empty())
      chosen.set(normalized(std::string_view(variable).substr(4)), *value, variable);
  }
  PipIndex index;
  if (chosen.index_url && !chosen.index_url->value.empty()) index.url = chosen.index_url->value;
  if (chosen.no_index && pip_bool(chosen.no_index->value) == true) {
    index.no_index = chosen.no_index->where;
  }
  return index;
}

PipIndex pip_index(const std::string& sys_prefix) {
  return pip_index(
      {.env = real_env, .sys_prefix = sys_prefix, .read_file = [](const std::string& path) {
         return read_file_prefix(path, kMaxConfigBytes);
       }});
}

}  // namespace plo
