#include "environment/platform.h"

#include <sys/utsname.h>

#include "util/text.h"
#include "util/text_file.h"

namespace plo {

Platform parse_os_release(std::string_view contents) {
  Platform platform;
  while (!contents.empty()) {
    const auto end = contents.find('\n');
    const std::string_view line = trim_blanks(contents.substr(0, end));
    contents = end == std::string_view::npos ? std::string_view() : contents.substr(end + 1);
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    std::string_view value = line.substr(equals + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (key == "ID") platform.id = to_lower(value);
    if (key == "ID_LIKE") platform.id_like = to_lower(value);
    if (key == "PRETTY_NAME") platform.pretty_name = std::string(value);
  }
  return platform;
}

Platform detect_platform() {
  auto contents = read_file_prefix("/etc/os-release", 64 * 1024);
  if (!contents) contents = read_file_prefix("/usr/lib/os-release", 64 * 1024);
  Platform platform = parse_os_release(contents.value_or(""));
  struct utsname name {};
  if (::uname(&name) == 0) platform.kernel = name.sysname;
  return platform;
}

}  // namespace plo
