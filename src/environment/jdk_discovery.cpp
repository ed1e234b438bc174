#include "environment/jdk_discovery.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "environment/java_detect.h"
#include "util/environment.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// Install folders hold a handful of JDKs; a folder with thousands of entries is not one of them,
// and reading it all would only slow the search down.
constexpr size_t kMaxChildren = 256;

// At most kMaxChildren entries of a folder; nothing when it cannot be read.
std::vector<fs::path> list_folder(const fs::path& folder) {
  std::vector<fs::path> children;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  for (; !error && it != fs::directory_iterator() && children.size() < kMaxChildren;
       it.increment(error)) {
    children.push_back(it->path());
  }
  return children;
}

// Children of one folder that are Java homes, directly or as a macOS bundle.
void add_children(std::vector<JdkCandidate>& out, const fs::path& folder, const std::string& name,
                  const std::string& inner = "") {
  std::vector<fs::path> children = list_folder(folder);
  std::sort(children.begin(), children.end());  // the listing order must not depend on the disk
  for (const fs::path& child : children) {
    const fs::path home = inner.empty() ? child : child / inner;
    out.push_back({home.string(), name});
    if (inner.empty()) out.push_back({(child / "Contents" / "Home").string(), name});
  }
}

std::string env_or(const char* name, const std::string& fallback) {
  return non_empty_env(name).value_or(fallback);
}

// The leading number of each dot-, underscore- or plus-separated part.
std::vector<long> version_parts(const std::string& text) {
  std::vector<long> parts;
  long value = 0;
  bool in_number = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      if (value < 100000000) value = value * 10 + (c - '0');
      in_number = true;
    } else {
      if (in_number) parts.push_back(value);
      value = 0;
      in_number = false;
    }
  }
  if (in_number) parts.push_back(value);
  return parts;
}

}  // namespace

std::optional<std::string> plo_jdks_folder() {
  if (auto data = non_empty_env("XDG_DATA_HOME"); data && data->starts_with('/')) {
    return *data + "/plo/jdks";
  }
  if (auto home = non_empty_env("HOME")) return *home + "/.local/share/plo/jdks";
  return std::nullopt;
}

std::vector<JdkCandidate> jdk_location_candidates() {
  std::vector<JdkCandidate> out;
  if (const auto own = plo_jdks_folder()) add_children(out, *own, "plo");
  for (const char* folder : {"/usr/lib/jvm", "/usr/java", "/usr/jdk", "/opt/java"}) {
    add_children(out, folder, "system");
  }
  add_children(out, "/Library/Java/JavaVirtualMachines", "system", "Contents/Home");

  const auto home = non_empty_env("HOME");
  const std::string h = home.value_or("");
  if (home) {
    add_children(out, h + "/Library/Java/JavaVirtualMachines", "user", "Contents/Home");
  }
  if (home || non_empty_env("SDKMAN_CANDIDATES_DIR")) {
    add_children(out, env_or("SDKMAN_CANDIDATES_DIR", h + "/.sdkman/candidates") + "/java",
                 "sdkman");
  }
  if (home || non_empty_env("JENV_ROOT")) {
    add_children(out, env_or("JENV_ROOT", h + "/.jenv") + "/versions", "jenv");
  }
  if (home || non_empty_env("ASDF_DATA_DIR")) {
    add_children(out, env_or("ASDF_DATA_DIR", h + "/.asdf") + "/installs/java", "asdf");
  }
  if (home || non_empty_env("MISE_DATA_DIR")) {
    add_children(out, env_or("MISE_DATA_DIR", h + "/.local/share/mise") + "/installs/java", "mise");
  }
  if (home) {
    add_children(out, h + "/.jdks", "intellij");
    add_children(out, h + "/.gradle/jdks", "gradle");
    add_children(out, h + "/.m2/jdks", "maven");
    add_children(out, h + "/.jbang/cache/jdks", "jbang");
  }

  std::vector<std::string> brew_prefixes = {"/opt/homebrew", "/usr/local",
                                            "/home/linuxbrew/.linuxbrew"};
  if (auto prefix = non_empty_env("HOMEBREW_PREFIX"))
    brew_prefixes.insert(brew_prefixes.begin(), *prefix);
  for (const std::string& prefix : brew_prefixes) {
    std::vector<fs::path> formulas = list_folder(prefix + "/opt");
    std::erase_if(formulas, [](const fs::path& formula) {
      return !formula.filename().string().starts_with("openjdk");
    });
    std::sort(formulas.begin(), formulas.end());
    for (const fs::path& formula : formulas) {
      out.push_back({(formula / "libexec").string(), "homebrew"});
      out.push_back({(formula / "libexec/openjdk.jdk/Contents/Home").string(), "homebrew"});
    }
  }
  if (auto conda = non_empty_env("CONDA_PREFIX")) {
    out.push_back({*conda + "/lib/jvm", "conda"});
    add_children(out, *conda + "/lib/jvm", "conda");
  }
  return out;
}

std::vector<Jdk> collect_jdks(ProcessRunner& runner, const std::vector<JdkCandidate>& candidates) {
  std::vector<Jdk> jdks;
  std::set<std::string> seen;
  for (const JdkCandidate& candidate : candidates) {
    const std::string java = candidate.home + "/bin/java";
    if (!is_executable_file(java)) continue;
    std::error_code error;
    const fs::path real = fs::canonical(candidate.home, error);
    if (error || !seen.insert(real.string()).second) continue;
    try {
      JavaDescription described = describe_java_home(runner, real.string(), java);
      jdks.push_back({real.string(), described.version, std::move(described.full_version),
                      std::move(described.vendor), candidate.found_in, false,
                      std::move(described.modules)});
    } catch (const std::runtime_error&) {
      // Not a Java that tells its version (a broken or foreign bin/java): not listed.
    }
  }
  std::stable_sort(jdks.begin(), jdks.end(), listed_before);
  return jdks;
}

bool lacks_module(const Jdk& jdk, std::string_view module) {
  if (!jdk.modules) return false;
  std::string_view rest = *jdk.modules;
  while (!rest.empty()) {
    const auto blank = rest.find_first_of(" \t");
    if (rest.substr(0, blank) == module) return false;
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
  }
  return true;
}

bool listed_before(const Jdk& a, const Jdk& b) {
  if (a.version != b.version) return a.version > b.version;
  if (a.vendor != b.vendor) return a.vendor < b.vendor;
  if (const int order = compare_java_versions(a.full_version, b.full_version); order != 0) {
    return order > 0;
  }
  return a.home < b.home;
}

int compare_java_versions(const std::string& a, const std::string& b) {
  const std::vector<long> x = version_parts(a);
  const std::vector<long> y = version_parts(b);
  const size_t n = std::max(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    const long p = i < x.size() ? x[i] : 0;
    const long q = i < y.size() ? y[i] : 0;
    if (p != q) return p < q ? -1 : 1;
  }
  return 0;
}

}  // namespace plo
