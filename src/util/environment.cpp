#include "util/environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace plo {

std::vector<std::string> current_environment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
  return entries;
}

std::vector<std::string> with_variable(std::vector<std::string> environment, std::string_view name,
                                       std::string_view value) {
  std::string prefix(name);
  prefix += '=';
  std::erase_if(environment, [&](const std::string& entry) { return entry.starts_with(prefix); });
  environment.push_back(prefix + std::string(value));
  return environment;
}

std::optional<std::string> non_empty_env(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

bool is_executable_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> find_on_path(std::string_view name) {
  return find_on_path_in(non_empty_env("PATH"), name);
}

std::optional<std::string> find_on_path_in(const std::optional<std::string>& path_value,
                                           std::string_view name) {
  const std::string path = path_value.value_or("/usr/local/bin:/usr/bin:/bin");
  size_t start = 0;
  for (;;) {
    const size_t end = path.find(':', start);
    std::string folder = path.substr(start, end == std::string::npos ? end : end - start);
    if (folder.empty()) folder = ".";
    std::string candidate = folder + "/" + std::string(name);
    if (is_executable_file(candidate)) return candidate;
    if (end == std::string::npos) return std::nullopt;
    start = end + 1;
  }
}

}  // namespace plo
