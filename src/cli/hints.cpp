#include "hints.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "registry/compute_registry.h"
#include "util/escape.h"
#include "util/suggest.h"

namespace plo::cli {
namespace {

void to_stderr(const std::string& line) {
  std::fputs((line + "\n").c_str(), stderr);
}

}  // namespace

void hint_compute_name(const std::string& name) {
  std::vector<std::string> names;
  try {
    names = YamlComputeRegistry::from_plo_home()->names();
  } catch (const std::exception&) {
    return;
  }
  if (std::find(names.begin(), names.end(), name) != names.end()) return;
  if (const auto closest = closest_word(name, names)) {
    to_stderr("Did you mean '" + escape_controls(*closest) + "'?");
  }
}

void hint_installed_majors(JavaEnvironment& java, const std::string& major) {
  const auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
  if (major.empty() || major.size() > 4 || !std::all_of(major.begin(), major.end(), digit)) return;
  std::vector<int> majors;
  try {
    for (const Jdk& jdk : java.find_jdks()) {
      if (std::find(majors.begin(), majors.end(), jdk.version) == majors.end()) {
        majors.push_back(jdk.version);
      }
    }
  } catch (const std::exception&) {
    return;
  }
  if (majors.empty() || std::find(majors.begin(), majors.end(), std::stoi(major)) != majors.end()) {
    return;
  }
  std::string line = "Installed: ";
  for (size_t i = 0; i < majors.size(); ++i) {
    line += (i ? ", Java " : "Java ") + std::to_string(majors[i]);
  }
  to_stderr(line);
}

}  // namespace plo::cli
