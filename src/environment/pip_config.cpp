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

// The source settings of an INI text, in the sections an install reads ([global], [install]).
void scan_config(std::string_view text, const std::string& where, std::vector<PipSetting>& found) {
  bool relevant = false;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    const std::string_view line = trim_blanks(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::string section = normalized(trim_blanks(line.substr(1, line.find(']') - 1)));
      relevant = section == "global" || section == "install";
      continue;
    }
    // A continuation line of a value ("    https://...") names no setting of these.
    if (!relevant) continue;
    const size_t separator = line.find_first_of("=:");
    if (separator == std::string_view::npos) continue;
    const std::string key = normalized(trim_blanks(line.substr(0, separator)));
    for (const std::string_view setting : kSourceSettings) {
      if (key == setting) found.push_back({where, key});
    }
  }
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
  const std::string dirs = in.env("XDG_CONFIG_DIRS").value_or("/etc/xdg");
  for (std::string_view rest = dirs; !rest.empty();) {
    const size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (!dir.empty()) files.push_back(std::string(dir) + "/pip/pip.conf");
  }
  files.push_back("/etc/pip.conf");
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
      {.env = [](const char* name) -> std::optional<std::string> {
         const char* value = std::getenv(name);
         return value ? std::optional<std::string>(value) : std::nullopt;
       },
       .sys_prefix = sys_prefix,
       .read_file =
           [](const std::string& path) { return read_file_prefix(path, kMaxConfigBytes); }});
}

}  // namespace plo
