#include "environment/java_detect.h"

#include <fmt/format.h>
#include <charconv>
#include <filesystem>
#include <stdexcept>

#include "util/environment.h"
#include "util/escape.h"
#include "util/text.h"
#include "util/text_file.h"

namespace plo {
namespace {

constexpr auto kJavaVersionTimeLimit = std::chrono::seconds(5);

std::optional<int> leading_number(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data() || value <= 0) return std::nullopt;
  return value;
}

std::string unquote(std::string_view value) {
  value = trim_blanks(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// The vendor as it is shown: escaped, and cut when it is longer than any vendor's name.
std::string shown_vendor(std::string_view vendor) {
  constexpr size_t kMaxVendorChars = 200;
  std::string shown = first_chars(vendor, kMaxVendorChars);
  if (shown.size() < vendor.size()) shown += "... (cut)";
  return escape_controls(shown);
}

}  // namespace

std::optional<int> java_major_version(std::string_view version_text) {
  version_text = trim_blanks(version_text);
  // Before Java 9 the major version came second: 1.8.0_392.
  if (version_text.starts_with("1.")) return leading_number(version_text.substr(2));
  return leading_number(version_text);
}

ReleaseInfo parse_release_file(std::string_view contents) {
  ReleaseInfo info;
  while (!contents.empty()) {
    const auto end = contents.find('\n');
    std::string_view line = contents.substr(0, end);
    contents = end == std::string_view::npos ? std::string_view() : contents.substr(end + 1);
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = trim_blanks(line.substr(0, equals));
    std::optional<std::string>* field = key == "JAVA_VERSION"  ? &info.java_version
                                        : key == "IMPLEMENTOR" ? &info.implementor
                                        : key == "MODULES"     ? &info.modules
                                                               : nullptr;
    if (!field || field->has_value()) continue;
    std::string value = unquote(line.substr(equals + 1));
    if (!value.empty()) *field = std::move(value);
  }
  return info;
}

JavaVersionOutput parse_java_version_output(std::string_view text) {
  JavaVersionOutput parsed;
  bool after_version_line = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = trim_blanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (after_version_line) {
      // "OpenJDK Runtime Environment Temurin-17.0.10+7 (build 17.0.10+7)"
      std::string_view name = trim_blanks(line.substr(0, line.find(" (build")));
      if (!name.empty()) parsed.runtime_name = std::string(name);
      break;
    }
    const auto marker = line.find(" version \"");
    if (marker == std::string_view::npos) continue;  // "Picked up JAVA_TOOL_OPTIONS: ..." and such
    const auto start = marker + 10;
    const auto close = line.find('"', start);
    if (close == std::string_view::npos) continue;
    parsed.version = std::string(line.substr(start, close - start));
    after_version_line = true;
  }
  return parsed;
}

std::optional<JavaChoice> choose_current_java(
    const std::optional<std::string>& spark_env_java_home) {
  namespace fs = std::filesystem;
  std::optional<std::string> java_home;
  std::string source;
  if (spark_env_java_home) {
    // spark-env.sh is sourced with every assignment exported: its value replaces the inherited one.
    if (!spark_env_java_home->empty()) java_home = *spark_env_java_home;
    source = "spark-env.sh";
  } else {
    java_home = non_empty_env("JAVA_HOME");
    source = "JAVA_HOME";
  }
  if (java_home) {
    std::string java = *java_home + "/bin/java";
    if (!is_executable_file(java)) return std::nullopt;
    return JavaChoice{*java_home, std::move(java), source};
  }
  const auto on_path = find_on_path("java");
  if (!on_path) return std::nullopt;
  std::error_code error;
  const fs::path resolved = fs::canonical(*on_path, error);
  std::string java = error ? *on_path : resolved.string();
  std::string home = fs::path(java).parent_path().parent_path().string();
  return JavaChoice{std::move(home), std::move(java), "PATH"};
}

JavaDescription describe_java_home(ProcessRunner& runner, const std::string& home,
                                   const std::string& java) {
  const ReleaseInfo release = parse_release_file(read_file_prefix(home + "/release").value_or(""));
  std::optional<int> version;
  std::string full_version = release.java_version.value_or("");
  if (release.java_version) version = java_major_version(*release.java_version);

  std::optional<JavaVersionOutput> reported;
  const auto ask_java = [&]() -> const JavaVersionOutput& {
    if (!reported) {
      const ProcessResult result =
          runner.run({.argv = {java, "-version"}, .time_limit = kJavaVersionTimeLimit});
      reported = result.timed_out ? JavaVersionOutput{} : parse_java_version_output(result.err);
    }
    return *reported;
  };
  if (!version) {
    if (const auto& text = ask_java().version) {
      version = java_major_version(*text);
      full_version = *text;
    }
  }
  if (!version) {
    throw std::runtime_error(fmt::format(
        "cannot tell which version the Java at {} is: its release file and 'java -version' do "
        "not say",
        home));
  }
  std::string vendor = release.implementor.value_or("");
  if (vendor.empty()) vendor = ask_java().runtime_name.value_or("Unknown");
  return JavaDescription{*version, std::move(full_version), shown_vendor(vendor), release.modules};
}

std::optional<JavaInfo> detect_current_java(ProcessRunner& runner,
                                            const std::optional<std::string>& spark_env_java_home) {
  auto choice = choose_current_java(spark_env_java_home);
  if (!choice) return std::nullopt;
  JavaDescription described = describe_java_home(runner, choice->home, choice->java);
  return JavaInfo{described.version, std::move(described.vendor), std::move(choice->home),
                  std::move(choice->source)};
}

}  // namespace plo
